#pragma once
// The main menu and tool bar: every entry with its prompt, status-bar message, the routine
// it runs (with its argument) and the permission position that enables it. Entries are
// data; the start-up hands each chosen entry to a dispatcher, which runs the routine or,
// for one not built yet, says so.
#include <functional>
#include <string>
#include <vector>

#include "gui/mainwin.hpp"

namespace app {

struct Session;

struct MenuRow {
    const char* menu;     // top-level menu prompt
    const char* submenu;  // sub-menu prompt, "" for a direct entry
    bool separator;
    const char* prompt;
    const char* message;
    const char* routine;  // routine names joined by "+" ("M_TRAB+M_INI+VALACTI"); "SALIR" ends
    const char* arg;      // the argument the routine receives ("BOLETAS ", "F", "1", ...)
    int permission;       // position of CPERMIS1 that must be "S"; 0 = always enabled
};

const std::vector<MenuRow>& menu_rows();

struct MenuCall {
    std::string routine;
    std::string arg;
    std::string prompt;   // as shown, without "&"
    std::string message;
    int permission = 0;
};
using Dispatch = std::function<void(const MenuCall&)>;

// The menu tree; conditions read s.CPERMIS1 each time they are evaluated.
std::vector<gui::MenuItem> BUILDMENU(const Session& s, Dispatch dispatch);

struct ToolRow {
    const char* image;
    const char* tooltip;
    const char* routine;
    const char* arg;
    int permission;
};
const std::vector<ToolRow>& tool_rows();
std::vector<gui::ToolButton> build_toolbar(const Session& s, Dispatch dispatch);

// XLOGO + " ** TALVORE PLANILLA  **  " + month (three letters) + " / " + year + " / Periodo : " + XPERPAG
std::string main_title(const Session& s);

}  // namespace app
