#pragma once
// Creation of a new installation: a program directory with the path table VIA pointing at
// a new company data directory, and that directory with every company table, the templates
// of the period payroll tables, the company and parameter records "01", the monthly
// periods and the payroll table of the company's current period.
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace masters {

struct InitOptions {
    std::string program_dir;
    std::string data_dir;
    bool demo = false;  // fill the tables with the demo company
    // Called after each stage ("data built", "program built", "data moved", "done"), for
    // progress; an exception thrown from it aborts the creation like any failure.
    std::function<void(std::string_view stage)> on_stage;
};

struct InitResult {
    std::string program_dir;  // absolute
    std::string data_dir;     // absolute, as stored in VIRUTA
    std::string period;       // current period of the company (YYYYMM)
    std::vector<std::string> data_files;     // files created in the data directory
    std::vector<std::string> program_files;  // files created in the program directory
};

// A directory that cannot be created: it exists already, its parent is missing, a name is
// too long for the path table, or writing failed. what() says which and why.
class InitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Checks first (the data directory must not exist; the program directory may exist but must
// not hold a path table yet), builds everything under temporary names next to the final
// directories and moves it into place at the end. When any step fails, whatever it had
// created is removed and InitError is thrown.
InitResult init_company(const InitOptions& opts);

// Current period written into a new company's record when it is not the demo company.
inline constexpr const char* kNewCompanyPeriod = "201101";

}  // namespace masters
