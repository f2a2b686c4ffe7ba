// planilla-cli: batch processes and data tools.
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/dbf_tool.hpp"
#include "cli/formula_tool.hpp"
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
    auto* words = tool("words", "an amount in words (words AMOUNT)");
    auto* xls = tool("xls", "write a spreadsheet file from JSON lines (write OUT.xls < lines)");
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
    if (words->parsed()) return cli::run_words(words->remaining(), std::cout, std::cerr);
    if (xls->parsed()) return cli::run_xls(xls->remaining(), std::cin, std::cout, std::cerr);
    return 0;
}
