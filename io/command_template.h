// Reader of command-template files: each command stands between "<!cmd>" and "</!cmd>", and inside it
// named arguments stand as "<!arg=" name ">" value "</!arg>".
#pragma once

#include <string>
#include <vector>

// Reads the template file at `path` into `commands` (emptied first). Each command is: its raw text as it
// stood between the tags, then the name and value of each marked argument, then the words of what is left
// once those arguments are cut out (split at blanks, double-quoted runs kept together, double quotes
// removed). A command that has neither an argument nor a word is kept as an empty command. Unless
// keep_newlines, line feeds count as blanks; CR and TAB are removed. An "<!arg=" without its "</!arg>"
// drops the command's last string and ends that command's argument scan; a '>' that lies at or past the
// closing "</!arg>" is not the end of the name, so such an argument is cut out without a name or value.
// A "<!cmd>" without "</!cmd>" ends the reading; the commands before it stay. True when at least one
// command was read; false for an empty path, an unreadable or empty file, or no complete command.
bool parse_command_template(std::vector<std::vector<std::string>>& commands, const std::string& path,
                            bool keep_newlines);
