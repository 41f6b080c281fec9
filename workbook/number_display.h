#pragma once
// The text a spreadsheet shows for a number under a number format, with the
// Russian conventions the program is built for: decimal comma, "." as the
// date separator, Russian month and day names. Covers what the workbooks use
// ("0", "#######0.000", "dd/mm/yy", "Hh:mm", "mmmm yyyy", General) and plain
// variants of them (fixed decimals, grouping, percent, date and time parts).

#include <string>
#include <string_view>

namespace flovir {

// format is the number format string; empty or "General" shows the number
// as General does.
std::string DisplayNumber(double value, std::string_view format);

}  // namespace flovir
