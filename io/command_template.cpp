#include "io/command_template.h"

#include <cstdint>

#include "common/formatters.h"
#include "common/split_join.h"
#include "common/text_ops.h"
#include "io/file_utils.h"

namespace {

const std::string kCmdOpen = "<!cmd>";
const std::string kCmdClose = "</!cmd>";
const std::string kArgOpen = "<!arg=";
const std::string kArgClose = "</!arg>";

// Cuts every marked argument out of `body`, appending its name and value to `command`. Each pass cuts
// one argument and the body shrinks, so the scan ends. False when an unclosed argument dropped the
// command's last string.
bool take_arguments(std::string& body, std::vector<std::string>& command) {
    for (;;) {
        const std::size_t open = body.find(kArgOpen);
        if (open == std::string::npos) return true;
        const std::size_t after_tag = open + kArgOpen.size();
        const std::size_t close = body.find(kArgClose, after_tag);
        if (close == std::string::npos) {
            command.pop_back();
            return false;
        }
        const std::size_t gt = body.find('>', after_tag);
        // The '>' of "</!arg>" itself, or any later one, does not end the name: the argument then has none.
        if (gt != std::string::npos && gt < close) {
            std::string name = body.substr(after_tag, gt - after_tag);
            remove_char(name, '"');
            remove_char(name, '\'');
            command.push_back(name);
            command.push_back(body.substr(gt + 1, close - gt - 1));
        }
        body.erase(open, close + kArgClose.size() - open);
    }
}

void take_words(const std::string& body, std::vector<std::string>& command) {
    std::vector<std::string> words;
    split_quoted_fields(body, ' ', words, true, false);
    for (std::string& w : words) {
        remove_char(w, '"');
        command.push_back(w);
    }
}

}  // namespace

bool parse_command_template(std::vector<std::vector<std::string>>& commands, const std::string& path,
                            bool keep_newlines) {
    commands.clear();
    if (path.empty()) return false;
    std::string text;
    if (!read_file_to_string(text, path, UINT32_MAX)) return false;
    if (!keep_newlines) replace_char(text, '\n', ' ', false);
    remove_char(text, '\r');
    remove_char(text, '\t');

    std::size_t from = 0;
    for (;;) {
        const std::size_t open = text.find(kCmdOpen, from);
        if (open == std::string::npos) break;
        const std::size_t body_start = open + kCmdOpen.size();
        const std::size_t close = text.find(kCmdClose, body_start);
        if (close == std::string::npos) break;
        std::string body = text.substr(body_start, close - body_start);
        std::vector<std::string> command{body};
        const bool raw_kept = take_arguments(body, command);
        take_words(body, command);
        if (raw_kept && command.size() == 1) command.clear();
        commands.push_back(command);
        from = body_start;
    }
    return !commands.empty();
}
