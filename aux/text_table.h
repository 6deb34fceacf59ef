// A table of texts (column names and rows) printed through the delimited row model, with the options'
// header template, separator and quoting.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "io/cmd_params.h"
#include "notifications/row_render.h"

// Writes the header line and every row. The options' header template gets one field per name (a field
// without text takes the name and its length as width, without type text, without flags 128); columns
// are as wide as their longest text (cut to `cap` when it is not 0, and marked to cut their texts with
// cap_flag), unless the options ask for no whitespace. Each text is set through its header field with the
// two callbacks. A row with fewer texts than names gets empty cells. False for no names or no rows.
bool write_text_table(std::ostream& out, const std::vector<std::string>& names,
                      const std::vector<std::vector<std::string>>& rows, cmd_params& options,
                      std::uint32_t cap, bool cap_flag, variant_text_callback first,
                      variant_text_callback second);
