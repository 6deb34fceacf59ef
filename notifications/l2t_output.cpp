#include "notifications/l2t_output.h"

#include <iomanip>
#include <sstream>

#include "common/case_conv.h"
#include "common/formatters.h"
#include "common/text_rewrite.h"
#include "time/time_text.h"

namespace {

const char kMacbLetters[] = "MACB";

// Appends text to stored, "; " between, unless stored already holds it (an empty text is held by all).
void append_unique(std::string& stored, const std::string& text) {
    if (stored.find(text) != std::string::npos) return;
    if (!stored.empty()) stored += "; ";
    stored += text;
}

bool log_is_open(const sqlite_data_log* log) { return log != nullptr && log->is_open; }

// Lines end with a break unless they go to an open run log whose options asked for none.
bool line_needs_break(const log2timeline_context& ctx) {
    if (!log_is_open(ctx.run_log)) return true;
    return ctx.options == nullptr || ctx.options->sqlite_off;
}

void write_header_if_pending(bool& header_pending, std::ostream& os, log2timeline_context& ctx) {
    if (!header_pending) return;
    header_pending = false;
    std::ostringstream hdr;
    write_log2timeline_header(hdr, ctx.separator, ctx.ext_on != 0, ctx.one_column != 0);
    if (log_is_open(ctx.run_log)) {
        if (ctx.options != nullptr) ctx.run_log->set_artifact_type(ctx.options->source_type.c_str());
        const std::string text = hdr.str();
        ctx.run_log->set_col_hdrs(text.c_str());
        ctx.run_log->set_gen_hdrs("date|null|null|null|null|MACB|artifact|output");
        ctx.run_log->set_file(ctx.filename.c_str());
        ctx.run_log->commit_run(false);
    } else {
        os << hdr.str() << '\n';
    }
}

// The separator character inside a value would add a column: every text that reaches the line is cleaned.
void replace_in_texts(log2timeline_context& ctx, macb_output& ev) {
    if (ctx.replace_from == 0 || ctx.replace_to == 0) return;
    std::string* texts[] = {&ctx.short_text, &ctx.desc, &ctx.filename, &ctx.notes, &ctx.extra,
                            &ctx.user,       &ctx.host, &ev.filename,  &ev.extra,  &ev.user};
    for (std::string* t : texts) replace_char(*t, ctx.replace_from, ctx.replace_to, false);
}

void write_hex_number(std::ostream& os, std::uint64_t v, int width, bool hex) {
    if (hex) {
        os << "0x" << std::right << std::hex << std::setfill('0') << std::setw(width) << v << std::dec
           << std::setfill(' ') << std::left;
    } else {
        os << v;
    }
}

void write_extended(std::ostream& os, const log2timeline_context& ctx) {
    const std::string& sep = ctx.separator;
    const bool hex = ctx.ext_hex != 0;
    os << sep;
    write_hex_number(os, ctx.ref_count, 4, hex);
    os << sep << ctx.extension << sep;
    write_hex_number(os, ctx.size_data, 6, hex);
    os << sep;
    write_hex_number(os, ctx.inode_seqnum, 4, hex);
    os << sep;
    write_hex_number(os, ctx.parent_inode, 8, hex);
    os << sep;
    write_hex_number(os, ctx.parent_seqnum, 4, hex);
    os << sep << ctx.clusters << sep;
    os << std::right << std::hex << std::setfill(hex ? '0' : ' ');
    for (unsigned char b : ctx.header_info) os << std::setw(2) << static_cast<unsigned>(b) << ' ';
    os << std::dec << std::setfill(' ') << std::left;
}

// A cell made from a text of the context, which is the same for every event of one record: made for the
// first event that prints it and reused for the others (a cell is a function of its text and the settings).
struct context_cell {
    bool made = false;
    std::string text;
};
struct context_cells {
    context_cell time_zone, source, sourcetype, type, user, host, short_text, desc, version, filename, inode,
        notes, format, extra;
    // A desc or notes in pieces: whether its cell is quoted, worked out once.
    bool desc_known = false;
    bool desc_quoted = false;
    bool notes_known = false;
    bool notes_quoted = false;
};

// One text as a line holds it: the separator's replacement, control bytes made visible, and quotes where a
// CSV reader would otherwise split the text or join it with the next line.
void make_cell(std::string& cell, const std::string& text, const log2timeline_context& ctx,
               bool quoted_mode) {
    cell = text;
    if (ctx.replace_from != 0 && ctx.replace_to != 0)
        replace_char(cell, ctx.replace_from, ctx.replace_to, false);
    show_control_bytes(cell);
    if (cell_needs_quotes(cell, ctx.separator, quoted_mode)) quote_cell(cell);
}

// A text in pieces (the desc or the notes) as make_cell makes a whole text, before its quotes: the
// separator's replacement, control bytes made visible.
void put_cell_pieces(const log2timeline_context& ctx, const text_source& text, text_sink& out) {
    control_byte_sink shown(out);
    char_replace_sink replaced(shown, ctx.replace_from, ctx.replace_to);
    if (ctx.replace_from != 0 && ctx.replace_to != 0)
        text.put_to(replaced);
    else
        text.put_to(shown);
    shown.end();
}

// The cell of a text in pieces, to `os` in pieces: quoted where make_cell would quote it (`known` and
// `quoted` keep that for the record's other events).
void write_cell_pieces(std::ostream& os, const log2timeline_context& ctx, const text_source& text,
                       bool& known, bool& quoted) {
    if (!known) {
        const bool quoted_mode = ctx.options != nullptr && ctx.options->quoted_csv_fields;
        text_facts_sink facts(ctx.separator, quoted_mode ? "\"\r\n" : "");
        put_cell_pieces(ctx, text, facts);
        quoted = facts.holds_separator() || (quoted_mode ? facts.holds_any() : facts.first() == '"');
        known = true;
    }
    stream_text_sink out(os);
    if (!quoted) {
        put_cell_pieces(ctx, text, out);
        return;
    }
    out.put('"');
    {
        quote_doubling_sink doubled(out);
        put_cell_pieces(ctx, text, doubled);
    }
    out.put('"');
}

// One event line, without its line break; `cells` holds the cells of the record's context made so far.
// With `desc_at` the desc cell is left out of the line, its place there given in *desc_at; the same for the
// notes with `notes_at`.
std::string build_line(log2timeline_context& ctx, macb_output& ev, bool letter_fallback, context_cells& cells,
                       std::size_t* desc_at, std::size_t* notes_at) {
    replace_in_texts(ctx, ev);
    const std::string& sep = ctx.separator;
    // Plain texts one after another: built in a string, without a stream per event.
    std::string line;
    line.reserve(512);
    std::string date;
    std::string time;
    format_date_time_by_format(date, time, ev.event_time, ctx.format_word);
    const bool lead = ctx.padded != 0 && ctx.unpadded == 0;
    const bool quoted_mode = ctx.options != nullptr && ctx.options->quoted_csv_fields;
    std::string cell;
    // Every text takes the same handling (make_cell).
    auto add = [&](const std::string& text) {
        make_cell(cell, text, ctx, quoted_mode);
        line += cell;
    };
    auto field = [&](const std::string& text) {
        add(text);
        line += sep;
    };
    // A text of the context, as add() writes it.
    auto from_context = [&](context_cell& c, const std::string& text) {
        if (!c.made) {
            make_cell(c.text, text, ctx, quoted_mode);
            c.made = true;
        }
        line += c.text;
    };
    auto context_field = [&](context_cell& c, const std::string& text) {
        from_context(c, text);
        line += sep;
    };
    // The leading blank belongs to the time's cell: where the cell must be quoted, it goes inside the quotes.
    const std::string blank = lead ? " " : "";
    if (ctx.one_column != 0) {
        field(blank + date + ' ' + time);
    } else {
        field(date);
        field(blank + time);
    }
    context_field(cells.time_zone, ctx.time_zone);
    if (ctx.lower_macb != 0) string_to_lower(ev.macb);
    field(ev.macb);
    if (ev.source.empty())
        context_field(cells.source, ctx.source);
    else
        field(ev.source);
    context_field(cells.sourcetype, ctx.sourcetype);
    if (!ctx.type.empty()) {
        context_field(cells.type, ctx.type);
    } else if (!ev.type_text.empty()) {
        field(ev.type_text);
    } else if (letter_fallback && ev.letter_texts.size() == 4) {
        std::string joined;
        for (const std::string& t : ev.letter_texts) {
            if (t.empty()) continue;
            if (!joined.empty()) joined += "; ";
            joined += t;
        }
        field(joined);
    } else {
        line += sep;
    }
    if (ev.user.empty())
        context_field(cells.user, ctx.user);
    else
        field(ev.user);
    context_field(cells.host, ctx.host);
    context_field(cells.short_text, ctx.short_text);
    if (desc_at != nullptr) {
        *desc_at = line.size();
        line += sep;
    } else {
        context_field(cells.desc, ctx.desc);
    }
    context_field(cells.version, std::to_string(ctx.version));
    if (ev.filename.empty())
        context_field(cells.filename, ctx.filename);
    else
        field(ev.filename);
    context_field(cells.inode, ctx.inode);
    if (notes_at != nullptr) {
        *notes_at = line.size();
        line += sep;
    } else {
        context_field(cells.notes, ctx.notes);
    }
    context_field(cells.format, ctx.format);
    if (ev.extra.empty())
        from_context(cells.extra, ctx.extra);
    else
        add(ev.extra);
    if (ctx.ext_on != 0) {
        std::ostringstream extended;
        extended << std::dec << std::setfill(' ') << std::left;
        write_extended(extended, ctx);
        line += extended.str();
    }
    return line;
}

int write_events(std::ostream& os, log2timeline_context& ctx,
                 std::multimap<std::uint64_t, macb_output>& events, bool letter_fallback) {
    context_cells cells;
    // A desc in pieces goes to the stream in pieces; a run log takes it whole.
    const bool desc_in_pieces = ctx.desc_pieces != nullptr && !log_is_open(ctx.run_log);
    if (ctx.desc_pieces != nullptr && !desc_in_pieces) {
        ctx.desc.clear();
        string_text_sink to_desc(ctx.desc);
        ctx.desc_pieces->put_to(to_desc);
    }
    const bool notes_in_pieces = ctx.notes_pieces != nullptr && !log_is_open(ctx.run_log);
    if (ctx.notes_pieces != nullptr && !notes_in_pieces) {
        ctx.notes.clear();
        string_text_sink to_notes(ctx.notes);
        ctx.notes_pieces->put_to(to_notes);
    }
    for (auto& entry : events) {
        macb_output& ev = entry.second;
        if (ev.valid == 0) continue;
        // The printed time: events built from a MACB input keep their raw value in `filetime`.
        const std::uint64_t ft = ev.event_time.filetime;
        if (ctx.date_start != 0 && (ft < ctx.date_start || ft > ctx.date_end)) continue;
        std::size_t desc_at = 0, notes_at = 0;
        std::string line = build_line(ctx, ev, letter_fallback, cells, desc_in_pieces ? &desc_at : nullptr,
                                      notes_in_pieces ? &notes_at : nullptr);
        if (line_needs_break(ctx)) line += '\n';
        if (log_is_open(ctx.run_log)) {
            ctx.run_log->add_data_row(line, ft, 0, ev.macb, ctx.sourcetype, 0, 0, 0);
        } else if (desc_in_pieces || notes_in_pieces) {
            // The line around the cells in pieces (the desc comes before the notes).
            std::size_t from = 0;
            if (desc_in_pieces) {
                os.write(line.data(), static_cast<std::streamsize>(desc_at));
                write_cell_pieces(os, ctx, *ctx.desc_pieces, cells.desc_known, cells.desc_quoted);
                from = desc_at;
            }
            if (notes_in_pieces) {
                os.write(line.data() + from, static_cast<std::streamsize>(notes_at - from));
                write_cell_pieces(os, ctx, *ctx.notes_pieces, cells.notes_known, cells.notes_quoted);
                from = notes_at;
            }
            os.write(line.data() + from, static_cast<std::streamsize>(line.size() - from));
        } else {
            os << line;
        }
    }
    return os.fail() ? 0 : 1;
}

}  // namespace

// ---------------------------------------------------------------- log2timeline_context

log2timeline_context::log2timeline_context() { clear(); }

void log2timeline_context::clear() {
    macb.clear();
    time_zone = "UTC";
    source.clear();
    sourcetype.clear();
    type.clear();
    user.clear();
    host.clear();
    short_text.clear();
    desc.clear();
    desc_pieces = nullptr;
    version = 2;
    filename.clear();
    inode.clear();
    notes.clear();
    notes_pieces = nullptr;
    format = "-csvl2t";
    extra.clear();
    date_pattern = kDefaultDatePattern;
    time_pattern = kDefaultTimePattern;
    format_word = date_time_format();
    parse_date_time_format(format_word, date_pattern, time_pattern, false);
    separator = ",";
    replace_from = ',';
    replace_to = ' ';
    lower_macb = padded = unpadded = ext_hex = 0;
    no_size = cluster_column = header_info_column = extracted_file_column = one_column = 0;
    hash_md5 = hash_sha1 = hash_sha1_2 = 0;
    md5_text.clear();
    sha1_text.clear();
    sha1_2_text.clear();
    ext_on = 0;
    ref_count = 0;
    extension.clear();
    size_data = 0;
    inode_seqnum = 0;
    parent_inode = 0;
    parent_seqnum = 0;
    clusters.clear();
    header_info.clear();
    hex_view_option = 0;
    relevant_data.clear();
    date_start = 0;
    date_end = 0;
    run_log = nullptr;
    options = nullptr;
    header_owner = nullptr;
}

void log2timeline_context::set_from_options(cmd_params* opts) {
    if (opts == nullptr) return;
    set_from_settings(opts);
    header_owner = opts;
}

void log2timeline_context::set_from_settings(const cmd_params* opts) {
    if (opts == nullptr) return;
    options = opts;
    header_owner = nullptr;
    ext_hex = opts->base16 ? 1 : 0;
    sourcetype = opts->source_type;
    format = opts->tool_name + " (quillmar)";
    date_pattern = opts->date_format;
    time_pattern = opts->time_format;
    format_word = opts->format_word;
    unpadded = opts->no_whitespace ? 1 : 0;
    padded = opts->no_whitespace ? 0 : 1;
    user = opts->user_name;
    host = opts->host_name;
    separator = opts->separator;
    replace_from = opts->value_char;
    replace_to = opts->value_char_replacement;
    one_column = opts->pair_datetime ? 1 : 0;
    run_log = get_options_data_log(opts);
}

void log2timeline_context::set_extended_values(std::uint32_t ref, std::uint64_t parent,
                                               std::uint32_t parent_seq, std::uint32_t inode_seq,
                                               std::uint64_t size, const char* ext,
                                               const char* clusters_text) {
    ext_on = 1;
    ref_count = ref;
    if (parent == 0xffffffffffffULL) {
        parent_inode = 5;
        parent_seqnum = 0;
    } else {
        parent_inode = parent;
        parent_seqnum = parent_seq;
    }
    inode_seqnum = inode_seq;
    size_data = size;
    if (ext != nullptr) extension = ext;
    if (clusters_text != nullptr) clusters = clusters_text;
}

void format_value_hex_or_dec(log2timeline_context& ctx, std::uint64_t value) {
    std::ostringstream os;
    if (ctx.ext_hex != 0) {
        os << "0x" << std::hex << std::setfill('0') << std::setw(8) << value;
    } else {
        os << value;
    }
    ctx.inode = os.str();
}

// ---------------------------------------------------------------- log2timeline_context_ex

log2timeline_context_ex::log2timeline_context_ex() = default;

int log2timeline_context_ex::insert_event(macb_output& ev) {
    if (ev.filetime == 0 || ev.source.empty() || ev.macb.empty()) return 0;
    if (ev.valid == 0) {
        const qm::time t(static_cast<unsigned long long>(ev.filetime), 0.0);
        if (!t.valid) return 0;
        ev.event_time = t;
        ev.kind = 1;
        ev.valid = 1;
    }
    string_to_upper(ev.macb);
    const char* hit = std::char_traits<char>::find(kMacbLetters, 4, ev.macb[0]);
    if (hit == nullptr) return 0;
    const std::size_t k = static_cast<std::size_t>(hit - kMacbLetters);

    auto range = events.equal_range(ev.filetime);
    for (auto it = range.first; it != range.second; ++it) {
        macb_output& stored = it->second;
        if (stored.source != ev.source) continue;
        if (stored.macb.size() < 4) stored.macb.resize(4, '.');
        stored.macb[k] = kMacbLetters[k];
        if (stored.letter_texts.size() < 4) stored.letter_texts.resize(4);
        append_unique(stored.letter_texts[k], ev.type_text);
        append_unique(stored.extra, ev.extra);
        append_unique(stored.filename, ev.filename);
        append_unique(stored.user, ev.user);
        return 1;
    }

    // The given event keeps its texts, so the same event can be offered again and merges as a repeat.
    macb_output stored(ev);
    stored.macb = "....";
    stored.macb[k] = kMacbLetters[k];
    stored.letter_texts.assign(4, std::string());
    stored.letter_texts[k] = ev.type_text;
    stored.type_text.clear();
    events.emplace(ev.filetime, std::move(stored));
    return 1;
}

// ---------------------------------------------------------------- writers

int write_log2timeline_events(bool& header_pending, std::ostream& os, log2timeline_context_ex& ctx) {
    os << std::setfill(' ') << std::dec << std::left;
    write_header_if_pending(header_pending, os, ctx);
    return write_events(os, ctx, ctx.events, true);
}

int write_log2timeline_events_alt(bool& header_pending, std::ostream& os, log2timeline_context& ctx) {
    os << std::setfill(' ') << std::dec << std::left;
    write_header_if_pending(header_pending, os, ctx);
    std::multimap<std::uint64_t, macb_output> events;
    build_macb_outputs(events, ctx.macb, ctx.macb.kind, 0);
    flatten_line_endings(ctx.desc);
    flatten_line_endings(ctx.notes);
    flatten_line_endings(ctx.extra);
    return write_events(os, ctx, events, false);
}
