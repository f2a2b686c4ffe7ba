#include "app/startup.hpp"

#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "common/text.hpp"
#include "common/words.hpp"
#include "data/catalogue.hpp"
#include "data/workspace.hpp"
#include "gui/mainwin.hpp"
#include "gui/ui.hpp"
#include "masters/periods.hpp"
#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace app {

namespace {

using common::trim;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return out;
}

std::string text(xbase::Table& t, std::string_view field) {
    int i = t.field_index(field);
    return i < 0 ? std::string{} : t.get_text(i);
}

double number(xbase::Table& t, std::string_view field) {
    int i = t.field_index(field);
    return i < 0 ? 0.0 : t.get_number(i);
}

std::string join(const std::string& dir, std::string_view name) { return (fs::path(dir) / name).string(); }

// Copies a template's files (DBF, CDX and FPT when present) to a new base name.
void copy_template(const std::string& dir, std::string_view from, std::string_view to) {
    for (const char* ext : {".DBF", ".CDX", ".FPT"}) {
        std::string src = find_file(dir, std::string(from) + ext);
        if (src.empty()) continue;
        std::string dst = join(dir, std::string(to) + ext);
        std::string tmp = dst + ".tmp";
        fs::copy_file(src, tmp, fs::copy_options::overwrite_existing);
        fs::rename(tmp, dst);
    }
}

}  // namespace

std::string find_file(const std::string& dir, std::string_view name) {
    std::error_code ec;
    fs::path exact = fs::path(dir) / name;
    if (fs::is_regular_file(exact, ec)) return exact.string();
    std::string want = upper(name);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (upper(it->path().filename().string()) == want && it->is_regular_file(ec)) return it->path().string();
    }
    return {};
}

std::string path_from_via(std::string_view viruta) {
    std::string p = trim(viruta);
    // A drive letter names a Windows disk that has no counterpart here.
    if (p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) return {};
    for (char& ch : p)
        if (ch == '\\') ch = '/';
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

void read_tbpargen(Session& s, std::string_view tb) {
    std::string digits(tb.substr(0, std::min<size_t>(2, tb.size())));
    int size = 0;
    bool numeric = !trim(digits).empty();
    for (char ch : trim(digits)) numeric = numeric && ch >= '0' && ch <= '9';
    if (numeric) size = std::stoi(trim(digits));
    s.NNUMFONT = size < 7 || size > 12 ? 8 : size;
    char p3 = tb.size() > 2 ? tb[2] : ' ';
    s.CSWEXC = p3 != '0';
    char p4 = tb.size() > 3 ? tb[3] : ' ';
    if (p4 == '0') {
        s.XCORDEN = 2;
        s.YCORDEN = 3;
    } else {
        s.XCORDEN = 6;
        s.YCORDEN = 6;
    }
}

void ABREFILES(Context& c) {
    Session& s = c.s;
    s.set_period_names();
    if (find_file(s.RutaS, s.FPLANPE).empty()) {
        c.ui.alert("Archivo Rem " + join(s.RutaS, s.FPLANPE) + " No Existe", "Se regenera");
        if (!find_file(s.RutaS, "PLANPER.DBF").empty()) copy_template(s.RutaS, "PLANPER", s.DPLANPE);
    } else if (find_file(s.RutaS, s.IPLANPE).empty()) {
        // Only the index is gone: the month's payroll rows stay, and its tags are built
        // again, instead of copying the empty template over them.
        c.ui.alert("Archivo Rem " + join(s.RutaS, s.IPLANPE) + " No Existe", "Se regenera");
        xbase::Table& t = c.ws.open("PlanPer", s.RutaS, s.DPLANPE, data::OpenMode::Exclusive);
        for (const auto& tag : data::payroll_tags(data::kClassRemuneraciones)) t.create_tag(tag);
        c.ws.close("PlanPer");
    }
    for (const auto& e : data::abrefiles_tables(s.XPERPAG)) c.ws.open(e.alias, s.RutaS, e.base, data::OpenMode::Shared);
}

namespace {

void close_all(Context& c) { c.ws.close_all(); }

void fill(Context& c, const Screens& screens, const std::string& list) {
    if (screens.fill_picks) screens.fill_picks(c, list);
}

// Steps 6-8: the period table and the company table with their indexes.
StartResult check_company_dir(Context& c, const Screens& screens) {
    Session& s = c.s;
    if (find_file(s.RutaS, "PerPag.dbf").empty()) {
        c.ui.alert("Revisar :" + join(s.RutaS, "PerPag.dbf"), "Directorio o Archivos no existen");
        return StartResult::Ended;
    }
    if (find_file(s.RutaS, "PerPag.CDX").empty()) {
        if (screens.maintenance) screens.maintenance(c);
        return StartResult::Maintenance;
    }
    {
        xbase::Table& ppg = c.ws.open("Ppg", s.RutaS, "PERPAG", data::OpenMode::Shared);
        masters::regenerate_periods(ppg);
        c.ws.close("Ppg");
    }
    if (find_file(s.RutaS, "EMPRESA.DBF").empty()) {
        c.ui.alert("Directorio no Existe ====>>> ( " + s.RutaS + " )", "Revisar las RUTAS del archivo VIA");
        return StartResult::Ended;
    }
    if (find_file(s.RutaS, "Empresa.cdx").empty()) {
        c.ui.alert("Generar Indices e ingresar nuevamente", "No Existen Indices ");
        if (screens.maintenance) screens.maintenance(c);
        return StartResult::Maintenance;
    }
    return StartResult::Ran;
}

// Steps 2-4: the path table and the company directory it names.
bool open_via(Context& c) {
    Session& s = c.s;
    if (find_file(s.RutaP, "Via.Dbf").empty()) {
        close_all(c);
        c.ui.alert("Archivos Via no existen", "Revisar");
        return false;
    }
    if (find_file(s.RutaP, "Via.CDX").empty()) {
        xbase::Table& via = c.ws.open("Via", s.RutaP, "VIA", data::OpenMode::Exclusive);
        via.pack();
        via.create_tag(xbase::TagSpec("vicodigo", "VICODIGO"));
        c.ws.close("Via");
    }
    xbase::Table& via = c.ws.open("Via", s.RutaP, "VIA", data::OpenMode::Shared);
    via.set_order(0);
    via.go_top();
    std::string raw = via.eof() ? std::string{} : text(via, "VIRUTA");
    s.CVICODIGO = via.eof() ? std::string{} : text(via, "VICODIGO");
    s.RutaS = path_from_via(raw);
    if (s.RutaS.empty()) {
        c.ui.alert("Directorio no Existe ====>>> ( " + trim(raw) + " )", "Revisar las RUTAS del archivo VIA");
        close_all(c);
        return false;
    }
    c.ws.close("Via");
    return true;
}

void set_month_values(Session& s) {
    s.XMESANO = std::string(common::MESANO(s.XMESPRO));
    s.GANOMES = fmt::format("{:04}{:02}", s.XANOPRO, s.XMESPRO);
}

// Steps 13-18, after the login: company, period, the tables under their aliases, the pick
// lists, the second period generation and the current period's values.
void open_session(Context& c, const Screens& screens) {
    Session& s = c.s;
    xbase::Table& emp = c.ws.area("Emp");
    std::string first = s.picks.ARREMP.empty() ? std::string("01") : s.picks.ARREMP.front().substr(0, 2);
    emp.set_order(0);
    if (emp.seek(first)) {
        s.CODEMP = text(emp, "EMCODIGO");
        std::string per = trim(text(emp, "EMPERPAG"));
        if (per.empty()) {
            per = "201101";
            int f = emp.field_index("EMPERPAG");
            if (f >= 0 && emp.lock_record()) {
                emp.put_text(f, per);
                emp.commit();
                emp.unlock_record();
            }
        }
        s.XPERPAG = per;
    }
    s.set_period_names();

    close_all(c);
    data::settings().exclusive_default = false;
    ABREFILES(c);
    {
        xbase::Table& via = c.ws.open("Via", s.RutaP, "VIA", data::OpenMode::Shared);
        via.go_top();
    }
    fill(c, screens, "");

    xbase::Table& e = c.ws.area("Emp");
    e.set_order(0);
    if (e.seek(s.CODEMP)) {
        s.XLOGO = text(e, "EMDESBRE");
        s.XEMPRESA = text(e, "EMDESCRI");
        s.XDIRECC = text(e, "EMDIRECC");
        int fd = e.field_index("EMFECREP");
        s.CFECREP = fd < 0 ? common::kEmptyDate : e.get_date(fd);
        s.XREGUNI = text(e, "EMREGUNI");
        s.CEMPRESTA = number(e, "EMPRESTA");
    }
    s.XUSER = "KARU";
    s.XCLAPLA = 1;

    // The second generation wants the period table to itself. Another workstation that is
    // already running holds it open; the periods were generated at step 6 already, so the
    // start goes on with them rather than locking that workstation out.
    try {
        masters::A_PPGGEN(c.ws, s.RutaS);
    } catch (const xbase::BusyError&) {
        if (!c.ws.is_open("Ppg")) c.ws.open("Ppg", s.RutaS, "PERPAG", data::OpenMode::Shared);
    }
    fill(c, screens, "ARRPPAG");

    xbase::Table& ppg = c.ws.area("Ppg");
    ppg.set_order(0);
    if (!s.XPERPAG.empty() && ppg.seek(s.XPERPAG)) {
        s.XMESPRO = static_cast<int>(number(ppg, "PPMESPRO"));
        s.XANOPRO = static_cast<int>(number(ppg, "PPANOPRO"));
        s.XSEMANA = static_cast<int>(number(ppg, "PPSEMANA"));
        s.XSEMMES = static_cast<int>(number(ppg, "PPSEMMES"));
    } else {
        s.XMESPRO = 1;
        s.XANOPRO = common::year_of(c.clock.today());
        s.XSEMANA = 1;
        s.XSEMMES = 1;
        c.ui.alert("Período de Pago en File de Empresa, mal especificado", "Revisar");
    }
    set_month_values(s);
}

}  // namespace

StartResult MAIN(Context& c, const Screens& screens) {
    Session& s = c.s;
    data::apply_start_settings();
    if (s.RutaW.empty()) s.RutaW = trim(s.RutaP);

    if (!open_via(c)) return StartResult::Ended;
    StartResult checked = check_company_dir(c, screens);
    if (checked != StartResult::Ran) {
        close_all(c);
        return checked;
    }

    {
        xbase::Table& tablas = c.ws.open("Tablas", s.RutaS, "TABLAS", data::OpenMode::Shared);
        tablas.go_top();
        read_tbpargen(s, tablas.eof() ? std::string{} : text(tablas, "TBPARGEN"));
        c.ws.close("Tablas");
    }

    c.ws.open("Emp", s.RutaS, "EMPRESA", data::OpenMode::Shared);
    xbase::Table& user = c.ws.open("user", s.RutaS, "USUARIOS", data::OpenMode::Shared);
    if (user.reccount() == 0 && screens.seed_users) screens.seed_users(c);

    fill(c, screens, "ARREMP");
    xbase::Table& emp = c.ws.area("Emp");
    emp.set_order(0);
    if (!emp.seek("01")) {
        c.ui.alert("Error en Configuración", "Llamar a a su Proveedor");
        close_all(c);
        return StartResult::Ended;
    }

    if (screens.login) screens.login(c, 1, "Planilla");
    if (!s.LPASE) {
        close_all(c);
        return StartResult::NotLoggedIn;
    }

    open_session(c, screens);

    gui::MainWindow w;
    build_main_window(c, screens, w);
    c.ui.run_main(w);
    data::settings().exclusive_default = true;
    close_all(c);
    data::settings().exclusive_default = false;
    return StartResult::Ran;
}

void build_main_window(Context& c, const Screens& screens, gui::MainWindow& w) {
    Session& s = c.s;
    w.title = main_title(s);
    w.status = "TALVORE/BROVEK";
    w.background_colour = "#008080";
    std::string pic = find_file(s.RutaW, "planilla.JPG");
    w.background_image = pic;
    Dispatch d = [&c, &screens, &w](const MenuCall& call) { dispatch(c, screens, w, call); };
    w.menus = BUILDMENU(s, d);
    w.tools = build_toolbar(s, d);
}

void dispatch(Context& c, const Screens& screens, gui::MainWindow& w, const MenuCall& call) {
    const std::string& r = call.routine;
    if (r == "SALIR") {
        if (c.ui.ask(" Desea terminar ?", "Finalizar el Sistema")) w.close();
        return;
    }
    if (r == "CLOSE") {
        w.close();
        return;
    }
    if (r == "CALC") {
        c.shell.open_with("calc", {});
        return;
    }
    if (r == "PRINTER_SETUP") {
        c.ui.printer_setup();
        return;
    }
    auto it = screens.routines.find(r);
    if (it == screens.routines.end()) {
        c.ui.alert("Opción en construcción", call.prompt);
        return;
    }
    try {
        it->second(c, call);
    } catch (const xbase::Error& e) {
        // A failure ends the option with its message; the main window stays.
        c.ui.alert(e.what(), "Revisar");
    }
    // The maintenance and the backup end the program, so the next start reopens everything.
    if (r == "U_MANT" || r == "ZIPFILES") w.close();
    w.set_title(main_title(c.s));
}

}  // namespace app
