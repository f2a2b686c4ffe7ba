#pragma once
// Record locking and appending with optional waiting, and what a screen or a batch pass does
// when a record cannot be had.
//
// Every write follows lock, assign fields, unlock; an insertion appends (which leaves the new
// blank record current and locked) and then locks. Both helpers try once; with a wait of w
// seconds they retry every half second while w lasts, then give up. They never wait without
// end: a record another workstation keeps locked must not freeze this one.
//
// A refused lock means the record is not written. A screen tells the user
// (lock_for_screen / append_for_screen); a batch pass skips the record, goes on and says at
// the end how many it skipped (SkipCounter).
#include <string>
#include <string_view>

namespace xbase {
class Table;
}
namespace data {
class Workspace;
}
namespace gui {
class Ui;
}

namespace common::routines {

// Locks the current record of `table`; false at end of file or when another workstation
// holds the record (or the whole file) and the wait ran out.
bool DBRLOCK1(xbase::Table& table, double wait = 0);
// Appends a blank record, current and locked; false when the table's header or the new
// record could not be locked in time.
bool DBAPPEND1(xbase::Table& table, double wait = 0);
// The same on the current work area (data::WorkspaceError when none is selected).
bool DBRLOCK1(data::Workspace& ws, double wait = 0);
bool DBAPPEND1(data::Workspace& ws, double wait = 0);

inline constexpr std::string_view kRecordBusyText = "Registro en uso por otro usuario, no se grabó";
inline constexpr std::string_view kRecordBusyTitle = "Revisar";

// For screens: DBRLOCK1 / DBAPPEND1 + DBRLOCK1, alerting kRecordBusyText when refused.
bool lock_for_screen(gui::Ui& ui, xbase::Table& table);
bool append_for_screen(gui::Ui& ui, xbase::Table& table);

// For batch passes: counts the records that could not be locked or appended, so that the
// pass can go on and report them once at the end.
class SkipCounter {
public:
    bool lock(xbase::Table& table);
    bool append(xbase::Table& table);  // appends and locks the new record
    void skip() { ++skipped_; }
    int skipped() const { return skipped_; }
    // The end-of-pass message, empty when nothing was skipped.
    std::string message() const;
    // Alerts message() with the process name as title; nothing when nothing was skipped.
    void report(gui::Ui& ui, std::string_view process) const;

private:
    int skipped_ = 0;
};

}  // namespace common::routines
