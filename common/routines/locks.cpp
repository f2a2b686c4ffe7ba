#include "common/routines/locks.hpp"

#include <chrono>
#include <thread>

#include "data/workspace.hpp"
#include "gui/ui.hpp"
#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace common::routines {

namespace {

// One try, then one more every half second while the wait lasts.
template <class Try>
bool with_retry(double wait, Try attempt) {
    if (attempt()) return true;
    while (wait > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        wait -= 0.5;
        if (attempt()) return true;
    }
    return false;
}

bool try_append(xbase::Table& t) {
    // Probe the number the new record will get: while another workstation holds the file
    // lock (or is appending that very record) the append could not lock it either, and the
    // probe says so without the engine's own wait. Not when this handle holds the file (or
    // has it exclusively): releasing the probe would then open a gap in its own lock.
    const uint32_t next = t.reccount() + 1;
    if (!t.is_locked(next)) {
        if (!t.lock_record(next, 0)) return false;
        t.unlock_record(next);
    }
    try {
        t.append_blank();
    } catch (const xbase::LockError&) {
        return false;
    }
    return true;
}

}  // namespace

bool DBRLOCK1(xbase::Table& table, double wait) {
    return with_retry(wait, [&] { return !table.eof() && table.lock_record(0, 0); });
}

bool DBAPPEND1(xbase::Table& table, double wait) {
    return with_retry(wait, [&] { return try_append(table); });
}

bool DBRLOCK1(data::Workspace& ws, double wait) { return DBRLOCK1(ws.current(), wait); }
bool DBAPPEND1(data::Workspace& ws, double wait) { return DBAPPEND1(ws.current(), wait); }

bool lock_for_screen(gui::Ui& ui, xbase::Table& table) {
    if (DBRLOCK1(table)) return true;
    ui.alert(kRecordBusyText, kRecordBusyTitle);
    return false;
}

bool append_for_screen(gui::Ui& ui, xbase::Table& table) {
    if (DBAPPEND1(table) && DBRLOCK1(table)) return true;
    ui.alert(kRecordBusyText, kRecordBusyTitle);
    return false;
}

bool SkipCounter::lock(xbase::Table& table) {
    if (DBRLOCK1(table)) return true;
    ++skipped_;
    return false;
}

bool SkipCounter::append(xbase::Table& table) {
    if (DBAPPEND1(table) && DBRLOCK1(table)) return true;
    ++skipped_;
    return false;
}

std::string SkipCounter::message() const {
    if (skipped_ == 0) return {};
    return "Registros no grabados por estar en uso por otro usuario : " + std::to_string(skipped_);
}

void SkipCounter::report(gui::Ui& ui, std::string_view process) const {
    if (skipped_ > 0) ui.alert(message(), process);
}

}  // namespace common::routines
