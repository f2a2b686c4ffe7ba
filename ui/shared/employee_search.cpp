#include "ui/shared/employee_search.hpp"

#include <memory>

#include "app/session.hpp"
#include "common/picture.hpp"
#include "common/routines/lookups.hpp"
#include "common/routines/text.hpp"
#include "data/workspace.hpp"
#include "gui/browse.hpp"
#include "gui/ui.hpp"
#include "xbase/table.hpp"

namespace ui::shared {

namespace cr = common::routines;

namespace {

constexpr int kBrowseId = 181;
constexpr size_t kListWidth = 25;

bool passes(const xbase::Table& per, int level, int limit) {
    return level != kBelowLimit || cr::field_number(per, "PEACTIVI") < limit;
}

std::string state_text(const app::CodeLists& lists, double state) {
    int n = static_cast<int>(state);
    if (n >= 1 && n <= static_cast<int>(lists.ARRACTI.size())) return lists.ARRACTI[static_cast<size_t>(n) - 1];
    return std::to_string(n);
}

EmployeeMatch match_of(const xbase::Table& per, const app::CodeLists& lists) {
    EmployeeMatch m;
    m.code = cr::field_text(per, "PECODEMP");
    m.surnames = cr::left(cr::trim(cr::field_text(per, "PEAPELLI")) + " " + cr::trim(cr::field_text(per, "PEAPELL2")),
                          kListWidth);
    m.names = cr::left(cr::trim(cr::field_text(per, "PENOMBRE")) + " " + cr::trim(cr::field_text(per, "PENOMBR2")),
                       kListWidth);
    m.state = state_text(lists, cr::field_number(per, "PEACTIVI"));
    return m;
}

// The text as the search uses it: trimmed, and zero-filled to four digits when numeric.
std::string search_text(std::string_view typed, bool& numeric) {
    std::string t = cr::trim(typed);
    numeric = cr::all_digits(t);
    if (numeric) t = cr::pad_left(t, cr::kEmployeeCodeWidth, '0');
    return t;
}

// Remembers the caller's current area and its tag, and puts them back.
class CallerArea {
public:
    explicit CallerArea(data::Workspace& ws) : ws_(ws) {
        if (ws.has_current()) {
            alias_ = ws.current_alias();
            order_ = ws.area(alias_).order();
        }
    }
    ~CallerArea() {
        if (alias_.empty() || !ws_.is_open(alias_)) return;
        try {
            ws_.select(alias_);
            ws_.area(alias_).set_order(order_);
        } catch (...) {
            // A destructor must not throw; the area stays as it is.
        }
    }
    CallerArea(const CallerArea&) = delete;
    CallerArea& operator=(const CallerArea&) = delete;

private:
    data::Workspace& ws_;
    std::string alias_;
    int order_ = -1;
};

// Puts a taken employee (or none) into the session and the screen's fields.
void take(app::Session& s, data::Workspace& ws, gui::Dialog& d, const EmployeeField& field, const std::string& code) {
    s.GVARCLA = code;
    if (!code.empty() && cr::F_BUSCA(ws, "Per", 1, code)) {
        s.CPERINI = code;
        s.CNOMINI = cr::employee_name(ws.area("Per"));
    } else {
        s.CPERINI.clear();
        s.CNOMINI.clear();
    }
    if (field.code_id) d.set_text(field.code_id, s.CPERINI);
    if (field.name_id) d.set_text(field.name_id, s.CNOMINI);
}

// The match list; the code chosen, or "" when it was closed without a choice.
std::string choose(gui::Ui& ui, const std::vector<EmployeeMatch>& matches) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(matches.size());
    for (const auto& m : matches) rows.push_back({m.code, m.surnames, m.names, m.state});
    auto source = std::make_shared<gui::ArraySource>(std::move(rows));
    auto browse = std::make_shared<gui::Browse>(
        source, std::vector<gui::BrowseColumn>{source->column(0, "Codigo", 6), source->column(1, "Apellidos", 25),
                                               source->column(2, "Nombres", 25), source->column(3, "Actividad", 12)});
    gui::Dialog d(archi_bus_template());
    d.set_browse(kBrowseId, browse);
    std::string chosen;
    auto select = [&] {
        if (auto row = browse->selected()) chosen = matches.at(*row).code;
        d.close(chosen.empty() ? 0 : 1);
    };
    d.on_button(175, select);
    browse->on_enter(select);
    d.on_button(240, [&] { d.close(0); });
    d.on_init([&] { d.focus(kBrowseId); });
    ui.run(d);
    return chosen;
}

}  // namespace

AfterEmployee focus_to(int id) {
    return [id](gui::Dialog& d) { d.focus(id); };
}

std::vector<EmployeeMatch> match_employees(data::Workspace& ws, const app::CodeLists& lists, std::string_view text,
                                           int level, int limit) {
    bool numeric = false;
    const std::string wanted = search_text(text, numeric);
    const std::string upper = common::upper_utf8(wanted);
    std::vector<EmployeeMatch> out;
    if (wanted.empty()) return out;
    xbase::Table& per = ws.area("Per");
    per.set_order(0);
    for (per.go_top(); !per.eof(); per.skip()) {
        if (!passes(per, level, limit)) continue;
        bool hit = numeric ? cr::trim(cr::field_text(per, "PECODEMP")).rfind(wanted, 0) == 0
                           : cr::trim(cr::field_text(per, "PEAPELLI")).find(upper) != std::string::npos;
        if (hit) out.push_back(match_of(per, lists));
    }
    return out;
}

gui::DialogTemplate archi_bus_template() {
    gui::DialogTemplate t("Archi_Bus", "Registros de Personal seleccionados");
    t.browse(kBrowseId, 12);
    t.button(175, "&Selecciona", "aceptar", "Selecciona Codigo sombreado");
    t.button(240, "&Salir", "salir", "Salir de esta opción").beside();
    return t;
}

bool VBUSPER(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Dialog& d, const EmployeeField& field, int level,
             int limit) {
    const std::string typed = d.text(field.code_id);
    if (cr::is_blank(typed)) return true;
    CallerArea caller(ws);
    const data::Workspace::Saved per_before = ws.save("Per");

    bool numeric = false;
    const std::string text = search_text(typed, numeric);
    std::string code;
    if (numeric) {
        xbase::Table& per = ws.area("Per");
        per.set_order(0);
        if (per.seek(text, false) && passes(per, level, limit) && cr::field_text(per, "PECODEMP") == text)
            code = text;
    }
    if (code.empty()) {
        auto matches = match_employees(ws, s.lists, text, level, limit);
        if (!matches.empty()) code = choose(ui, matches);
    }

    take(s, ws, d, field, code);
    if (code.empty()) {
        ws.restore(per_before);
        return false;
    }
    if (field.next) field.next(d);
    return true;
}

void bind_employee_search(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Dialog& d, EmployeeField field,
                          int level, int limit) {
    d.on_valid(field.code_id, [&s, &ws, &ui, &d, field, level, limit] {
        if (d.escaping()) return true;
        return VBUSPER(s, ws, ui, d, field, level, limit);
    });
}

gui::DialogTemplate bus_tab_template() {
    gui::DialogTemplate t("D_BUS_TAB", "Registros de Personal");
    t.browse(kBrowseId, 16);
    t.button(176, "Buscar x Código", "buscar", "Búsq x Código ");
    t.button(177, "Buscar x Apellido paterno", "buscar", "Búsq x Apellido").beside();
    t.button(175, "&Selecciona", "aceptar", "Selecciona el Registro").beside();
    t.button(240, "&Salir", "salir", "Salir de esta opción").beside();
    return t;
}

bool BUSPER(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Dialog& d, const EmployeeField& field,
            int level) {
    CallerArea caller(ws);
    xbase::Table& per = ws.area("Per");
    ws.select("Per");
    per.set_order("PER1");
    if (level == kBelowLimit)
        ws.set_filter("Per", [](xbase::Table& t) { return cr::field_number(t, "PEACTIVI") < 7; });
    per.go_top();

    auto source = std::make_shared<gui::TableSource>(per);
    std::vector<gui::BrowseColumn> columns;
    columns.push_back({"Codigo", 6, gui::Align::Left, [&per] { return cr::field_text(per, "PECODEMP"); }});
    columns.push_back({"Apellidos", 25, gui::Align::Left, [&per, &s] { return match_of(per, s.lists).surnames; }});
    columns.push_back({"Nombres", 25, gui::Align::Left, [&per, &s] { return match_of(per, s.lists).names; }});
    columns.push_back({"Actividad", 12, gui::Align::Left, [&per, &s] { return match_of(per, s.lists).state; }});
    auto browse = std::make_shared<gui::Browse>(source, std::move(columns));

    gui::Dialog list(bus_tab_template());
    list.set_browse(kBrowseId, browse);
    bool taken = false;

    auto seek = [&](const char* label, int width, const char* tag, bool code) {
        gui::PromptSpec p;
        p.title = "Buscar por";
        p.label = label;
        p.width = width;
        p.picture = "@!";
        p.image = "buscar";
        auto typed = ui.prompt(p);
        if (!typed) return;
        std::string key = cr::rtrim(common::upper_utf8(*typed));
        if (code && cr::all_digits(cr::trim(key))) key = cr::pad_left(cr::trim(key), cr::kEmployeeCodeWidth, '0');
        per.set_order(tag);
        // Nearest match for this seek only; the setting every other seek relies on is untouched.
        per.seek(key, true);
        browse->reload();
        list.refresh(kBrowseId);
        list.focus(kBrowseId);
    };
    auto select = [&] {
        if (!browse->selected() || per.eof()) return;
        const std::string code = cr::field_text(per, "PECODEMP");
        s.GVARCLA = code;
        s.CPERINI = code;
        s.CNOMINI = cr::employee_name(per);
        if (field.code_id) d.set_text(field.code_id, s.CPERINI);
        if (field.name_id) d.set_text(field.name_id, s.CNOMINI);
        taken = true;
        list.close(1);
    };
    list.on_button(176, [&] { seek("Codigo", cr::kEmployeeCodeWidth, "PER1", true); });
    list.on_button(177, [&] { seek("Descripcion", 15, "PER2", false); });
    list.on_button(175, select);
    browse->on_enter(select);
    list.on_button(240, [&] {
        s.GVARCLA = std::string(10, ' ');
        list.close(0);
    });
    list.on_init([&] { list.focus(kBrowseId); });

    try {
        ui.run(list);
    } catch (...) {
        ws.clear_filter("Per");
        per.set_order("PER1");
        throw;
    }
    ws.clear_filter("Per");
    per.set_order("PER1");
    if (taken && field.next) field.next(d);
    return taken;
}

}  // namespace ui::shared
