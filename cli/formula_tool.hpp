#pragma once
// `planilla-cli formula`: check and evaluate a payroll formula from the command line.
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Runs the formula tool on its arguments (after "formula"):
//   check TEXT                       prints "ok" or the syntax error
//   eval TEXT [--set NAME=VALUE]...  [--today YYYYMMDD]  prints the result, full precision
// VALUE is a number, d:YYYYMMDD (d: alone is the empty date), t:text, .T. or .F., or
// a:N,N,... (an array for NAME[i]). Returns 0 on success, 1 when the formula fails,
// 2 on bad arguments.
int run_formula(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kFormulaUsage;

}  // namespace cli
