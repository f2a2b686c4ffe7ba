#pragma once
// The program's start-up and main window: the process-wide settings, the path table, the
// checks of the company's period and company tables (running the maintenance when an index
// is missing), the display parameters, the user seeding and the login, the opening of every
// company table under its alias (ABREFILES), the pick lists, the second period generation,
// the current period, and the main window with its menu and tool bar.
//
// The screens themselves (login, users, maintenance, ...) sit above this layer; the program
// hands them in as Screens, so the same sequence runs in the desktop program, in
// planilla-cli and in tests.
#include <functional>
#include <map>
#include <string>

#include "app/menu.hpp"
#include "app/session.hpp"

namespace data {
class Workspace;
}
namespace gui {
class Ui;
class Clock;
class Shell;
class MainWindow;
}  // namespace gui

namespace app {

struct Context {
    Session& s;
    data::Workspace& ws;
    gui::Ui& ui;
    const gui::Clock& clock;
    gui::Shell& shell;
};

struct Screens {
    // The login dialog (PIDEUSER): sets s.LPASE, s.CPERMIS1, s.TOPUSER.
    std::function<void(Context&, int mode, const std::string& title)> login;
    // Seeds the user table when it has no record at all.
    std::function<void(Context&)> seed_users;
    // The maintenance run (U_MANT).
    std::function<void(Context&)> maintenance;
    // Fills one pick list or all (LLENAEMP etc.); "ARREMP", "ARRPPAG" or "" for the rest.
    std::function<void(Context&, const std::string& list)> fill_picks;
    // Menu routines by name ("U_USER", "ZIPFILES", ...). A routine that is not here is
    // answered with "Opción en construcción".
    std::map<std::string, std::function<void(Context&, const MenuCall&)>> routines;
};

enum class StartResult {
    Ran,          // the main window was shown and closed
    Ended,        // a start-up check ended the program (its alert was shown)
    Maintenance,  // a missing index ran the maintenance; the next start goes on
    NotLoggedIn,  // the login was not accepted
};

// Runs the whole program on `s.RutaP` (set by the caller, with RutaW); returns when the
// main window closes or a check ends the program.
StartResult MAIN(Context& c, const Screens& screens);

// Opens the company tables of the start set under their aliases from s.RutaS, recreating
// the current period's payroll table from PLANPER (with the "Se regenera" alert) when its
// table or index is missing. Throws xbase::Error for a table that cannot be opened.
void ABREFILES(Context& c);

// The main window of a session, with the menu of BUILDMENU and the tool bar wired to the
// dispatcher below.
void build_main_window(Context& c, const Screens& screens, gui::MainWindow& w);

// Runs a menu or tool-bar routine: the routine of `screens`, the built-in ones (end the
// program, calculator, printer set-up) or the "Opción en construcción" alert.
void dispatch(Context& c, const Screens& screens, gui::MainWindow& w, const MenuCall& call);

// The directory of a path read from the path table: backslashes become the platform's
// separator; "" when it names a drive ("C:\...") that cannot exist here.
std::string path_from_via(std::string_view viruta);

// The display values of TBPARGEN: font size (positions 1-2, 7..12 else 8), the spreadsheet
// switch (position 3) and the listing orders (position 4).
void read_tbpargen(Session& s, std::string_view tbpargen);

// Case-insensitive existence of dir/name; returns the path as found, or "" when absent.
std::string find_file(const std::string& dir, std::string_view name);

}  // namespace app
