#pragma once
// The standard master-file screen: template "Archivos" with a browse (181) over the table
// and the buttons new (170), modify (180), delete (260), search (200), print (210),
// spreadsheet (127) and exit (240); 171, 172, 128, 129 and 175 exist but start hidden.
// Double click or Enter modifies, Insert adds, Delete deletes. After new or modify the
// browse is refreshed and focused; after a delete it moves up one row. Each screen of the
// code tables plugs its record dialog, delete, search, print and export into it.
#include <functional>
#include <memory>
#include <string>

#include "gui/browse.hpp"
#include "gui/dialog.hpp"

namespace gui {

class Ui;

namespace master_ids {
inline constexpr int kBrowse = 181;
inline constexpr int kNew = 170;
inline constexpr int kModify = 180;
inline constexpr int kDelete = 260;
inline constexpr int kSearch = 200;
inline constexpr int kPrint = 210;
inline constexpr int kSpreadsheet = 127;
inline constexpr int kExit = 240;
}  // namespace master_ids

struct MasterScreen {
    std::string title;
    std::shared_ptr<Browse> browse;
    // Each callback works on the table's current record; an empty one hides its button
    // (the spreadsheet button where the screen has no export).
    std::function<void()> on_new;
    std::function<void()> on_modify;
    std::function<void()> on_delete;
    std::function<void()> on_search;
    std::function<void()> on_print;
    std::function<void()> on_spreadsheet;
    // Extra set-up of the dialog (more buttons, another title) before it is shown.
    std::function<void(Dialog&)> customise;
};

DialogTemplate master_template(const std::string& title);

// Runs the screen modally until exit (240 or Escape).
void run_master(Ui& ui, MasterScreen& screen);

}  // namespace gui
