#pragma once
// `planilla-cli maint --company DATADIR [--yes|--no]`: the maintenance run of a company
// directory. `planilla-cli backup --company DATADIR [--out DIR]`: its backup archive.
// Both run the desktop program's processes on the console backend: alerts go to stderr and
// the confirmation of the maintenance is answered by --yes / --no (without either it is
// refused and nothing is done).
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/session.hpp"
#include "gui/headless.hpp"

namespace cli {

// Runs before the process with the session already pointing at the company directory: the
// place for a login or a permission check. Returns 0 to go on, or the exit code to end with.
using SessionCheck = std::function<int(app::Session&, gui::Ui&)>;

// Exit codes: 0 done, 1 the process failed (busy table, unreadable files, ...), 2 bad
// arguments, 3 the confirmation was declined (--no) or refused (neither --yes nor --no).
int run_maint(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const SessionCheck& check = {});
// --out defaults to the current directory (the program's working directory).
int run_backup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const SessionCheck& check = {});

// The processes on a session the caller has built (and logged in).
int maint_session(app::Session& s, gui::ConsoleUi& ui, std::ostream& out);
int backup_session(app::Session& s, gui::ConsoleUi& ui, const std::string& out_dir, std::ostream& out);

extern const char* const kMaintUsage;
extern const char* const kBackupUsage;

}  // namespace cli
