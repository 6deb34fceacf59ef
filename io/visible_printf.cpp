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

// One conversion as the format spells it: flags, width and precision (a '*' already replaced by its
// argument) in `directive`, the length modifier and the conversion character.
struct conversion {
    std::string directive = "%";
    std::string length;
    char kind = '\0';
};

// Reads the conversion that follows the '%' at `p` into `c`, taking the arguments of a '*' width or
// precision, and moves `p` past it. False when the format ends before a conversion character.
bool read_conversion(const char*& p, va_list* ap, conversion& c) {
    const char* q = p + 1;
    while (*q != '\0' && std::strchr("-+ #0'", *q) != nullptr) c.directive += *q++;
    if (*q == '*') {
        c.directive += std::to_string(va_arg(*ap, int));
        ++q;
    }
    while (*q >= '0' && *q <= '9') c.directive += *q++;
    if (*q == '.') {
        c.directive += *q++;
        if (*q == '*') {
            c.directive += std::to_string(va_arg(*ap, int));
            ++q;
        }
        while (*q >= '0' && *q <= '9') c.directive += *q++;
    }
    while (*q != '\0' && std::strchr("hlLjzt", *q) != nullptr) c.length += *q++;
    c.kind = *q;
    if (c.kind == '\0') return false;
    p = q + 1;
    return true;
}

// %s and %c: the text with its control bytes made visible, then formatted as a narrow %s (a wide %ls
// argument converted first; a null one cannot be formatted).
bool append_visible_text(std::string& out, const conversion& c, va_list* ap) {
    std::string text;
    bool ok = true;
    if (c.kind == 'c') {
        text.assign(1, static_cast<char>(va_arg(*ap, int)));
    } else if (c.length == "l") {
        const wchar_t* w = va_arg(*ap, const wchar_t*);
        ok = w != nullptr && append_one(text, "%ls", w);
    } else {
        const char* s = va_arg(*ap, const char*);
        text = s != nullptr ? s : "(null)";
    }
    show_control_bytes(text);
    return ok && append_one(out, c.directive + "s", text.c_str());
}

// %d and %i: the argument read at the width its length modifier names.
bool append_signed(std::string& out, const conversion& c, va_list* ap) {
    const std::string whole = c.directive + c.length + c.kind;
    if (c.length == "l") return append_one(out, whole, va_arg(*ap, long));
    if (c.length == "ll") return append_one(out, whole, va_arg(*ap, long long));
    if (c.length == "j") return append_one(out, whole, va_arg(*ap, std::intmax_t));
    if (c.length == "z" || c.length == "t") return append_one(out, whole, va_arg(*ap, std::ptrdiff_t));
    return append_one(out, whole, va_arg(*ap, int));
}

// %u, %o, %x and %X: the argument read at the width its length modifier names.
bool append_unsigned(std::string& out, const conversion& c, va_list* ap) {
    const std::string whole = c.directive + c.length + c.kind;
    if (c.length == "l") return append_one(out, whole, va_arg(*ap, unsigned long));
    if (c.length == "ll") return append_one(out, whole, va_arg(*ap, unsigned long long));
    if (c.length == "j") return append_one(out, whole, va_arg(*ap, std::uintmax_t));
    if (c.length == "z" || c.length == "t") return append_one(out, whole, va_arg(*ap, std::size_t));
    return append_one(out, whole, va_arg(*ap, unsigned));
}

// One conversion with its argument. %n and unknown conversions are not whole (false).
bool append_conversion(std::string& out, const conversion& c, va_list* ap) {
    switch (c.kind) {
        case 's':
        case 'c':
            return append_visible_text(out, c, ap);
        case 'd':
        case 'i':
            return append_signed(out, c, ap);
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return append_unsigned(out, c, ap);
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            const std::string whole = c.directive + c.length + c.kind;
            if (c.length == "L") return append_one(out, whole, va_arg(*ap, long double));
            return append_one(out, whole, va_arg(*ap, double));
        }
        case 'p':
            return append_one(out, c.directive + c.kind, va_arg(*ap, void*));
        default:
            return false;
    }
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
        conversion c;
        ok = read_conversion(p, &ap, c) && append_conversion(out, c, &ap);
    }
    va_end(ap);
    return ok;
}
