// planilla-cli: batch processes and data tools.
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/dbf_tool.hpp"
#include "cli/formula_tool.hpp"
#include "cli/print_tool.hpp"
#include "cli/init_tool.hpp"
#include "cli/login_tool.hpp"
#include "cli/maint_tool.hpp"
#include "cli/words_tool.hpp"
#include "cli/xls_tool.hpp"

int main(int argc, char** argv) {
    CLI::App app{"planilla-cli: batch processes and data tools of planilla"};
    app.require_subcommand(1);
    // Each tool parses its own arguments (their order matters for some of them).
    auto tool = [&](const char* name, const char* help) {
        auto* sub = app.add_subcommand(name, help);
        sub->allow_extras();
        sub->prefix_command();
        sub->set_help_flag();
        return sub;
    };
    auto* dbf = tool("dbf", "inspect and change DBF tables (info, dump, seek, check, create, append, replace, delete, "
                            "recall, index, reindex, pack, zap)");
    auto* formula = tool("formula", "check or evaluate a payroll formula (check TEXT, eval TEXT [--set NAME=VALUE]...)");
    auto* init = tool("init", "create a program directory and a new company directory (init PROGDIR --company DATADIR [--demo])");
    auto* maint = tool("maint", "maintenance run of a company directory (maint --company DATADIR [--yes|--no] [--user U --password P])");
    auto* backup = tool("backup", "backup archive of a company directory (backup --company DATADIR [--out DIR] [--user U --password P])");
    auto* words = tool("words", "an amount in words (words AMOUNT)");
    auto* xls = tool("xls", "write a spreadsheet file from JSON lines (write OUT.xls < lines)");
    auto* print_demo = tool("print-demo", "write the sample print pages to a PDF file (print-demo OUT.pdf [--text])");
    app.footer(cli::kDbfUsage);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    if (dbf->parsed()) {
        std::vector<std::string> rest = dbf->remaining();
        if (rest.empty() || rest[0] == "--help" || rest[0] == "-h") {
            std::cout << cli::kDbfUsage;
            return rest.empty() ? 2 : 0;
        }
        return cli::run_dbf(rest, std::cin, std::cout, std::cerr);
    }
    if (formula->parsed()) return cli::run_formula(formula->remaining(), std::cout, std::cerr);
    if (init->parsed()) return cli::run_init(init->remaining(), std::cout, std::cerr);
    if (maint->parsed() || backup->parsed()) {
        // Both change or read a whole company: log in first, like the desktop program.
        std::vector<std::string> rest = maint->parsed() ? maint->remaining() : backup->remaining();
        bool help = !rest.empty() && (rest[0] == "--help" || rest[0] == "-h");
        cli::SessionCheck check = help ? cli::SessionCheck{} : cli::take_login(rest, maint->parsed() ? "maint" : "backup", std::cerr);
        return maint->parsed() ? cli::run_maint(rest, std::cout, std::cerr, check)
                               : cli::run_backup(rest, std::cout, std::cerr, check);
    }
    if (words->parsed()) return cli::run_words(words->remaining(), std::cout, std::cerr);
    if (xls->parsed()) return cli::run_xls(xls->remaining(), std::cin, std::cout, std::cerr);
    if (print_demo->parsed()) return cli::run_print_demo(print_demo->remaining(), std::cout, std::cerr);
    return 0;
}
