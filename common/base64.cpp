#include "common/base64.h"

#include <cstddef>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A line is ended once it holds more than this many characters, so every full line holds 76.
constexpr std::size_t kLineLimit = 72;

void put_crlf(std::vector<char>& out) {
    out.push_back('\r');
    out.push_back('\n');
}

}  // namespace

int base64_encode(const unsigned char* data, int length, std::vector<char>& out, bool wrap, bool terminate,
                  bool crlf) {
    out.clear();
    if (data == nullptr || length <= 0) return 0;
    const std::size_t n = static_cast<std::size_t>(length);
    // Computed in size_t: 4 * ((length + 2) / 3) passes INT_MAX for lengths above about 1.6e9.
    const std::size_t encoded = 4 * ((n + 2) / 3);
    out.reserve(encoded + 2 * encoded / 76 + 3);

    std::size_t line = 0;
    std::size_t i = 0;
    for (; n - i >= 3; i += 3) {
        const unsigned v = (unsigned{data[i]} << 16) | (unsigned{data[i + 1]} << 8) | data[i + 2];
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back(kAlphabet[v & 63]);
        line += 4;
        if (wrap && line > kLineLimit) {
            line = 0;
            if (crlf) put_crlf(out);
        }
    }
    const std::size_t rest = n - i;
    if (rest != 0) {
        const unsigned v = (unsigned{data[i]} << 16) | (rest == 2 ? unsigned{data[i + 1]} << 8 : 0u);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    // The closing CR LF comes even right after a wrapped line's own, as MIME writers of this form do.
    if (crlf) put_crlf(out);
    if (terminate) out.push_back('\0');
    return 1;
}
