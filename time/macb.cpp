#include "time/macb.h"

#include "time/calendar.h"

namespace {

constexpr char kLetters[4] = {'M', 'A', 'C', 'B'};

// (filetime - 1970 epoch) / 10^7, or 0 for a FILETIME that is 0, at or above 2^63, or before 1970: an
// unsigned difference there would wrap to a far-future time.
std::uint64_t filetime_to_unix_or_zero(std::uint64_t ft) {
    if (ft == 0 || ft >= kFiletimeSignBit || ft < kFiletimeUnix) return 0;
    return (ft - kFiletimeUnix) / kTicksPerSecond;
}

std::uint64_t to_unix_seconds(std::uint64_t v, std::uint32_t kind) {
    if (v == 0) return 0;
    std::uint64_t ft = 0;
    switch (kind) {
        case 1:
            ft = v;
            break;
        case 2:
            // value x 10 must stay below 2^63; checked before multiplying so it cannot wrap.
            if (v >= kFiletimeSignBit / 10) return 0;
            ft = v * 10;
            break;
        case 4:
            if (!firefox_to_filetime(static_cast<std::int64_t>(v), ft)) return 0;
            break;
        case 0x40000:
            if (!safari_to_filetime_unsigned(v, ft)) return 0;
            break;
        default:
            return 0;
    }
    return filetime_to_unix_or_zero(ft);
}

void append_unique(std::string& text, const std::string& add) {
    if (add.empty() || text.find(add) != std::string::npos) return;
    if (!text.empty()) text += "; ";
    text += add;
}

}  // namespace

macb_input::macb_input() : times{0, 0, 0, 0}, kind(1), user_value(0) { clear(); }

void macb_input::clear() {
    for (int i = 0; i < 4; ++i) {
        times[i] = 0;
        labels[i].clear();
    }
    description.clear();
    kind = 1;
    user_value = 0;
    event_times.clear();
    for (auto& texts : event_texts) texts.clear();
    event_used.clear();
}

void macb_input::set_labels(const std::string& m, const std::string& a, const std::string& c,
                            const std::string& b) {
    labels[0] = m;
    labels[1] = a;
    labels[2] = c;
    labels[3] = b;
}

void macb_input::set_default_labels() {
    set_labels("Last Modified", "Last Access", "Metadata Changed", "Created");
}

void macb_input::set_times_raw(std::uint64_t m, std::uint64_t a, std::uint64_t c, std::uint64_t b,
                               std::uint32_t kind_value) {
    times[0] = m;
    times[1] = a;
    times[2] = c;
    times[3] = b;
    kind = kind_value;
}

void macb_input::set_times(std::uint64_t m, std::uint64_t a, std::uint64_t c, std::uint64_t b,
                           std::uint32_t kind_value) {
    const std::uint64_t in[4] = {m, a, c, b};
    switch (kind_value) {
        case 1:
        case 2:
        case 4:
        case 0x40000:
            for (int i = 0; i < 4; ++i) times[i] = to_unix_seconds(in[i], kind_value);
            break;
        case 8:
            for (int i = 0; i < 4; ++i) times[i] = in[i];
            break;
        default:
            return;
    }
    kind = 8;
}

void macb_input::add_event(std::uint64_t filetime, const std::string& t1, const std::string& t2,
                           const std::string& t3) {
    const std::string* texts[3] = {&t1, &t2, &t3};
    bool merged = false;
    for (std::size_t i = 0; i < event_times.size(); ++i) {
        if (event_times[i] != filetime) continue;
        merged = true;
        for (int k = 0; k < 3; ++k) {
            if (i < event_texts[k].size()) append_unique(event_texts[k][i], *texts[k]);
        }
    }
    if (merged) return;
    event_times.push_back(filetime);
    for (int k = 0; k < 3; ++k) event_texts[k].push_back(*texts[k]);
    event_used.push_back(0);
}

void build_macb_outputs(std::multimap<std::uint64_t, macb_output>& out, const macb_input& in,
                        std::uint32_t kind, std::uint64_t flags) {
    (void)flags;
    std::vector<qm::time> times;
    for (int i = 0; i < 4; ++i)
        times.emplace_back(static_cast<unsigned long long>(in.times[i]), static_cast<qm::type_time>(kind));
    const std::size_t events = in.event_times.size();
    std::vector<qm::time> event_times;
    for (std::size_t e = 0; e < events; ++e)
        event_times.emplace_back(static_cast<unsigned long long>(in.event_times[e]), qm::type_filetime);
    std::vector<unsigned char> used(events, 0);
    for (std::size_t e = 0; e < events && e < in.event_used.size(); ++e) used[e] = in.event_used[e];
    auto event_text = [&](int k, std::size_t e) -> const std::string& {
        static const std::string empty;
        return e < in.event_texts[k].size() ? in.event_texts[k][e] : empty;
    };

    bool joined[4] = {false, false, false, false};
    for (int first = 0; first < 4; ++first) {
        if (!times[first].valid || joined[first]) continue;
        bool member[4] = {false, false, false, false};
        for (int j = first; j < 4; ++j) {
            if (!joined[j] && times[j].valid && times[j].filetime == times[first].filetime) {
                member[j] = true;
                joined[j] = true;
            }
        }
        std::string flag_text = "....";
        std::string text;
        const bool described = !in.description.empty();
        for (int j = 0; j < 4; ++j) {
            if (member[j]) flag_text[static_cast<std::size_t>(j)] = kLetters[j];
            if (j < first) continue;  // the first member writes the leading dots
            if (!member[j]) {
                if (described) text += '.';
            } else if (!in.labels[j].empty()) {
                if (!text.empty()) text += "; ";
                text += in.labels[j];
            } else if (described) {
                if (j == first) text += in.description + " [" + std::string(static_cast<std::size_t>(j), '.');
                text += kLetters[j];
            }
        }
        std::string second;
        std::string third;
        for (std::size_t e = 0; e < events; ++e) {
            if (used[e] || !event_times[e].valid || event_times[e].filetime != times[first].filetime)
                continue;
            used[e] = 1;
            if (!event_text(0, e).empty()) {
                if (!text.empty()) text += "; ";
                text += event_text(0, e);
            }
            second += event_text(1, e);
            third += event_text(2, e);
        }
        if (described) text += "]";
        macb_output o;
        o.clear();
        o.kind = kind;
        o.filetime = in.times[first];
        o.event_time = times[first];
        o.macb = flag_text;
        o.type_text = text;
        o.source = second;
        o.filename = third;
        o.user_value = in.user_value;
        o.valid = 1;
        out.emplace(in.times[first], o);
    }
    for (std::size_t e = 0; e < events; ++e) {
        if (used[e]) continue;
        macb_output o;
        o.clear();
        o.kind = qm::type_filetime;
        o.filetime = in.event_times[e];
        o.event_time = event_times[e];
        o.macb = "..C.";
        o.type_text = event_text(0, e);
        o.source = event_text(1, e);
        o.filename = event_text(2, e);
        o.user_value = in.user_value;
        o.valid = event_times[e].valid ? 1 : 0;
        out.emplace(in.event_times[e], o);
    }
}
