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

// The bytes of a record body the columns have not taken yet.
struct body_rest {
    const std::uint8_t* at;
    std::uint32_t left;

    void take(std::uint32_t n) {
        at += n;
        left -= n;
    }
};

// Marks a column the end of the body cut.
void mark_cut(std::uint32_t& code, std::uint8_t* truncated) {
    code |= kColTruncatedMark;
    if (truncated) *truncated = 1;
}

// An integer column of `n` bytes: two's complement, as the library reads it. A number cut by the end of the
// body is not the stored value: it is left empty, so that its first bytes never pass for a number or a time.
void take_integer(std::vector<std::string>& values, std::uint32_t& code, std::uint32_t n, body_rest& rest,
                  std::uint8_t* truncated) {
    const std::uint32_t k = n < rest.left ? n : rest.left;
    std::int64_t v = 0;
    if (k < n) {
        mark_cut(code, truncated);
        values.emplace_back();
    } else if (read_be_int(byte_view(rest.at, k), 0, k, &v)) {
        values.push_back(std::to_string(v));
    } else {
        values.emplace_back("0");
    }
    rest.take(k);
}

// A real column of `n` bytes, empty where the end of the body cuts it.
void take_real(std::vector<std::string>& values, std::uint32_t& code, std::uint32_t n, body_rest& rest,
               std::uint8_t* truncated) {
    const std::uint32_t k = n < rest.left ? n : rest.left;
    std::vector<std::uint8_t> bytes(rest.at, rest.at + k);
    double d = 0;
    std::string text;
    if (k < n) {
        mark_cut(code, truncated);
    } else if (decode_ieee_float_be(&d, bytes)) {
        double_to_text(text, 8, d);
    } else {
        text = "NaN";
    }
    values.push_back(text);
    rest.take(k);
}

// A text (`text`) or blob column of `n` bytes: a text given as UTF-8, a blob as its bytes (`raw_blob`) or
// its blob_preview. One the end of the body cuts takes every byte left, and loses its last four.
void take_variable(std::vector<std::string>& values, std::uint32_t& code, std::uint32_t n, bool text,
                   body_rest& rest, bool raw_blob, text_encoding encoding, std::uint8_t* truncated) {
    bool cut = false;
    const std::uint32_t k = variable_length_take(n, rest.left, &cut);
    if (cut) mark_cut(code, truncated);
    if (text && encoding != text_encoding::utf8) {
        values.emplace_back();
        stored_text(values.back(), rest.at, k, encoding);
    } else if (text || raw_blob) {
        values.emplace_back(reinterpret_cast<const char*>(rest.at), k);
    } else {
        values.push_back(blob_preview(rest.at, k));
    }
    // A cut column is the last one with data: it takes every remaining byte.
    rest.take(cut ? rest.left : k);
}

void write_blob_listing(std::ostream* listing, std::uint32_t size, const std::string& value) {
    if (!listing) return;
    *listing << "blb" << std::setw(2) << std::setfill('0') << std::hex << size << std::dec
             << std::setfill(' ') << ":0x" << value << '\n';
}

// Whether the body (`body_length` bytes, or none) may be decoded against the content sizes `sizes`: all of
// it is there, or a short body is allowed (*truncated non-zero).
bool body_decodes(const std::uint8_t* body, std::uint32_t body_length,
                  const std::vector<std::uint32_t>& sizes, const std::uint8_t* truncated) {
    if (truncated && *truncated != 0) return true;
    std::uint64_t total = 0;
    for (std::uint32_t n : sizes) total += n;
    return body && total <= body_length;
}

}  // namespace

int decode_record_values(std::uint32_t* count, std::vector<std::string>& values, const std::uint8_t* body,
                         std::uint32_t body_length, std::vector<std::uint32_t>& codes,
                         const std::vector<std::uint32_t>& sizes, std::ostream* listing, bool raw_blob,
                         std::uint8_t* truncated, text_encoding encoding) {
    if (count) *count = 0;
    values.clear();
    if (codes.size() != sizes.size()) return 0;
    if (!body_decodes(body, body_length, sizes, truncated)) return 0;
    if (truncated) *truncated = 0;
    body_rest rest{body, body ? body_length : 0};
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
        if (rest.left == 0) {
            // The body ended before a column that needs bytes: it and every later column are lost.
            if (truncated) *truncated = 1;
            for (std::size_t j = i; j < codes.size(); ++j) {
                values.emplace_back();
                codes[j] |= kColTruncatedMark;
            }
            break;
        }
        switch (c) {
            case kColInteger:
                take_integer(values, codes[i], n, rest, truncated);
                write_listing(listing, "val:0x", n, values.back());
                break;
            case kColReal:
                take_real(values, codes[i], n, rest, truncated);
                write_listing(listing, "dbl:0x", n, values.back());
                break;
            case kColText:
            case kColBlob:
                take_variable(values, codes[i], n, c == kColText, rest, raw_blob, encoding, truncated);
                if (c == kColText)
                    write_listing(listing, "str:0x", n, values.back());
                else
                    write_blob_listing(listing, n, values.back());
                break;
            default:
                // Unknown kind: nothing is known of its bytes, so the column is skipped.
                break;
        }
    }
    if (count) *count = static_cast<std::uint32_t>(values.size());
    return 1;
}
