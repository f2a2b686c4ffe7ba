#include "common/routines/picklists.hpp"

#include <stdexcept>

#include "common/routines/text.hpp"
#include "data/workspace.hpp"
#include "xbase/table.hpp"

namespace common::routines {

namespace {

// Walks `alias` from the top in `tag` and returns `first` (when not empty) followed by
// entry(table) for every record that passes `keep`.
template <class Entry, class Keep>
app::List fill(data::Workspace& ws, std::string_view alias, std::string_view tag, std::string first, Entry entry,
               Keep keep) {
    data::Workspace::Keep restore(ws, alias);
    xbase::Table& t = ws.area(alias);
    if (tag.empty())
        t.set_order(0);
    else
        t.set_order(tag);
    app::List out;
    if (!first.empty()) out.push_back(std::move(first));
    for (t.go_top(); !t.eof(); t.skip()) {
        if (keep(t)) out.push_back(entry(t));
    }
    return out;
}

auto all = [](xbase::Table&) { return true; };

std::string none_entry(size_t blanks, std::string_view text) {
    return std::string(blanks, ' ') + " " + std::string(text);
}

// code + " " + description, both as stored (padded).
auto code_and(const char* code, const char* descr) {
    return [code, descr](xbase::Table& t) { return field_text(t, code) + " " + field_text(t, descr); };
}

}  // namespace

app::List LLENAEMP(app::Session& s, data::Workspace& ws) {
    s.picks.ARREMP = fill(
        ws, "Emp", {}, {},
        [](xbase::Table& t) { return field_text(t, "EMCODIGO") + " " + left(field_text(t, "EMDESCRI"), 15); }, all);
    return s.picks.ARREMP;
}

app::List LLENAPLAN(app::Session& s, data::Workspace& ws) {
    s.picks.ARRPLAN = fill(ws, "Plan", {}, none_entry(10, "Sin Datos"), code_and("CUENTA", "NOMBRE"),
                           [](xbase::Table& t) { return field_number(t, "NIVEL") == 3; });
    return s.picks.ARRPLAN;
}

app::List LLENAPPAG(app::Session& s, data::Workspace& ws) {
    s.picks.ARRPPAG = fill(ws, "Ppg", {}, none_entry(6, "Sin Datos"), code_and("PPCODIGO", "PPDESCRI"), all);
    return s.picks.ARRPPAG;
}

app::List LLENABAN(app::Session& s, data::Workspace& ws) {
    s.picks.ARRBAN = fill(ws, "Ban", "BAN1", none_entry(3, "Sin Datos"), code_and("BCCODIGO", "BCDESBRE"), all);
    return s.picks.ARRBAN;
}

app::List LLENACTO(app::Session& s, data::Workspace& ws) {
    s.picks.ARRCTO = fill(ws, "Cto", {}, none_entry(10, "Sin Datos"), code_and("CTCODIGO", "CTDESCRI"), all);
    return s.picks.ARRCTO;
}

app::List LLENAAFP(app::Session& s, data::Workspace& ws) {
    s.picks.ARRAFP = fill(ws, "Afp", {}, none_entry(3, "Sin Datos"), code_and("AFCODIGO", "AFDESCRI"), all);
    return s.picks.ARRAFP;
}

app::List LLENACON(app::Session& s, data::Workspace& ws) {
    s.picks.ARRCON = fill(ws, "Con", {}, none_entry(3, "Sin Datos"), code_and("CPCODIGO", "CPDESCRI"), all);
    return s.picks.ARRCON;
}

app::List LLENAALIAS(data::Workspace& ws) {
    return fill(
        ws, "Con", {}, none_entry(8, "SIN ALIAS"), [](xbase::Table& t) { return field_text(t, "CPALIAS"); }, all);
}

app::List LLEALICOD(data::Workspace& ws) {
    return fill(
        ws, "Con", {}, none_entry(14, "SIN ALIAS"),
        [](xbase::Table& t) { return field_text(t, "CPALIAS") + "  [" + field_text(t, "CPCODIGO") + "]"; }, all);
}

void fill_pick_lists(app::Session& s, data::Workspace& ws) {
    LLENAPLAN(s, ws);
    LLENAPPAG(s, ws);
    LLENABAN(s, ws);
    LLENACTO(s, ws);
    LLENAAFP(s, ws);
    LLENACON(s, ws);
}

std::string leading_code(std::string_view entry, size_t width) {
    std::string head = left(entry, width);
    std::string_view rest = std::string_view(entry).substr(head.size());
    if (rest.empty() || rest.front() == ' ') return rtrim(head);
    size_t blank = entry.find(' ');
    return std::string(entry.substr(0, blank));
}

int entry_of(const app::List& list, std::string_view code) {
    const std::string wanted = rtrim(code);
    const size_t width = text_length(code);
    for (size_t i = 0; i < list.size(); ++i)
        if (leading_code(list[i], width) == wanted) return static_cast<int>(i) + 1;
    return 0;
}

int entry_or_first(const app::List& list, std::string_view code) {
    int i = entry_of(list, code);
    return i > 0 ? i : 1;
}

std::string code_of(const app::List& list, int position, size_t width) {
    if (position < 1 || static_cast<size_t>(position) > list.size()) return std::string(width, ' ');
    std::string code = leading_code(list[static_cast<size_t>(position) - 1], width);
    if (text_length(code) > width)
        throw std::length_error("pick-list code '" + code + "' does not fit a field of " + std::to_string(width) +
                                " characters");
    return pad_right(code, width);
}

}  // namespace common::routines
