#include "cli/print_tool.hpp"

#include <ostream>

#include <fmt/format.h>

#include "common/decimal.hpp"
#include "common/picture.hpp"
#include "gui/print/text_grid.hpp"

// The PDF writer lives in the Qt backend; a build without Qt has only the text grids.
#if __has_include(<QtGui/QPdfWriter>)
#define PLANILLA_PRINT_PDF 1
#include "gui/qt/print_output.hpp"
#else
#define PLANILLA_PRINT_PDF 0
#endif

namespace cli {

namespace print = gui::print;

const char* const kPrintDemoUsage =
    "usage: planilla-cli print-demo OUT.pdf [--text]\n"
    "       planilla-cli print-demo --text\n"
    "Writes the sample pages (a listing of 130 rows in 3 groups with subtotals, page totals\n"
    "and a grand total; a page with two payslips) to OUT.pdf; --text prints their text grids.\n";

namespace {

// Report date of the samples: fixed, so that the output does not depend on the day.
const common::Date kDemoDate = common::date_from_ymd(2011, 5, 31);
const char* const kCompany = "EMPRESA DEMOSTRACION S.A.C.";

const char* const kSurnames[] = {"GARCIA", "RODRIGUEZ", "QUISPE", "FLORES", "SANCHEZ", "RAMIREZ", "TORRES",
                                 "MAMANI", "CHAVEZ",  "VASQUEZ",   "ROJAS",  "CASTILLO", "MENDOZA", "HUAMAN"};
const char* const kNames[] = {"JUAN CARLOS", "MARIA ELENA", "JOSE LUIS", "ROSA", "LUIS ALBERTO", "CARMEN",
                              "JORGE", "ANA LUCIA", "PEDRO", "SOFIA", "MIGUEL ANGEL", "NUÑEZ ÑAHUI"};
const char* const kJobs[] = {"ASISTENTE", "CONTADOR", "OPERARIO", "VENDEDOR", "SUPERVISOR", "CHOFER"};
const char* const kCentres[][2] = {{"ADM", "ADMINISTRACION"}, {"PRO", "PRODUCCION"}, {"VEN", "VENTAS"},
                                   {"LOG", "LOGISTICA"},      {"SIS", "SISTEMAS"}};

std::string centre_name(const std::string& code) {
    for (const auto& c : kCentres)
        if (code == c[0]) return c[1];
    return "C.Costo no Existe";
}

std::string dump_grids(const print::Job& job) {
    print::TextGrid grid = print::render_text(job);
    std::string out;
    for (size_t p = 0; p < grid.pages.size(); ++p) {
        out += fmt::format("---- {} pagina {} ----\n", job.caption(), p + 1);
        out += grid.page_text(p);
    }
    for (const auto& d : grid.diagnostics) out += describe(d) + "\n";
    return out;
}

}  // namespace

std::vector<DemoRow> demo_rows(size_t count, int groups) {
    if (groups < 1) groups = 1;
    std::vector<DemoRow> rows;
    rows.reserve(count);
    const size_t per = count / groups, extra = count % groups;
    size_t i = 0;
    for (int g = 0; g < groups; ++g) {
        size_t n = per + (static_cast<size_t>(g) < extra ? 1 : 0);
        std::string centre = g < 5 ? kCentres[g][0] : fmt::format("C{:02}", g);
        for (size_t k = 0; k < n; ++k, ++i) {
            DemoRow r;
            r.code = fmt::format("{:04}", (i + 1) % 10000);
            r.name = std::string(kSurnames[i % 14]) + " " + kSurnames[(i * 5 + 3) % 14] + " " + kNames[(i * 7) % 12];
            r.job = kJobs[i % 6];
            r.centre = centre;
            r.hired = common::add_days(common::date_from_ymd(1995, 1, 1), static_cast<int64_t>((i * 397) % 6000));
            // Half cents on every third row: the rows print rounded, the totals add raw values.
            r.salary = 850.0 + static_cast<double>((i * 137) % 4000) + (i % 3 == 0 ? 0.125 : 0.5);
            r.deductions = common::round_half_away(r.salary * 0.13, 3) - (i % 3 == 0 ? 0.0 : 0.005);
            rows.push_back(std::move(r));
        }
    }
    return rows;
}

print::Report demo_report(const DemoRow*& current) {
    print::Report rep("Planilla de Demostración");
    rep.set_fonts(print::DEFFONTS(8));
    rep.add_header(std::string(kCompany) + "  " + common::dtoc(kDemoDate));
    rep.add_title(" P L A N I L L A   D E   D E M O S T R A C I O N ");
    const DemoRow*& r = current;
    rep.add_column("Cod", [&r] { return print::Cell(r->code); }, 5);
    rep.add_column("N O M B R E S", [&r] { return print::Cell(r->name); }, 30);
    rep.add_column("Cargo", [&r] { return print::Cell(r->job); }, 12, "@!");
    rep.add_column("F.Ingr", [&r] { return print::Cell::date(r->hired); }, 11);
    print::Column salary;
    salary.titles = {"Remun.", "Basica"};
    salary.value = [&r] { return print::Cell(r->salary); };
    salary.width = 10;
    salary.picture = "@Z 999,999.99";
    salary.total = true;
    rep.add_column(salary);
    print::Column ded = salary;
    ded.titles = {"Dscto.", "AFP"};
    ded.value = [&r] { return print::Cell(r->deductions); };
    rep.add_column(ded);
    print::Column net = salary;
    net.titles = {"Neto a", "Pagar"};
    net.value = [&r] { return print::Cell(r->salary - r->deductions); };
    net.picture = "9,999,999.99";
    rep.add_column(net);
    print::Group g;
    g.key = [&r] { return r->centre; };
    g.header = [](const std::string& k) { return "C.Costo: " + k + "  " + centre_name(k); };
    g.footer = [](const std::string& k, int n) { return "Tot Cto.Cto. " + k + " (" + std::to_string(n) + ")"; };
    g.blank_line_before = true;
    rep.set_group(g);
    rep.set_page_totals();
    return rep;
}

print::Job demo_payslips() {
    print::Job job;
    job.set_caption("Boletas de Pago");
    job.set_columns(132);
    job.set_margin(-10);
    job.set_fonts(print::DEFFONTP(8));
    job.begin_page();
    struct Line {
        const char* desc;
        double amount;
        double ref;
    };
    const Line earnings[] = {{"Sueldo Basic", 2500.00, 30}, {"Asig.Famil.", 75.00, 0}, {"Hrs.Ext.25%", 93.75, 6},
                             {"Movilidad", 150.00, 0}};
    const Line deductions[] = {{"AFP Fondo", 281.88, 0}, {"AFP Seguro", 38.62, 0}, {"AFP Comis.", 50.46, 0},
                               {"Ret.5ta.Cat", 61.25, 0}, {"Adelanto", 500.00, 0}};
    const Line contributions[] = {{"EsSalud", 246.34, 0}, {"SCTR", 38.70, 0}};
    auto total = [](const auto& list) {
        double t = 0;
        for (const Line& l : list) t += l.amount;
        return t;
    };
    const double rem = total(earnings), dsc = total(deductions), apo = total(contributions);
    auto payslip = [&](int t) {
        auto label = [&](int row, int col, const std::string& s) { job.text(t + row, col, s, 1); };
        auto value = [&](int row, int col, const std::string& s) { job.text(t + row, col, s, 2); };
        const std::string date = common::dtoc(kDemoDate);
        job.box(t + 1, 10, t + 11, 129);
        label(2, 12, "Razón Social");
        label(2, 27, ":");
        value(2, 32, kCompany);
        label(4, 12, "RUC, Direccion");
        label(4, 27, ":");
        value(4, 32, "20123456789");
        value(4, 45, ", AV. LOS PINOS 123 Urb. SAN ISIDRO");
        label(5, 12, "Codigo, Nombres");
        label(5, 27, ":");
        value(5, 32, "0012");
        value(5, 37, ",GARCIA LOPEZ JUAN CARLOS");
        label(5, 79, "Cargo");
        label(5, 88, ":");
        value(5, 90, "CONTADOR");
        label(6, 12, "C.Costo ");
        label(6, 27, ":");
        value(6, 32, "ADMINISTRACION");
        label(6, 79, "F.Ing.");
        label(6, 88, ":");
        value(6, 90, "01/03/2005");
        label(7, 12, "Categoria ");
        label(7, 27, ":");
        value(7, 32, "TRABAJADOR");
        label(7, 79, "Periodo");
        label(7, 88, ":");
        value(7, 90, "May-2011=>Del 01/05/2011 al 31/05/2011");
        label(8, 12, "Reg.Pension.");
        label(8, 27, ":");
        value(8, 32, "INTEGRA");
        label(8, 46, "CUSSP");
        label(8, 58, ":");
        value(8, 61, "583621JGLPZ5");
        label(8, 79, "F.Emis");
        label(8, 88, ":");
        value(8, 90, date);
        label(8, 105, "DNI/CE ");
        label(8, 112, ":");
        value(8, 116, "40123456");
        label(9, 12, "Sueldo Basic");
        label(9, 27, ":");
        value(9, 28, common::transform(2500, "9999,999.99"));
        label(9, 79, "Dias Trab.");
        label(9, 92, ":");
        value(9, 96, common::transform(30, "999.99"));
        label(10, 12, "Dias Subs");
        label(10, 27, ":");
        value(10, 32, common::transform(0, "9999.99"));
        label(10, 44, "Dias N-Lab");
        label(10, 58, ":");
        value(10, 66, common::transform(0, "9999.99"));
        label(10, 79, "Hrs.Ext");
        label(10, 92, ":");
        value(10, 95, common::transform(6, "9999.99"));
        const int lefts[] = {10, 49, 89};
        for (int k = 0; k < 3; ++k) {
            int right = k < 2 ? lefts[k + 1] : 129;
            job.box(t + 11, lefts[k], t + 12, right);
            job.box(t + 12, lefts[k], t + 24, right);
            job.box(t + 24, lefts[k], t + 25, right);
        }
        label(11, 19, "I N G R E S O S");
        label(11, 52, "DESCUENTOS AL TRABAJADOR");
        label(11, 95, "APORTES DEL EMPLEADOR");
        auto concept_lines = [&](const auto& list, int desc_col, int amount_col, int ref_col) {
            int row = 12;
            for (const Line& l : list) {
                value(row, desc_col, l.desc);
                if (l.ref > 0) {
                    value(row, ref_col, common::transform(l.ref, "@Z 99999.99"));
                    job.text(t + row, ref_col + 10, "d", 3);
                }
                value(row, amount_col, common::transform(l.amount, "999,999.99"));
                ++row;
            }
        };
        concept_lines(earnings, 12, 36, 24);
        concept_lines(deductions, 50, 75, 63);
        concept_lines(contributions, 90, 115, 102);
        label(24, 11, "TOTALES");
        label(24, 34, common::transform(rem, "999,999.99"));
        label(24, 74, common::transform(dsc, "999,999.99"));
        label(24, 114, common::transform(apo, "999,999.99"));
        job.box(t + 25, 10, t + 26, 49);
        label(25, 11, "NETO A PAGAR");
        label(25, 34, common::transform(rem - dsc, "999,999.99"));
        value(25, 55, "Abono en cuenta de ahorros");
        const int sign = t + 23 + 7;
        job.hline(sign, 42, 92);
        job.hline(sign, 97, 127);
        const std::string company = kCompany;
        job.text(sign, 62 - static_cast<int>(company.size() / 2), company, 1);
        job.text(sign, 105, "TRABAJADOR", 1);
    };
    payslip(1);
    payslip(33);
    job.end_page();
    return job;
}

int run_print_demo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string pdf;
    bool text = false;
    for (const std::string& a : args) {
        if (a == "--text") {
            text = true;
        } else if (a == "--help" || a == "-h") {
            out << kPrintDemoUsage;
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            err << "print-demo: unknown option " << a << "\n" << kPrintDemoUsage;
            return 2;
        } else if (pdf.empty()) {
            pdf = a;
        } else {
            err << "print-demo: one output file only\n" << kPrintDemoUsage;
            return 2;
        }
    }
    if (pdf.empty() && !text) {
        err << kPrintDemoUsage;
        return 2;
    }
    std::vector<DemoRow> rows = demo_rows(130, 3);
    const DemoRow* current = nullptr;
    print::Job listing = demo_report(current).run(print::rows_of(rows, current));
    print::Job payslips = demo_payslips();
    if (text) out << dump_grids(listing) << dump_grids(payslips);
    if (pdf.empty()) return 0;
#if PLANILLA_PRINT_PDF
    std::string error;
    if (!gui::qt::write_pdf({&listing, &payslips}, pdf, &error)) {
        err << "print-demo: " << error << "\n";
        return 1;
    }
    return 0;
#else
    err << "print-demo: this build has no PDF output (built without Qt)\n";
    return 1;
#endif
}

}  // namespace cli
