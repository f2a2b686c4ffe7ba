#include "common/routines/lookups.hpp"

#include <stdexcept>

#include "app/session.hpp"
#include "common/routines/text.hpp"
#include "data/workspace.hpp"
#include "gui/ui.hpp"
#include "xbase/table.hpp"

namespace common::routines {

namespace {

template <class SetTag>
bool find_in(data::Workspace& ws, std::string_view alias, SetTag set_tag, std::string_view key) {
    xbase::Table& target = ws.area(alias);  // throws when the alias is not open
    const std::string caller = ws.has_current() ? ws.current_alias() : std::string();
    const int caller_order = caller.empty() ? -1 : ws.area(caller).order();
    bool found = false;
    try {
        set_tag(target);
        found = ws.seek(alias, key, false);
    } catch (...) {
        if (!caller.empty()) {
            ws.select(caller);
            ws.area(caller).set_order(caller_order);
        }
        throw;
    }
    if (!caller.empty()) {
        ws.select(caller);
        // Only the tag: when the caller's own area was searched it stays on what was found.
        ws.area(caller).set_order(caller_order);
    }
    return found;
}

// The code padded to its field, so that the seek compares it whole; a code longer than the
// field cannot exist and seeks nothing.
bool find_code(data::Workspace& ws, std::string_view alias, std::string_view code, size_t width) {
    std::string c = rtrim(code);
    if (text_length(c) > width) return false;
    return F_BUSCA(ws, alias, 1, pad_right(c, width));
}

}  // namespace

bool F_BUSCA(data::Workspace& ws, std::string_view alias, std::string_view tag, std::string_view key) {
    return find_in(ws, alias, [&](xbase::Table& t) { t.set_order(tag); }, key);
}

bool F_BUSCA(data::Workspace& ws, std::string_view alias, int tag, std::string_view key) {
    return find_in(ws, alias, [&](xbase::Table& t) { t.set_order(tag - 1); }, key);
}

std::string BUSCACON(data::Workspace& ws, gui::Ui& ui, std::string_view code) {
    const std::string none(8, ' ');
    if (is_blank(code)) return none;
    if (!find_code(ws, "Con", code, kConceptCodeWidth)) {
        ui.alert("Concepto no Ubicado : " + std::string(code), "Revisar");
        return none;
    }
    return field_text(ws.area("Con"), "CPALIAS");
}

std::string BUSCACC(app::Session& s, data::Workspace& ws, int which, std::string_view code) {
    static const char* const areas[] = {"Cto", "Cto2", "Cto3"};
    if (which < 1 || which > 3)
        throw std::invalid_argument("cost-centre work area " + std::to_string(which) + " does not exist (1..3)");
    const char* alias = areas[which - 1];
    if (find_code(ws, alias, code, kCostCentreWidth))
        s.NOMCTO = trim(field_text(ws.area(alias), "CTDESCRI"));
    else
        s.NOMCTO = std::string(kNoCostCentre);
    return s.NOMCTO;
}

std::string UBIPERP(data::Workspace& ws, std::string_view code) {
    ws.clear_filter("Per");
    if (!find_code(ws, "Per", code, kEmployeeCodeWidth)) return std::string(30, ' ');
    return employee_name(ws.area("Per"));
}

std::string employee_name(std::string_view surname1, std::string_view surname2, std::string_view name1,
                          std::string_view name2) {
    std::string n = trim(surname1) + " " + trim(surname2) + " " + trim(name1) + " " + trim(name2);
    return left(n, kEmployeeNameWidth);
}

std::string employee_name(const xbase::Table& per) {
    return employee_name(field_text(per, "PEAPELLI"), field_text(per, "PEAPELL2"), field_text(per, "PENOMBRE"),
                         field_text(per, "PENOMBR2"));
}

}  // namespace common::routines
