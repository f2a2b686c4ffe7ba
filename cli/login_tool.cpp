#include "cli/login_tool.hpp"

#include <optional>
#include <ostream>

#include "app/users.hpp"
#include "data/workspace.hpp"

namespace cli {

namespace {

// Removes "--name VALUE" or "--name=VALUE" from args; the value when present.
std::optional<std::string> take(std::vector<std::string>& args, const std::string& name) {
    std::optional<std::string> value;
    for (size_t i = 0; i < args.size();) {
        if (args[i] == name && i + 1 < args.size()) {
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        } else if (args[i].rfind(name + "=", 0) == 0) {
            value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    return value;
}

}  // namespace

SessionCheck take_login(std::vector<std::string>& args, std::string_view subcommand, std::ostream& err) {
    std::optional<std::string> user = take(args, "--user");
    std::optional<std::string> password = take(args, "--password");
    std::string sub(subcommand);
    return [user, password, sub, &err](app::Session& s, gui::Ui&) -> int {
        app::CliCredentials cred = app::cli_credentials(user, password);
        data::Workspace ws;
        app::CliLoginResult r;
        try {
            r = app::cli_login(s, ws, cred.user, cred.password);
        } catch (const std::exception& e) {
            err << "planilla-cli " << sub << ": no se pudo leer la tabla de usuarios: " << e.what() << '\n';
            return 1;
        }
        if (!r.ok) {
            err << "planilla-cli " << sub << ": " << (r.title.empty() ? "" : r.title + ": ") << r.message << '\n';
            return kExitNotAllowed;
        }
        if (!app::cli_allowed(s, sub)) {
            err << "planilla-cli " << sub << ": el usuario " << cred.user << " no tiene la opción "
                << app::cli_permission(sub) << " (" << sub << ")\n";
            return kExitNotAllowed;
        }
        return 0;
    };
}

}  // namespace cli
