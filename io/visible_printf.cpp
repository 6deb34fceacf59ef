#include "io/visible_printf.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/text_rewrite.h"

namespace {

// snprintf of one conversion with its argument into out; false when formatting fails.
template <class T>
bool append_one(std::string& out, const std::string& conversion, T value) {
    const int n = std::snprintf(nullptr, 0, conversion.c_str(), value);
    if (n < 0) return false;
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(buffer.data(), buffer.size(), conversion.c_str(), value);
    out.append(buffer.data(), static_cast<std::size_t>(n));
    return true;
}

}  // namespace

bool format_visible(std::string& out, const char* format, va_list args) {
    out.clear();
    if (format == nullptr) return false;
    va_list ap;
    va_copy(ap, args);
    bool ok = true;
    const char* p = format;
    while (*p != '\0' && ok) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            p += 2;
            continue;
        }
        // One conversion: flags, width, precision ('*' taken from the arguments), length, conversion.
        std::string conversion = "%";
        const char* q = p + 1;
        while (*q != '\0' && std::strchr("-+ #0'", *q) != nullptr) conversion += *q++;
        if (*q == '*') {
            conversion += std::to_string(va_arg(ap, int));
            ++q;
        }
        while (*q >= '0' && *q <= '9') conversion += *q++;
        if (*q == '.') {
            conversion += *q++;
            if (*q == '*') {
                conversion += std::to_string(va_arg(ap, int));
                ++q;
            }
            while (*q >= '0' && *q <= '9') conversion += *q++;
        }
        std::string length;
        while (*q != '\0' && std::strchr("hlLjzt", *q) != nullptr) length += *q++;
        const char conv = *q;
        if (conv == '\0') {
            ok = false;
            break;
        }
        p = q + 1;
        switch (conv) {
            case 's': {
                std::string text;
                if (length == "l") {
                    const wchar_t* w = va_arg(ap, const wchar_t*);
                    ok = w != nullptr && append_one(text, "%ls", w);
                } else {
                    const char* s = va_arg(ap, const char*);
                    text = s != nullptr ? s : "(null)";
                }
                show_control_bytes(text);
                ok = ok && append_one(out, conversion + "s", text.c_str());
                break;
            }
            case 'c': {
                std::string text(1, static_cast<char>(va_arg(ap, int)));
                show_control_bytes(text);
                ok = append_one(out, conversion + "s", text.c_str());
                break;
            }
            case 'd':
            case 'i':
                conversion += length;
                conversion += conv;
                if (length == "l")
                    ok = append_one(out, conversion, va_arg(ap, long));
                else if (length == "ll")
                    ok = append_one(out, conversion, va_arg(ap, long long));
                else if (length == "j")
                    ok = append_one(out, conversion, va_arg(ap, std::intmax_t));
                else if (length == "z" || length == "t")
                    ok = append_one(out, conversion, va_arg(ap, std::ptrdiff_t));
                else
                    ok = append_one(out, conversion, va_arg(ap, int));
                break;
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                conversion += length;
                conversion += conv;
                if (length == "l")
                    ok = append_one(out, conversion, va_arg(ap, unsigned long));
                else if (length == "ll")
                    ok = append_one(out, conversion, va_arg(ap, unsigned long long));
                else if (length == "j")
                    ok = append_one(out, conversion, va_arg(ap, std::uintmax_t));
                else if (length == "z" || length == "t")
                    ok = append_one(out, conversion, va_arg(ap, std::size_t));
                else
                    ok = append_one(out, conversion, va_arg(ap, unsigned));
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                conversion += length;
                conversion += conv;
                if (length == "L")
                    ok = append_one(out, conversion, va_arg(ap, long double));
                else
                    ok = append_one(out, conversion, va_arg(ap, double));
                break;
            case 'p':
                conversion += conv;
                ok = append_one(out, conversion, va_arg(ap, void*));
                break;
            default:
                // %n and unknown conversions are not written.
                ok = false;
                break;
        }
    }
    va_end(ap);
    return ok;
}
