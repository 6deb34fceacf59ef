#include "notifications/timeline.h"

#include <iomanip>
#include <sstream>
#include <vector>

#include "common/encoding.h"
#include "sqlite_format/metadata.h"

// ---------------------------------------------------------------- macb_context

macb_context::macb_context() : si_set(0), fn_set(0), fn83_set(0) { clear(); }

macb_context::macb_context(const macb_context& other)
    : si(other.si),
      fn(other.fn),
      fn83(other.fn83),
      si_set(other.si_set),
      fn_set(other.fn_set),
      fn83_set(other.fn83_set),
      names(other.names),
      names_8_3(other.names_8_3),
      text1(other.text1),
      text2(other.text2) {}

macb_context::~macb_context() = default;

void macb_context::clear() {
    si = "....";
    fn = "....";
    fn83 = "....";
    si_set = 0;
    fn_set = 0;
    fn83_set = 0;
    names.clear();
    names_8_3.clear();
    text1.clear();
    text2.clear();
}

void macb_context::place(int set, std::size_t pos, char letter) {
    std::string* letters = nullptr;
    std::uint8_t* marked = nullptr;
    switch (set) {
        case kMacbSetSi:
            letters = &si;
            marked = &si_set;
            break;
        case kMacbSetFn:
            letters = &fn;
            marked = &fn_set;
            break;
        case kMacbSetFn83:
            letters = &fn83;
            marked = &fn83_set;
            break;
        default:
            return;
    }
    // A copy assigned from outside may have lost its four positions.
    if (letters->size() < 4) letters->resize(4, '.');
    (*letters)[pos] = letter;
    *marked = 1;
}

void macb_context::set_si_m() { place(kMacbSetSi, 0, 'm'); }
void macb_context::set_si_a() { place(kMacbSetSi, 1, 'a'); }
void macb_context::set_si_c() { place(kMacbSetSi, 2, 'c'); }
void macb_context::set_si_b() { place(kMacbSetSi, 3, 'b'); }
void macb_context::set_fn_m() { place(kMacbSetFn, 0, 'm'); }
void macb_context::set_fn_a() { place(kMacbSetFn, 1, 'a'); }
void macb_context::set_fn_c() { place(kMacbSetFn, 2, 'c'); }
void macb_context::set_fn_b() { place(kMacbSetFn, 3, 'b'); }
void macb_context::set_fn83_m() { place(kMacbSetFn83, 0, 'm'); }
void macb_context::set_fn83_a() { place(kMacbSetFn83, 1, 'a'); }
void macb_context::set_fn83_c() { place(kMacbSetFn83, 2, 'c'); }
void macb_context::set_fn83_b() { place(kMacbSetFn83, 3, 'b'); }
void macb_context::set_m(int set) { place(set, 0, 'm'); }
void macb_context::set_a(int set) { place(set, 1, 'a'); }
void macb_context::set_c(int set) { place(set, 2, 'c'); }
void macb_context::set_b(int set) { place(set, 3, 'b'); }

void write_macb_summary(const macb_context& ctx, std::ostream& os, bool line_break, bool fn83, bool fn) {
    bool written = false;
    if (ctx.si_set != 0) {
        os << "si:[" << ctx.si << "]";
        written = true;
    }
    if (ctx.fn_set != 0 && fn) {
        if (written) os << "; ";
        os << "fn:[" << ctx.fn << "]";
        written = true;
    }
    if (ctx.fn83_set != 0 && fn83) {
        if (written) os << "; ";
        os << "fn8.3[" << ctx.fn83 << "]";
        written = true;
    }
    if (line_break && written) os << '\n';
}

void merge_macb_events(std::map<std::uint64_t, macb_context>& map, int set, std::uint64_t m, std::uint64_t a,
                       std::uint64_t c, std::uint64_t b, const wchar_t* text, bool second_set) {
    macb_context tmpl;
    std::string name;
    if (text != nullptr) {
        name = wstring_to_utf8(std::wstring(text));
        if (second_set) {
            tmpl.names_8_3.insert(name);
        } else {
            tmpl.names.insert(name);
        }
    }
    const std::uint64_t times[4] = {m, a, c, b};
    for (std::size_t k = 0; k < 4; ++k) {
        if (times[k] == 0) continue;
        auto found = map.find(times[k]);
        if (found == map.end()) {
            tmpl.si = tmpl.fn = tmpl.fn83 = "....";
            switch (k) {
                case 0:
                    tmpl.set_m(set);
                    break;
                case 1:
                    tmpl.set_a(set);
                    break;
                case 2:
                    tmpl.set_c(set);
                    break;
                default:
                    tmpl.set_b(set);
                    break;
            }
            map.emplace(times[k], tmpl);
            continue;
        }
        macb_context& existing = found->second;
        switch (k) {
            case 0:
                existing.set_m(set);
                break;
            case 1:
                existing.set_a(set);
                break;
            case 2:
                existing.set_c(set);
                break;
            default:
                existing.set_b(set);
                break;
        }
        if (text != nullptr) {
            if (second_set) {
                existing.names_8_3.insert(name);
                existing.names.insert(std::string());
            } else {
                existing.names.insert(name);
                existing.names_8_3.insert(std::string());
            }
        }
    }
}

// ---------------------------------------------------------------- generic timeline writer

namespace {

// Positions of the timeline columns in the template; -1 when a column is absent.
struct timeline_columns {
    int mft_entry = -1, mft_seqnum = -1, parent_mft = -1, par_seqnum = -1, type = -1, ext = -1, ref = -1;
    int size_data = -1, date = -1, macb = -1, data_type = -1, other_info = -1, md5 = -1, sha1 = -1,
        sha1_2 = -1;
    int name = -1, path = -1, clusters = -1, last = -1;
};

// The column layout of the context's switches, appended to `header`.
timeline_columns layout_columns(const log2timeline_context& ctx, std::vector<qm_variant_lite>& header) {
    timeline_columns cols;
    auto add = [&header](const char* label, unsigned long long width, int type) {
        header.emplace_back(std::string(label), width, type, 0);
        return static_cast<int>(header.size()) - 1;
    };
    cols.mft_entry = add("mft entry", 10, 11);
    cols.mft_seqnum = add("mft seqnum", 10, 11);
    cols.parent_mft = add("parent mft", 10, 11);
    cols.par_seqnum = add("par seqnum", 10, 11);
    cols.type = add("type", 7, 11);
    cols.ext = add("ext", 9, 11);
    cols.ref = add("ref", 3, 11);
    if (ctx.no_size == 0) cols.size_data = add("size data", 10, 11);
    if (ctx.one_column != 0) {
        cols.date = add("date/time-utc", ctx.date_pattern.size() + ctx.time_pattern.size() + 1, 13);
    } else {
        cols.date = add("date", ctx.date_pattern.size(), 11);
        add("time-utc", ctx.time_pattern.size(), 24);
    }
    cols.macb = add("MACB", 33, 11);
    if (ctx.no_size == 0) cols.data_type = add("data type", 14, 11);
    cols.other_info = add("other info", 14, 11);
    if (ctx.hash_md5 != 0) cols.md5 = add("MD5 hash", 32, 11);
    if (ctx.hash_sha1 != 0) cols.sha1 = add("SHA1 hash", 40, 11);
    if (ctx.hash_sha1_2 != 0) cols.sha1_2 = add("SHA1 hash", 40, 11);
    cols.name = add("name", 15, 11);
    cols.path = add("path", 60, 11);
    if (ctx.no_size != 0 || ctx.cluster_column == 0) {
        cols.clusters = add("various data types", 100, 11);
    } else {
        cols.clusters = add("clusters/relevant data", 80, 11);
    }
    if (ctx.extracted_file_column != 0) {
        cols.last = add("extracted path/file", 0, 11);
    } else if (ctx.header_info_column != 0) {
        cols.last = add("header info", 0, 11);
    }
    return cols;
}

// The header-info bytes as hex rows of 16 bytes, the rows joined by "; ".
std::string header_info_hex(const std::vector<unsigned char>& bytes) {
    std::ostringstream os;
    os << std::hex << std::setfill('0');
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (k != 0) os << ((k % 16) == 0 ? "; " : " ");
        os << std::setw(2) << static_cast<unsigned>(bytes[k]);
    }
    return os.str();
}

// The summary of one set alone.
std::string set_summary(const macb_context& entry, int set) {
    macb_context only(entry);
    if (set != kMacbSetSi) only.si_set = 0;
    if (set != kMacbSetFn) only.fn_set = 0;
    if (set != kMacbSetFn83) only.fn83_set = 0;
    std::ostringstream os;
    write_macb_summary(only, os, false, set == kMacbSetFn83, set == kMacbSetFn);
    return os.str();
}

// A row of the entry's common cells; the MACB, name and path cells are the caller's.
variant_row base_row(const timeline_columns& cols, std::size_t size, std::uint32_t row_flags,
                     std::uint64_t time, const log2timeline_context& ctx) {
    variant_row row(static_cast<unsigned>(size), true, row_flags);
    row.set_string(cols.mft_entry, ctx.inode, 11, 0);
    row.set_u64(cols.mft_seqnum, ctx.inode_seqnum, 4, 0);
    row.set_u64(cols.parent_mft, ctx.parent_inode, 8, 0);
    row.set_u64(cols.par_seqnum, ctx.parent_seqnum, 4, 0);
    row.set_string(cols.type, ctx.notes, 11, 0);
    row.set_string(cols.ext, ctx.extension, 11, 0);
    row.set_u64(cols.ref, ctx.ref_count, 4, kCellDecimal);
    if (cols.size_data >= 0) row.set_u64(cols.size_data, ctx.size_data, 8, 0);
    row.set_u64(cols.date, time, ctx.one_column != 0 ? 13 : 12, 0);
    if (cols.data_type >= 0) row.set_string(cols.data_type, ctx.desc, 11, 0);
    row.set_string(cols.other_info, ctx.extra, 11, 0);
    if (cols.md5 >= 0) row.set_string(cols.md5, ctx.md5_text, 11, 0);
    if (cols.sha1 >= 0) row.set_string(cols.sha1, ctx.sha1_text, 11, 0);
    if (cols.sha1_2 >= 0) row.set_string(cols.sha1_2, ctx.sha1_2_text, 11, 0);
    row.set_string(cols.clusters, ctx.clusters, 11, 0);
    if (cols.last >= 0) {
        row.set_string(cols.last,
                       ctx.relevant_data.empty() ? header_info_hex(ctx.header_info) : ctx.relevant_data, 11,
                       0);
    }
    return row;
}

}  // namespace

int write_generic_csv_header(bool& header_pending, std::ostream& os,
                             std::map<std::uint64_t, macb_context>& map, log2timeline_context& ctx) {
    if (ctx.header_owner == nullptr) return 0;
    cmd_params& options = *ctx.header_owner;
    int ok = 1;
    timeline_columns cols;
    if (header_pending) {
        header_pending = false;
        options.header_on = false;
        options.header_fields.clear();
        cols = layout_columns(ctx, options.header_fields);
        if (ctx.run_log != nullptr && ctx.run_log->is_open) {
            ctx.run_log->set_file("");
            ctx.run_log->set_gen_hdrs("date|null|size data|null|null|MACB|path|output");
        } else if (write_header_row(os, options) == 0) {
            ok = 0;
        }
    } else {
        std::vector<qm_variant_lite> scratch;
        cols = layout_columns(ctx, scratch);
    }
    const std::size_t size = options.header_fields.size();
    const std::uint32_t row_flags = options.quoted_csv_fields ? kCellQuote : 0;
    for (auto& entry : map) {
        const std::uint64_t time = entry.first;
        if (ctx.date_start != 0 && (time < ctx.date_start || time > ctx.date_end)) continue;
        const macb_context& mc = entry.second;
        variant_row row = base_row(cols, size, row_flags, time, ctx);
        std::ostringstream summary;
        write_macb_summary(mc, summary, false, true, false);
        row.set_string(cols.macb, summary.str(), 11, 0);
        if (write_variant_row(os, row, options) == 0) ok = 0;
        for (const std::string& name : mc.names) {
            variant_row named = base_row(cols, size, row_flags, time, ctx);
            named.set_string(cols.macb, set_summary(mc, kMacbSetFn), 11, 0);
            named.set_string(cols.name, name, 11, 0);
            named.set_string(cols.path, ctx.filename, 11, 0);
            if (write_variant_row(os, named, options) == 0) ok = 0;
        }
        for (const std::string& name : mc.names_8_3) {
            variant_row named = base_row(cols, size, row_flags, time, ctx);
            named.set_string(cols.macb, set_summary(mc, kMacbSetFn83), 11, 0);
            named.set_string(cols.name, name + " (FN 8.3)", 11, 0);
            named.set_string(cols.path, ctx.filename, 11, 0);
            if (write_variant_row(os, named, options) == 0) ok = 0;
        }
    }
    return ok;
}

// ---------------------------------------------------------------- source and offset text

std::string output_json_src_offset(unsigned int source_code, unsigned long long offset, bool hex,
                                   bool braces) {
    static const std::string quote = "\"";
    std::ostringstream os;
    if (braces) os << "{";
    os << quote << "source" << quote << ":" << quote << record_source_label(source_code) << quote;
    if (offset != 0) {
        os << "; " << quote << "offset" << quote << ":" << quote;
        if (hex) {
            os << "0x" << std::hex << std::setfill('0') << std::setw(8) << offset << std::dec;
        } else {
            os << offset;
        }
        os << quote;
    }
    if (braces) os << "}";
    return os.str();
}
