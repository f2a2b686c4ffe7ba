// planilla-gui-demo: the Qt backend's screens on sample data. A main window whose menu opens
// a worker's record with every kind of control, the master-file list over a copy of a
// PERSONAL table, a permission dialog with 72 check boxes, the calendar and a search
// prompt. With --screenshot DIR each window is saved as a PNG right after it is shown and
// the program ends.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gui/browse.hpp"
#include "gui/dialog.hpp"
#include "gui/mainwin.hpp"
#include "gui/master_frame.hpp"
#include "gui/qt/calendar_dialog.hpp"
#include "gui/qt/demo/demo_screens.hpp"
#include "gui/qt/dialog_window.hpp"
#include "gui/qt/icons.hpp"
#include "gui/qt/main_frame.hpp"
#include "gui/qt/qt_text.hpp"
#include "gui/qt/qt_ui.hpp"
#include "xbase/table.hpp"

namespace {

namespace fs = std::filesystem;
using namespace gui;

// Simple pictures for the buttons, written where the icon lookup finds them, since the
// installation's bitmaps are not part of the sources.
void write_pictures(const QString& dir) {
    struct Pic {
        const char* name;
        QColor colour;
        const char* letter;
    };
    const Pic pics[] = {{"grabar", QColor(40, 120, 200), "G"},  {"salir", QColor(190, 50, 50), "X"},
                        {"nuevo", QColor(60, 160, 80), "+"},    {"modificar", QColor(220, 150, 30), "M"},
                        {"borrar", QColor(170, 40, 40), "-"},   {"buscar", QColor(90, 90, 160), "?"},
                        {"imprimir", QColor(80, 80, 80), "P"},  {"excel", QColor(30, 130, 60), "E"},
                        {"chimenea", QColor(120, 70, 40), "C"}, {"periodo", QColor(60, 110, 170), "P"},
                        {"calc", QColor(100, 100, 100), "="}};
    QDir().mkpath(dir);
    for (const Pic& p : pics) {
        QPixmap pm(32, 32);
        pm.fill(Qt::transparent);
        QPainter g(&pm);
        g.setRenderHint(QPainter::Antialiasing);
        g.setBrush(p.colour);
        g.setPen(Qt::NoPen);
        g.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
        g.setPen(Qt::white);
        QFont f = g.font();
        f.setBold(true);
        f.setPixelSize(18);
        g.setFont(f);
        g.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromLatin1(p.letter));
        g.end();
        pm.save(dir + "/" + p.name + ".png");
    }
}

void settle(int ms = 250) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Saves a window as it is on screen.
void save(QWidget* w, const QString& dir, const QString& name) {
    settle();
    QString path = dir + "/" + name + ".png";
    if (!w->grab().save(path)) std::fprintf(stderr, "no se pudo guardar %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

// In screenshot mode dialogs are shown, saved and closed instead of run.
class ScreenshotUi : public qt::QtUi {
public:
    ScreenshotUi(const Clock& clock, QString dir) : QtUi(clock), dir_(std::move(dir)) {}
    int run(Dialog& d) override {
        qt::DialogWindow w(d, clock(), nullptr, report_date());
        w.begin();
        w.show();
        save(&w, dir_, QString::fromStdString(d.name()).toLower());
        return 0;
    }

private:
    QString dir_;
};

DialogTemplate permissions_template() {
    static const char* labels[] = {
        "Empresas", "Bancos", "Personal", "Plan de Cuentas", "Centros de Costo", "A F P", "Conceptos",
        "Conceptos PDT", "Cargos", "", "", "", "Inic.Periodo", "Reg.Mov.Fijos", "Reg.Mov.Variab",
        "Reg.Mov.x trabaj", "Jornadas x Trab", "Subsidios", "Dias No Subs", "Adelantos Quincena", "Vacaciones",
        "Gratificaciones", "", "", "Calculo Planilla", "Boletas", "Planilla Oficial", "Previas", "Previas 2",
        "Planilla AFP", "Previsionales", "", "", "Revisa Planilla PDT", "", "", "Parametros 5ta ", "Registro 5ta",
        "Certificados", "", "Inicializa 4ta cat", "Personal 4ta", "Registra Recibos", "Revisa Recibos",
        "Transf al hist", "Revisión Hist", "Certific Hist", "", "Generar TXT PDT", "", "", "", "", "CTS-Periodos",
        "CTS-Parámetros", "CTS-Genera", "CTS-Cartas", "CTS-Asientos", "", "", "Parámetros", "Configura Reportes",
        "Contabilización", "", "Uti-Cambio Per/Emp", "Uti-Mantenim", "Uti-Seguiridad", "Uti-Usuarios",
        "Uti-Crear Empresa", "Uti-Desen-Clave", "", ""};
    DialogTemplate t("D_USER", "Accesos a Opciones de la Planilla");
    t.edit(104, "&Código", "@!", 5);
    t.password(105, "C&lave", 5);
    t.edit(106, "&Nombre", "@!", 60);
    for (int i = 0; i < 72; ++i) t.check(1000 + i, labels[i][0] ? labels[i] : std::to_string(i + 1));
    t.button(175, "&Grabar", "grabar", "Grabar el usuario");
    t.button(240, "&Cancelar", "salir", "Salir sin grabar").beside();
    return t;
}

void run_worker(Ui& ui, xbase::Table* personal, int page) {
    using namespace demo::ids;
    Dialog d(demo::worker_template());
    d.set_text(kName, "QUISPE MAMANI, ROSA");
    d.set_number(kYear, 2011);
    d.set_number(kSalary, 1850.5);
    d.set_date(kHired, common::date_from_ymd(2009, 3, 16));
    d.set_text(kPassword, "KARU");
    d.set_selected(kState, 1);
    d.set_selected(kSex, 2);
    d.set_text(kNotes, "Contrato a plazo indeterminado.\nAsignación familiar desde 2010.");
    if (personal) d.set_browse(kList, demo::employee_browse(*personal));
    d.set_selected(kFolder, page);
    d.on_valid(kYear, [&] {
        double y = d.number(kYear);
        if (d.escaping() || (y >= 2006 && y <= 2014)) return true;
        ui.alert("El año debe estar entre 2006 y 2014", "Revisar");
        return false;
    });
    d.when(kPassword, [&] { return d.text(kName).find_first_not_of(' ') != std::string::npos; });
    d.on_button(kSave, [&] {
        ui.notice("Registro grabado", "Grabar", 2);
        d.close(1);
    });
    d.on_button(kExit, [&] { d.close(0); });
    d.skip_validation(kExit);
    ui.run(d);
}

void run_personal(Ui& ui, xbase::Table& personal) {
    MasterScreen screen;
    screen.title = "Mantenimiento del Personal";
    screen.browse = demo::employee_browse(personal);
    screen.on_new = [&] { ui.alert("Nuevo registro", "Personal"); };
    screen.on_modify = [&] { ui.alert("Modificar el registro sombreado", "Personal"); };
    screen.on_delete = [&] { ui.ask("Atención:\n¿ Está seguro de querer borrar este Código ?", "Personal"); };
    screen.on_search = [&] {
        PromptSpec p;
        p.title = "Buscar por";
        p.label = "Codigo";
        p.picture = "@!";
        p.width = 4;
        p.image = "buscar";
        auto code = ui.prompt(p);
        if (code) personal.seek(*code, true);
    };
    screen.on_print = [&] { ui.alert("Impresión de la lista", "Personal"); };
    screen.on_spreadsheet = [&] { ui.alert("Hoja de cálculo", "Personal"); };
    run_master(ui, screen);
}

void run_permissions(Ui& ui) {
    Dialog d(permissions_template());
    d.set_text(104, "KARU");
    d.set_text(106, "USUARIO DEL SISTEMA");
    for (int i = 0; i < 72; ++i) d.set_checked(1000 + i, i % 3 != 2);
    d.on_button(175, [&] { d.close(1); });
    d.on_button(240, [&] { d.close(0); });
    d.skip_validation(240);
    ui.run(d);
}

void fill_window(MainWindow& w, Ui& ui, xbase::Table* personal, std::string& permissions) {
    w.title = "DEMO ** PLANILLA ** Ene / 2011 / Periodo : 201101";
    w.status = "Demostración de la interfaz";
    auto perm = [&permissions](size_t pos) {
        return [&permissions, pos] { return pos <= permissions.size() && permissions[pos - 1] == 'S'; };
    };
    MenuItem archivos;
    archivos.prompt = "&Archivos";
    MenuItem ficha{"&Ficha del trabajador", "Un registro con todos los tipos de campo", [&ui, personal] {
                       run_worker(ui, personal, 1);
                   }, {}, {}, false};
    MenuItem lista{"&Personal", "Mantenimiento del file de Personal", [&ui, personal] {
                       if (personal) run_personal(ui, *personal);
                   }, perm(3), {}, false};
    MenuItem usuarios{"&Usuarios de la Planilla", "Mantenimiento de usuarios de la Planilla",
                      [&ui] { run_permissions(ui); }, perm(68), {}, false};
    MenuItem calendario{"&Calendario", "Calendario", [&ui] {
                            common::Date d = qt::pick_date(common::kEmptyDate, common::kEmptyDate,
                                                           SystemClock().today(), "Calendario", nullptr);
                            if (d) ui.alert("Fecha elegida: " + common::dtoc(d), "Calendario");
                        }, {}, {}, false};
    MenuItem salir{"&Salir", "Finalizar el Sistema", [&ui, &w] {
                       if (ui.ask(" Desea terminar ?", "Finalizar el Sistema")) w.close();
                   }, {}, {}, false};
    archivos.children = {ficha, lista, MenuItem::separator_line(), usuarios, calendario,
                         MenuItem::separator_line(), salir};
    MenuItem procesos;
    procesos.prompt = "&Procesos";
    procesos.children = {{"&Cálculo de la Planilla", "Proceso del cálculo de la planilla", [] {}, perm(25), {}, false},
                         {"&Boletas de Pago", "Impresión de las boletas", [] {}, perm(26), {}, false}};
    w.menus = {archivos, procesos};
    w.tools = {{"CHIMENEA", "Cambio de Empresa", [] {}, {}},
               {"Periodo", "Cambio de Periodo", [] {}, perm(65)},
               {"calc", "Calculadora", [] {}, {}},
               {"salir", "Salir", [&w] { w.close(); }, {}}};
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("planilla-gui-demo");
    gui::qt::use_spanish();

    QString shots;
    std::string table = std::string(PLANILLA_FIXTURES) + "/xbase/PERSONAL";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--screenshot" && i + 1 < argc) shots = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--table" && i + 1 < argc) table = argv[++i];
        else {
            std::fprintf(stderr, "uso: planilla-gui-demo [--screenshot DIR] [--table PERSONAL]\n");
            return 2;
        }
    }

    // The list works on a copy: the browse moves the table, and the sample stays as it is.
    QTemporaryDir work;
    if (!work.isValid()) return 1;
    std::unique_ptr<xbase::Table> personal;
    try {
        fs::path src(table);
        for (const char* ext : {".dbf", ".cdx"})
            fs::copy_file(src.string() + ext, fs::path(work.path().toStdString()) / (src.filename().string() + ext));
        personal = xbase::Table::open(work.path().toStdString() + "/" + src.filename().string());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sin tabla de personal: %s\n", e.what());
    }
    write_pictures(work.path() + "/bitmaps");
    gui::qt::add_icon_dir(work.path() + "/bitmaps");

    gui::SystemClock clock;
    std::string permissions(254, 'S');
    permissions[24] = 'N';  // "Cálculo de la Planilla" shows disabled

    if (shots.isEmpty()) {
        gui::qt::QtUi ui(clock);
        gui::MainWindow w;
        fill_window(w, ui, personal.get(), permissions);
        w.on_close_request = [&ui] { return ui.ask(" Desea terminar ?", "Finalizar el Sistema"); };
        ui.run_main(w);
        return 0;
    }

    QDir().mkpath(shots);
    ScreenshotUi ui(clock, shots);
    {
        gui::MainWindow w;
        fill_window(w, ui, personal.get(), permissions);
        gui::qt::MainFrame frame(w, clock);
        frame.show();
        save(&frame, shots, "main_window");
        if (QMenu* m = frame.menu({"&Archivos"})) {
            m->popup(frame.mapToGlobal(QPoint(10, frame.menuBar()->height())));
            save(m, shots, "menu_archivos");
            m->hide();
        }
        if (QMenu* m = frame.menu({"&Procesos"})) {
            m->popup(frame.mapToGlobal(QPoint(90, frame.menuBar()->height())));
            save(m, shots, "menu_procesos");
            m->hide();
        }
    }
    run_worker(ui, personal.get(), 1);
    {
        // The same record on its second page, with the list.
        gui::Dialog d(gui::demo::worker_template());
        if (personal) d.set_browse(gui::demo::ids::kList, gui::demo::employee_browse(*personal));
        d.set_selected(gui::demo::ids::kFolder, 2);
        gui::qt::DialogWindow w(d, clock);
        w.begin();
        w.show();
        save(&w, shots, "d_demo_page2");
    }
    if (personal) run_personal(ui, *personal);
    run_permissions(ui);
    {
        gui::qt::CalendarDialog cal(common::date_from_ymd(2011, 3, 16), common::kEmptyDate, clock.today(),
                                    "Fecha de ingreso");
        cal.show();
        save(&cal, shots, "calendar");
    }
    {
        gui::DialogTemplate t("PROMPT", "Buscar por");
        t.edit(1, "Codigo", "@!", 4);
        t.button(2, "&Aceptar").button(3, "&Cancelar").beside();
        gui::Dialog d(t);
        gui::qt::DialogWindow w(d, clock);
        QString pic = gui::qt::icon_path("buscar");
        if (!pic.isEmpty()) w.set_caption_picture(1, QPixmap(pic));
        w.begin();
        w.show();
        save(&w, shots, "prompt");
    }
    return 0;
}
