#pragma once
// `planilla-cli print-demo`: the sample pages of the print layer — a banded listing with
// groups, subtotals, page totals and a grand total, and a fixed-position payslip page with
// boxes — written to a PDF file or shown as text grids. Support staff use it to check a
// workstation's PDF output and fonts; the tests and the benchmark use its pieces.
#include <iosfwd>
#include <string>
#include <vector>

#include "common/dates.hpp"
#include "gui/print/page.hpp"
#include "gui/print/report.hpp"

namespace cli {

struct DemoRow {
    std::string code;    // four digits
    std::string name;    // surnames and names
    std::string job;
    std::string centre;  // cost-centre code, the group key
    common::Date hired = common::kEmptyDate;
    double salary = 0;
    double deductions = 0;
};

// `count` rows spread over `groups` cost centres in key order (group sizes differ by at
// most one), with amounts that carry half cents so that totals exercise the rounding.
std::vector<DemoRow> demo_rows(size_t count, int groups);

// The sample listing over rows of demo_rows(); the columns read `*current`.
gui::print::Report demo_report(const DemoRow*& current);

// The fixed-position sample: one page with two payslips (boxes, lines, labels and values).
gui::print::Job demo_payslips();

// Runs the tool on its arguments (after "print-demo"):
//   print-demo OUT.pdf [--text]    the 130-row listing in 3 groups and the payslip page
//   print-demo --text              only the text grids, to standard output
// Returns 0 on success, 1 when the PDF cannot be written, 2 on bad arguments.
int run_print_demo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kPrintDemoUsage;

}  // namespace cli
