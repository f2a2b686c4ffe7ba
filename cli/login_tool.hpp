#pragma once
// The login of planilla-cli: subcommands that change data log in like the desktop program
// (--user / --password, or PLANILLA_USER / PLANILLA_PASSWORD) against the company's user
// table and need the same permission position as their menu entry.
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli/maint_tool.hpp"

namespace cli {

// Exit code of a refused login or a missing permission.
inline constexpr int kExitNotAllowed = 5;

// Takes --user X / --password Y (and the --user=X forms) out of `args`, so the tool does
// not see them, and returns the check that logs in and looks at the permission of
// `subcommand`.
SessionCheck take_login(std::vector<std::string>& args, std::string_view subcommand, std::ostream& err);

}  // namespace cli
