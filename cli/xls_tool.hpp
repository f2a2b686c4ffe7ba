#pragma once
// `planilla-cli xls`: write a spreadsheet file from JSON lines (support staff reproduce a
// customer's sheet with it; tests use it too).
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Runs the xls tool on its arguments (after "xls"):
//   write OUT.xls     < JSON lines
// Lines that register styles come before the first cell:
//   {"font":[face,size,bold,italic,underline,strike]}   {"format":"0.00"}
// then, in any order:
//   {"row":R,"col":C,"value":V}  optional "type" (number, text, date, bool, blank, formula),
//       "formula", "font", "format", "align", "border", "hidden", "locked", "shaded"
//       (dates as "YYYYMMDD", "" for the empty date; a formula's "value" is its cached value)
//   {"colwidth":[first,last,width]}   {"rowheight":[row,points]}   {"note":[row,col,text]}
//   {"set":{"NAME":number,...}}  program values for the formulas that follow
//   {"hbreaks":[rows...]}  {"vbreaks":[columns...]}  {"display":{}}  {"printer":{}}
// Returns 0 on success, 1 when the writer fails (the file is not left behind), 2 on bad
// arguments or input.
int run_xls(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

extern const char* const kXlsUsage;

}  // namespace cli
