#include "common/json_record.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <iomanip>
#include <limits>
#include <sstream>

#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/text_ops.h"

void json_object::clear() {
    names.clear();
    values.clear();
    index.clear();
}

int compare_cstr(const char* a, const char* b, bool nocase) {
    if (a == nullptr || b == nullptr) {
        if (a == b) return 0;
        return a == nullptr ? -1 : 1;
    }
    if (!nocase) return std::strcmp(a, b);
    std::string la = a;
    std::string lb = b;
    string_to_lower(la);
    string_to_lower(lb);
    return std::strcmp(la.c_str(), lb.c_str());
}

int compare_wide_cstr(const wchar_t* a, const wchar_t* b, bool nocase) {
    if (a == nullptr || b == nullptr) {
        if (a == b) return 0;
        return a == nullptr ? -1 : 1;
    }
    if (!nocase) return std::wcscmp(a, b);
    std::wstring la = a;
    std::wstring lb = b;
    wstring_to_lower(la);
    wstring_to_lower(lb);
    return std::wcscmp(la.c_str(), lb.c_str());
}

const wchar_t* find_wide_nocase(const wchar_t* haystack, const wchar_t* needle) {
    if (haystack == nullptr || needle == nullptr) return nullptr;
    std::wstring h = haystack;
    std::wstring n = needle;
    wstring_to_lower(h);
    wstring_to_lower(n);
    const std::size_t pos = h.find(n);
    return pos == std::wstring::npos ? nullptr : haystack + pos;
}

int take_prefixed_wide_argument(const char* prefix, std::wstring& out, std::vector<std::wstring>& args) {
    if (prefix == nullptr || *prefix == 0) return 0;
    const std::wstring wide_prefix = utf8_to_wstring(prefix);
    if (wide_prefix.empty()) return 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const wchar_t* hit = find_wide_nocase(args[i].c_str(), wide_prefix.c_str());
        if (hit == args[i].c_str()) {
            out = args[i];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return 1;
        }
    }
    return 0;
}

double round_to_hundredths(double value) {
    // Casting a double that float cannot hold is undefined; such values have no hundredths to round.
    if (!std::isfinite(value) || std::fabs(value) > 1.0e36) return value;
    const float scaled = static_cast<float>(value) * 100.0f + 0.5f;
    return std::floor(static_cast<double>(scaled)) / 100.0;
}

std::string& double_to_text(std::string& out, std::uint32_t precision, double value) {
    out.clear();
    if (std::isnan(value)) {
        out = "nan";
        return out;
    }
    if (std::isinf(value)) {
        out = value < 0 ? "-inf" : "inf";
        return out;
    }
    if (std::signbit(value) && value != 0) {
        out = "-";
        value = -value;
    }
    double whole = 0;
    const double frac = std::modf(value, &whole);
    std::string frac_text;
    if (frac != 0) {
        std::ostringstream fs;
        fs << std::setprecision(static_cast<int>(precision)) << frac;
        frac_text = fs.str();
        if (frac_text.find('e') != std::string::npos) {
            // A tiny fraction comes out in scientific form: write it in fixed form with as many places as
            // the leading zeros plus the significant digits need.
            const int zeros = static_cast<int>(-std::floor(std::log10(frac))) - 1;
            const int digits = static_cast<int>(precision == 0 ? 1 : precision);
            std::ostringstream fx;
            fx << std::fixed << std::setprecision(zeros + digits) << frac;
            frac_text = fx.str();
            while (!frac_text.empty() && frac_text.back() == '0') frac_text.pop_back();
            if (!frac_text.empty() && frac_text.back() == '.') frac_text.pop_back();
        }
        if (frac_text.compare(0, 2, "0.") != 0) {
            // Rounded up to a whole 1 at this precision (or down to 0): no fraction is written.
            if (frac_text == "1") whole += 1;
            frac_text.clear();
        }
    }
    if (whole < 18446744073709551616.0) {
        out += std::to_string(static_cast<std::uint64_t>(whole));
    } else {
        // Too large for an unsigned 64-bit integer: the exact decimal of the double.
        std::ostringstream ws;
        ws << std::fixed << std::setprecision(0) << whole;
        out += ws.str();
    }
    if (!frac_text.empty()) out += frac_text.substr(1);
    return out;
}

int last_errno() { return errno; }

int is_root_user() { return (getuid() == 0 || geteuid() == 0) ? 1 : 0; }

int noop_cleanup_callback(const std::string& text) {
    (void)text;
    return 0;
}

int zero_callback() { return 0; }
