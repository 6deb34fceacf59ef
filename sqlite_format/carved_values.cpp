#include "sqlite_format/carved_values.h"

#include <iomanip>

#include "common/json_record.h"
#include "sqlite_format/format.h"
#include "sqlite_format/record.h"

namespace {

void write_listing(std::ostream* listing, const char* tag, std::uint32_t size, const std::string& value) {
    if (!listing) return;
    *listing << tag << std::setw(2) << std::setfill('0') << std::hex << size << std::dec << std::setfill(' ')
             << " : " << value << '\n';
}

// Bytes a text or blob column takes: all it needs when present, else what is left less the last
// four (a cut column's tail is usually the next cell's header, not data).
std::uint32_t variable_length_take(std::uint32_t needed, std::uint32_t remaining, bool* cut) {
    if (needed <= remaining) {
        *cut = false;
        return needed;
    }
    *cut = true;
    return remaining < 5 ? 0 : remaining - 4;
}

}  // namespace

int decode_record_values(std::uint32_t* count, std::vector<std::string>& values, const std::uint8_t* body,
                         std::uint32_t body_length, std::vector<std::uint32_t>& codes,
                         const std::vector<std::uint32_t>& sizes, std::ostream* listing, bool raw_blob,
                         std::uint8_t* truncated, text_encoding encoding) {
    if (count) *count = 0;
    values.clear();
    if (codes.size() != sizes.size()) return 0;
    const bool allow_short = truncated && *truncated != 0;
    std::uint64_t total = 0;
    for (std::uint32_t n : sizes) total += n;
    if (!allow_short && (!body || total > body_length)) return 0;
    if (truncated) *truncated = 0;
    if (!body) body_length = 0;

    std::uint32_t r = body_length;
    std::uint32_t q = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::uint32_t c = codes[i] & kColKindMask;
        const std::uint32_t n = sizes[i];
        if (c == kColNull) {
            values.emplace_back();
            if (listing) *listing << "nul:0x00 : -\n";
            continue;
        }
        if (c == kColConst0 || c == kColConst1) {
            values.emplace_back(c == kColConst0 ? "0" : "1");
            if (listing) *listing << "cst:0x00 : " << values.back() << '\n';
            continue;
        }
        if (r == 0) {
            // The body ended before a column that needs bytes: it and every later column are lost.
            if (truncated) *truncated = 1;
            for (std::size_t j = i; j < codes.size(); ++j) {
                values.emplace_back();
                codes[j] |= kColTruncatedMark;
            }
            if (count) *count = static_cast<std::uint32_t>(values.size());
            return 1;
        }
        const std::uint8_t* p = body + q;
        switch (c) {
            case kColInteger: {
                const std::uint32_t k = n < r ? n : r;
                std::int64_t v = 0;
                // A number cut by the end of the body is not the stored value: it is left empty, so that
                // its first bytes never pass for a number or a time.
                if (k < n) {
                    codes[i] |= kColTruncatedMark;
                    if (truncated) *truncated = 1;
                    values.emplace_back();
                } else if (read_be_int(byte_view(p, k), 0, k, &v)) {
                    values.push_back(std::to_string(v));  // two's complement, as the library reads it
                } else {
                    values.emplace_back("0");
                }
                q += k;
                r -= k;
                write_listing(listing, "val:0x", n, values.back());
                break;
            }
            case kColReal: {
                const std::uint32_t k = n < r ? n : r;
                std::vector<std::uint8_t> bytes(p, p + k);
                double d = 0;
                std::string text;
                if (k < n) {
                    codes[i] |= kColTruncatedMark;
                    if (truncated) *truncated = 1;
                } else if (decode_ieee_float_be(&d, bytes)) {
                    double_to_text(text, 8, d);
                } else {
                    text = "NaN";
                }
                values.push_back(text);
                q += k;
                r -= k;
                write_listing(listing, "dbl:0x", n, values.back());
                break;
            }
            case kColText:
            case kColBlob: {
                bool cut = false;
                const std::uint32_t k = variable_length_take(n, r, &cut);
                if (cut) {
                    codes[i] |= kColTruncatedMark;
                    if (truncated) *truncated = 1;
                }
                if (c == kColText && encoding != text_encoding::utf8) {
                    values.emplace_back();
                    stored_text(values.back(), p, k, encoding);
                } else if (c == kColText || raw_blob) {
                    values.emplace_back(reinterpret_cast<const char*>(p), k);
                } else {
                    values.push_back(blob_preview(p, k));
                }
                // A cut column is the last one with data: it takes every remaining byte.
                const std::uint32_t used = cut ? r : k;
                q += used;
                r -= used;
                if (c == kColText)
                    write_listing(listing, "str:0x", n, values.back());
                else if (listing)
                    *listing << "blb" << std::setw(2) << std::setfill('0') << std::hex << n << std::dec
                             << std::setfill(' ') << ":0x" << values.back() << '\n';
                break;
            }
            default:
                // Unknown kind: nothing is known of its bytes, so the column is skipped.
                break;
        }
    }
    if (count) *count = static_cast<std::uint32_t>(values.size());
    return 1;
}
