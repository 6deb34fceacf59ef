#include "aux/text_table.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kTextType = 11;
constexpr std::uint32_t kLabelFlags = 0x80;

}  // namespace

bool write_text_table(std::ostream& out, const std::vector<std::string>& names,
                      const std::vector<std::vector<std::string>>& rows, cmd_params& options,
                      std::uint32_t cap, bool cap_flag, variant_text_callback first,
                      variant_text_callback second) {
    if (names.empty() || rows.empty()) return false;
    // The row model holds at most 255 cells; further columns are not printed.
    const std::size_t columns = std::min<std::size_t>(names.size(), 255);
    std::vector<qm_variant_lite>& header = options.header_fields;
    for (std::size_t i = 0; i < columns; ++i) {
        if (i >= header.size()) {
            header.emplace_back(names[i], names[i].size(), kTextType, kLabelFlags);
            continue;
        }
        qm_variant_lite& field = header[i];
        if (field.text.empty()) {
            field.text = names[i];
            field.width = names[i].size();
        }
        if (field.type == 0) field.type = kTextType;
        if (field.flags == 0) field.flags = kLabelFlags;
    }
    if (!options.no_whitespace) {
        for (std::size_t i = 0; i < columns; ++i) {
            unsigned long long width = header[i].width;
            for (const auto& row : rows) {
                if (i < row.size()) width = std::max<unsigned long long>(width, row[i].size());
            }
            if (cap != 0) {
                width = std::min<unsigned long long>(width, cap);
                header[i].max_length = static_cast<std::uint16_t>(std::min<std::uint32_t>(cap, 0xFFFF));
                if (cap_flag) header[i].flags |= kCellCut;
            }
            header[i].width = width;
        }
    }
    write_header_row(out, options);
    options.header_on = false;
    const unsigned flags = options.quoted_csv_fields ? kCellQuote : 0u;
    cmd_params copy(options);
    for (const auto& texts : rows) {
        variant_row row = make_variant_row(static_cast<unsigned>(columns), false, flags);
        for (std::size_t i = 0; i < columns; ++i) {
            row.set_text_by_header(static_cast<int>(i), i < texts.size() ? texts[i] : std::string(), header,
                                   &options.format_word, first, second);
        }
        write_variant_row(out, row, copy);
    }
    return static_cast<bool>(out);
}
