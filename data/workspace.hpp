#pragma once
// Work areas: tables open under case-insensitive aliases, one of them current, with
// relations from a parent area to child areas, filters, and the process-wide table
// settings every screen relies on.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/catalogue.hpp"
#include "xbase/error.hpp"
#include "xbase/keyexpr.hpp"
#include "xbase/table.hpp"

namespace data {

// ---- Process-wide settings ------------------------------------------------------------------

struct TableSettings {
    bool deleted_hidden = true;  // records marked deleted are skipped by every read
    bool soft_seek = false;      // a seek that finds nothing leaves the area at end of file
    bool exact = false;          // text comparison over the length of the right-hand side
    bool exclusive_default = false;  // the open mode used when a caller does not choose one
};

// The settings in force for the process; apply_start_settings() puts back the values the
// program starts with (deleted hidden, soft seek off, exact off, shared opens).
TableSettings& settings();
void apply_start_settings();

// Text comparison under the exact setting: with exact off, `a` is compared only over the
// length of `b` (an empty `b` matches everything); with exact on, both are compared whole
// ignoring trailing blanks. full_equal compares whole values whatever the setting (`==`).
bool text_equal(std::string_view a, std::string_view b);
bool full_equal(std::string_view a, std::string_view b);

// Message and title shown when an exclusive open is refused because another workstation
// has the table open.
inline constexpr std::string_view kBusyText = "Archivo Planilla usado por otros usuario";
inline constexpr std::string_view kBusyTitle = "Otros Usuarios salgan del Sistema KERDAVO...";

// An exclusive open refused because others have the table open. what() is kBusyText.
class TableBusy : public xbase::BusyError {
public:
    explicit TableBusy(std::string path);
    const std::string& path() const { return path_; }
    std::string_view title() const { return kBusyTitle; }

private:
    std::string path_;
};

// Misuse of work areas: unknown alias, alias already in use, nothing selected.
class WorkspaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Paths --------------------------------------------------------------------------------

// True for a plain file name of at most eight characters (letters, digits, '_', '-') with an
// optional extension of one to three letters or digits: no directory parts, no "..".
bool is_plain_file_name(std::string_view name);
// Joins a directory and a file name built from codes or typed by a user; throws
// std::invalid_argument when the name is not a plain file name.
std::string checked_join(std::string_view dir, std::string_view name);

// ---- Work areas ---------------------------------------------------------------------------

enum class OpenMode { Default, Shared, Exclusive };

class Workspace {
public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Opens `dir`/`base` under `alias` in a new work area, which becomes the current one,
    // with tag 1 as the controlling order (physical order when the table has no tags) and
    // deleted records hidden as the settings say. An alias already in use is an error.
    // An exclusive open refused because others have the table open throws TableBusy.
    xbase::Table& open(std::string_view alias, const std::string& dir, std::string_view base,
                       OpenMode mode = OpenMode::Default);
    // Opens a catalogue table under its own alias.
    xbase::Table& open(const TableDef& def, const std::string& dir, OpenMode mode = OpenMode::Default);
    void close(std::string_view alias);  // no-op when the alias is not open
    void close_all();

    bool is_open(std::string_view alias) const;
    xbase::Table& area(std::string_view alias);  // throws WorkspaceError when not open
    xbase::Table* find(std::string_view alias);
    std::vector<std::string> aliases() const;  // in opening order, as given when opened

    // Current work area.
    void select(std::string_view alias);
    bool has_current() const;
    xbase::Table& current();  // throws WorkspaceError when none
    const std::string& current_alias() const;  // empty when none

    // Controlling tag by name or by number (1 = first tag, 0 = physical order).
    void set_order(std::string_view alias, std::string_view tag);
    void set_order(std::string_view alias, int number);
    int order_number(std::string_view alias);  // 1-based, 0 = physical order

    // Navigation that keeps related child areas in step.
    void go_top(std::string_view alias);
    void go_bottom(std::string_view alias);
    void skip(std::string_view alias, long n = 1);
    void go_to(std::string_view alias, uint32_t recno);
    // Seeks in the controlling tag with the process-wide soft-seek setting (or `soft` when
    // given) and moves related children.
    bool seek(std::string_view alias, std::string_view key, std::optional<bool> soft = std::nullopt);

    // Relations: when the parent moves (through the calls above, or sync()), every child
    // seeks, in its controlling tag, the key expression evaluated on the parent's record.
    // The expression is compiled against the parent's fields (throws xbase::ExprError).
    void set_relation(std::string_view parent, std::string_view child, std::string_view key_expr);
    void clear_relations(std::string_view parent);
    void sync(std::string_view parent);

    // Filters: records that fail the condition are skipped by navigation. The text form is
    // an expression over the table's fields in the key-expression language (for example
    // "PEACTIVI = 1"); an empty text removes the filter.
    void set_filter(std::string_view alias, std::string_view condition);
    void set_filter(std::string_view alias, std::function<bool(xbase::Table&)> condition);
    void clear_filter(std::string_view alias);

    // Saved position of an area: its order and record, and which area was current.
    struct Saved {
        std::string current;  // current alias when saved
        std::string alias;    // the area whose position was saved
        int order = -1;
        uint32_t recno = 0;
        bool eof = false;
    };
    Saved save(std::string_view alias) const;
    // Restores what save() remembered; areas closed meanwhile are left alone.
    void restore(const Saved& s);

    // Remembers the current area and, for `alias`, its order and record; restores them when
    // it goes out of scope.
    class Keep {
    public:
        Keep(Workspace& ws, std::string_view alias);
        ~Keep();
        Keep(const Keep&) = delete;
        Keep& operator=(const Keep&) = delete;

    private:
        Workspace& ws_;
        Saved saved_;
    };

private:
    struct Area;
    Area* find_area(std::string_view alias);
    const Area* find_area(std::string_view alias) const;
    Area& need(std::string_view alias);
    std::vector<std::unique_ptr<Area>> areas_;
    std::string current_;
};

// Opens every company table of the start set under its alias, shared, from `dir`, the
// period payroll table being "H1" + `period`. Stops at the first table that cannot be
// opened (the error names it); what was opened stays open.
void open_company_tables(Workspace& ws, const std::string& dir, std::string_view period);

}  // namespace data
