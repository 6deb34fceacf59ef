#include "notifications/bodyfile_output.h"

#include <charconv>
#include <iomanip>
#include <sstream>

#include "common/formatters.h"
#include "common/text_rewrite.h"

namespace {

bool log_is_open(const sqlite_data_log* log) { return log != nullptr && log->is_open; }

void append_decimal(std::string& out, std::uint64_t value) {
    char digits[24];
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

}  // namespace

bodyfile_v3_context::bodyfile_v3_context() { clear(); }

void bodyfile_v3_context::clear() {
    md5.clear();
    name.clear();
    name_tail = nullptr;
    inode.clear();
    mode.clear();
    uid = 0;
    gid = 0;
    size = 0;
    macb.clear();
    macb.kind = 8;
    time_zone = "UTC";
    run_log = nullptr;
    options = nullptr;
}

int write_bodyfile_record(bool& header_pending, std::ostream& os, bodyfile_v3_context& ctx) {
    os << std::setfill(' ') << std::dec << std::left;
    const bool to_log = log_is_open(ctx.run_log);
    if (header_pending) {
        header_pending = false;
        std::ostringstream hdr;
        write_bodyfile_header(hdr);
        if (to_log) {
            if (ctx.options != nullptr) ctx.run_log->set_artifact_type(ctx.options->source_type.c_str());
            const std::string text = hdr.str();
            ctx.run_log->set_col_hdrs(text.c_str());
            ctx.run_log->commit_run(false);
        } else {
            os << hdr.str() << '\n';
        }
    }
    if (ctx.name_tail != nullptr && to_log) {
        // A run log takes whole lines.
        string_text_sink to_name(ctx.name);
        ctx.name_tail->put_to(to_name);
    }
    const bool name_in_pieces = ctx.name_tail != nullptr && !to_log;
    // Line breaks and other control bytes would split the line or drive a terminal: shown as text.
    if (!name_in_pieces) show_control_bytes(ctx.name);
    show_control_bytes(ctx.md5);
    show_control_bytes(ctx.inode);
    show_control_bytes(ctx.mode);
    // A '|' inside any text field would add a field to the line.
    if (!name_in_pieces) replace_char(ctx.name, '|', ';', false);
    replace_char(ctx.md5, '|', ';', false);
    replace_char(ctx.inode, '|', ';', false);
    replace_char(ctx.mode, '|', ';', false);
    // Built in a string, the numbers in decimal, without a stream a line.
    std::string line;
    line.reserve(ctx.md5.size() + ctx.name.size() + ctx.inode.size() + ctx.mode.size() + 128);
    line += ctx.md5.empty() ? std::string("0") : ctx.md5;
    line += '|';
    if (name_in_pieces) {
        // The name in pieces, with the same rewrites as a whole one, between the line's two parts.
        os << line;
        line.clear();
        stream_text_sink out(os);
        char_replace_sink replaced(out, '|', ';');
        control_byte_sink shown(replaced);
        shown.put(ctx.name);
        ctx.name_tail->put_to(shown);
        shown.end();
    } else {
        line += ctx.name;
    }
    line += '|';
    line += ctx.inode.empty() ? std::string("0") : ctx.inode;
    line += '|';
    line += ctx.mode;
    line += '|';
    append_decimal(line, ctx.uid);
    line += '|';
    append_decimal(line, ctx.gid);
    line += '|';
    append_decimal(line, ctx.size);
    line += '|';
    const std::uint64_t m = ctx.macb.times[0];
    const std::uint64_t a = ctx.macb.times[1];
    const std::uint64_t c = ctx.macb.times[2];
    const std::uint64_t b = ctx.macb.times[3];
    append_decimal(line, a);
    line += '|';
    append_decimal(line, m);
    line += '|';
    append_decimal(line, c);
    line += '|';
    append_decimal(line, b);
    // Lines end with a break unless they go to an open run log whose options asked for none.
    if (!to_log || ctx.options == nullptr || ctx.options->sqlite_off) line += '\n';
    if (to_log) {
        const std::string artifact = ctx.options != nullptr ? ctx.options->source_type : std::string();
        ctx.run_log->add_data_row(line, m, a, ctx.name, artifact, c, b, 0);
        return 1;
    }
    os << line;
    return os.fail() ? 0 : 1;
}
