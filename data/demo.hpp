#pragma once
// The demo company: an invented employer in Lima with its banks, cost centres, accounts,
// pension funds, electronic-return code tables, concepts and some twenty-five employees.
// Used by `planilla-cli init --demo` and by tests that need a believable company.
#include <string>
#include <string_view>

namespace data::demo {

// Current period of the demo company.
inline constexpr std::string_view kPeriod = "201105";

// Fills the company tables of `dir`, created empty except for the company record "01" and
// the parameter record "01", which get the demo company's identity and parameters. The
// tables are opened exclusively. Does not create the period payroll table.
void fill(const std::string& dir);

// Creates the demo's payroll table "H1" + kPeriod in `dir`: the fixed columns, one column
// per demo concept in code order, its tags, and one row per active employee with salary,
// days and the other entered data of the month.
void create_payroll(const std::string& dir);

}  // namespace data::demo
