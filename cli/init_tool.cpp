#include "cli/init_tool.hpp"

#include <ostream>

#include "masters/company_init.hpp"

namespace cli {

const char* const kInitUsage =
    "usage: planilla-cli init PROGDIR --company DATADIR [--demo]\n"
    "  Creates PROGDIR (or uses it when it exists without a path table) with the path table\n"
    "  VIA pointing at DATADIR, and DATADIR (which must not exist) with every company table,\n"
    "  the payroll templates, the company and parameter records, the periods 2010-2015 and\n"
    "  the payroll table of the current period. --demo fills it with a demo company.\n";

int run_init(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    masters::InitOptions opts;
    bool have_company = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kInitUsage;
            return 0;
        } else if (a == "--demo") {
            opts.demo = true;
        } else if (a == "--company" || a.rfind("--company=", 0) == 0) {
            if (have_company) {
                err << "planilla-cli init: --company given twice\n" << kInitUsage;
                return 2;
            }
            if (a == "--company") {
                if (i + 1 >= args.size()) {
                    err << "planilla-cli init: --company needs a directory\n" << kInitUsage;
                    return 2;
                }
                opts.data_dir = args[++i];
            } else {
                opts.data_dir = a.substr(10);
            }
            have_company = true;
        } else if (!a.empty() && a[0] == '-') {
            err << "planilla-cli init: unknown option " << a << "\n" << kInitUsage;
            return 2;
        } else if (opts.program_dir.empty()) {
            opts.program_dir = a;
        } else {
            err << "planilla-cli init: unexpected argument " << a << "\n" << kInitUsage;
            return 2;
        }
    }
    if (opts.program_dir.empty() || opts.data_dir.empty()) {
        err << "planilla-cli init: PROGDIR and --company DATADIR are required\n" << kInitUsage;
        return 2;
    }
    try {
        masters::InitResult r = masters::init_company(opts);
        out << "program directory " << r.program_dir << ": " << r.program_files.size() << " files\n"
            << "company directory " << r.data_dir << ": " << r.data_files.size() << " files, current period "
            << r.period << (opts.demo ? " (demo company)" : "") << "\n";
        return 0;
    } catch (const std::exception& e) {
        err << "planilla-cli init: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace cli
