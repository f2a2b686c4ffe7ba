// planilla-cli: batch processes and data tools.
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/dbf_tool.hpp"

int main(int argc, char** argv) {
    CLI::App app{"planilla-cli: batch processes and data tools of planilla"};
    app.require_subcommand(1);
    auto* dbf = app.add_subcommand("dbf", "inspect and change DBF tables (info, dump, seek, check, create, append, "
                                          "replace, delete, recall, index, reindex, pack, zap)");
    dbf->allow_extras();
    dbf->prefix_command();
    dbf->set_help_flag();
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
    return 0;
}
