#pragma once
// `planilla-cli dbf`: inspect and change tables from the command line.
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Runs the dbf tool on its arguments (after "dbf"). Returns the process exit code:
// 0 success, 1 failure (or an inconsistent index for "check"), 2 bad arguments,
// 3 table held by another process, 4 damaged file.
int run_dbf(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

extern const char* const kDbfUsage;

}  // namespace cli
