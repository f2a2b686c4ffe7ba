#pragma once
// `planilla-cli init PROGDIR --company DATADIR [--demo]`: creates a program directory with
// its path table and a new company data directory with every table.
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Runs the init tool on its arguments (after "init"). Returns 0 when everything was
// created, 2 for bad arguments, 1 when the directories could not be created (nothing is
// left behind then).
int run_init(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kInitUsage;

}  // namespace cli
