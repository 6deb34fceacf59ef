#include "io/markup_file.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/encoding.h"
#include "common/substrings.h"
#include "common/utf16_counted.h"
#include "io/file_utils.h"
#include "io/fileio.h"

namespace {

// UTF-16LE text: each unit becomes one wide character (surrogates stay separate units, so the byte
// positions map back one to one), the sections go, and the units kept are written back.
bool strip_utf16(std::vector<std::uint8_t>& bytes, const char* tag) {
    const std::size_t units = bytes.size() / 2;
    std::vector<wchar_t> wide(units);
    for (std::size_t i = 0; i < units; ++i)
        wide[i] = static_cast<wchar_t>(bytes[2 * i] | (static_cast<unsigned>(bytes[2 * i + 1]) << 8));
    if (units == 0) return false;
    const std::wstring name = utf8_to_wstring(tag);
    std::size_t kept = units;
    if (!remove_tagged_sections(wide.data(), units * sizeof(wchar_t), name, &kept)) return false;
    std::vector<std::uint8_t> out;
    out.reserve(kept * 2 + 1);
    for (std::size_t i = 0; i < kept; ++i) {
        const std::uint32_t u = static_cast<std::uint32_t>(wide[i]);
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
    }
    // An odd last byte is not part of any unit: it stays at the end.
    if (bytes.size() % 2 != 0) out.push_back(bytes.back());
    bytes.swap(out);
    return true;
}

}  // namespace

int strip_markup_elements_in_file(const char* input_path, const char* output_path, const char* tag) {
    if (input_path == nullptr || tag == nullptr || *tag == 0) return 0;
    std::vector<std::uint8_t> bytes;
    if (!read_file_to_vector(bytes, input_path, 0xFFFFFFFFu)) return 0;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (!strip_utf16(bytes, tag)) return 0;
    } else {
        std::size_t size = bytes.size();
        if (!strip_markup_elements(bytes.data(), size, tag)) return 0;
        bytes.resize(size);
    }
    uni::fileio out;
    if (!out.open(std::string(output_path != nullptr ? output_path : input_path), true, false, true))
        return 0;
    const int written = bytes.empty() ? 1 : out.write_bytes(bytes);
    out.close();
    return written ? 1 : 0;
}
