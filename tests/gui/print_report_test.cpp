// The banded report engine through the text grid: a listing over a table in tag order with
// groups, subtotals, page totals, page breaks and the grand total; totals on raw values;
// the choice of orientation and font for wide reports; spacing and page-per-group.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include "cli/print_tool.hpp"
#include "common/decimal.hpp"
#include "common/picture.hpp"
#include "gui/print/report.hpp"
#include "gui/print/text_grid.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;
using namespace gui::print;

namespace {

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Characters [from, from + n) of a UTF-8 line (n < 0: to the end).
std::string chars(const std::string& s, size_t from, long n = -1) {
    auto at = [&](size_t k) {
        size_t i = 0;
        for (size_t c = 0; c < k && i < s.size(); ++c) {
            ++i;
            while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
        }
        return i;
    };
    size_t a = at(from);
    return n < 0 ? s.substr(a) : s.substr(a, at(from + n) - a);
}

struct TempDir {
    fs::path dir;
    TempDir() {
        char tmpl[] = "/tmp/planilla-print-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(dir); }
};

// 130 employees in 3 cost centres, appended in shuffled order; tag 1 orders them by cost
// centre and code, which is the order the listing must follow.
std::unique_ptr<xbase::Table> fixture_table(const fs::path& dir, std::vector<cli::DemoRow>& rows) {
    rows = cli::demo_rows(130, 3);
    auto t = xbase::Table::create((dir / "LISTA.dbf").string(),
                                  {{"CODIGO", 'C', 4, 0},
                                   {"NOMBRE", 'C', 30, 0},
                                   {"CARGO", 'C', 12, 0},
                                   {"CTOCTO", 'C', 3, 0},
                                   {"FECING", 'D', 8, 0},
                                   {"SUELDO", 'N', 12, 3},
                                   {"DSCTO", 'N', 12, 3}},
                                  {{"LISTA1", "CTOCTO+CODIGO"}});
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (size_t i : order) {
        const cli::DemoRow& r = rows[i];
        t->append_blank();
        t->put_text(0, r.code);
        t->put_text(1, r.name);
        t->put_text(2, r.job);
        t->put_text(3, r.centre);
        t->put_date(4, r.hired);
        t->put_number(5, r.salary);
        t->put_number(6, r.deductions);
    }
    t->commit();
    t->set_order("LISTA1");
    return t;
}

struct Printed {
    int page;
    int line;
    std::string text;
};

}  // namespace

TEST(PrintReport, GroupedListingOverATableInTagOrder) {
    TempDir tmp;
    std::vector<cli::DemoRow> rows;
    auto table = fixture_table(tmp.dir, rows);
    xbase::Table& t = *table;

    Report rep("Listado");
    rep.set_fonts(DEFFONTS(8));
    rep.add_header("EMPRESA DE PRUEBA  31/05/2011");
    rep.add_title("L I S T A D O");
    rep.add_column("Cod", [&t] { return Cell(t.get_text(0)); }, 5);
    rep.add_column("N O M B R E S", [&t] { return Cell(t.get_text(1)); }, 30);
    rep.add_column("F.Ingr", [&t] { return Cell::date(t.get_date(4)); }, 11);
    Column sueldo;
    sueldo.titles = {"Remun.", "Basica"};
    sueldo.value = [&t] { return Cell(t.get_number(5)); };
    sueldo.width = 10;
    sueldo.picture = "@Z 999,999.99";
    sueldo.total = true;
    rep.add_column(sueldo);
    Column dscto = sueldo;
    dscto.titles = {"Dscto."};
    dscto.value = [&t] { return Cell(t.get_number(6)); };
    rep.add_column(dscto);
    Group g;
    g.key = [&t] { return t.get_text(3); };
    g.header = [](const std::string& k) { return "C.Costo: " + k; };
    g.footer = [](const std::string& k, int n) { return "Tot Cto.Cto. " + k + " (" + std::to_string(n) + ")"; };
    g.blank_line_before = true;
    rep.set_group(g);
    rep.set_page_totals();
    int logos = 0, lines = 0, starts = 0, ends = 0;
    rep.on_page_start([&](Job& job, const PageStart& ps) {
        ++logos;
        job.image(ps.line, 0, 3, 8, "/no/such/LOGO.BMP");
    });
    rep.on_line([&](Job&, int) { ++lines; });
    rep.on_group_start([&](Job&, const std::string&) { ++starts; });
    rep.on_group_end([&](Job&, const std::string&, int) { ++ends; });

    Job job = rep.run(rows_of(t));
    TextGrid grid = render_text(job);
    for (const auto& d : grid.diagnostics) ADD_FAILURE() << describe(d);
    EXPECT_EQ(job.orientation(), Orientation::Portrait);
    EXPECT_EQ(job.caption(), "Listado");
    EXPECT_EQ(lines, 130);
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(ends, 3);
    EXPECT_EQ(logos, static_cast<int>(job.page_count()));

    std::map<std::string, const cli::DemoRow*> by_code;
    for (const auto& r : rows) by_code[r.code] = &r;
    auto money = [](double v) { return common::transform(v, "@Z 999,999.99"); };

    // Walk the printed lines: every page has its headings and footer, the detail rows come in
    // tag order with nothing lost, and each totals line shows the sums of the raw values.
    const std::regex detail(R"(^(\d{4})  .*)");
    std::vector<std::string> codes;
    std::map<std::string, std::pair<double, double>> centre_sums;
    double page_sal = 0, page_ded = 0, all_sal = 0, all_ded = 0;
    std::string centre;
    int group_count = 0;
    const int pages = static_cast<int>(grid.pages.size());
    EXPECT_EQ(pages, 3);
    for (int p = 0; p < pages; ++p) {
        const auto& L = grid.pages[p];
        EXPECT_EQ(rtrim(L[0]), std::string(20, ' ') + "EMPRESA DE PRUEBA  31/05/2011") << "page " << p + 1;
        EXPECT_EQ(rtrim(L[3]).substr(0, 20), "Cod   N O M B R E S ");
        EXPECT_EQ(rtrim(L[4]), std::string(53, ' ') + "Basica");
        EXPECT_EQ(rtrim(L[65]), std::string(29, ' ') + "Pagina :   " + std::to_string(p + 1));
        int page_total_line = -1;
        for (int l = 5; l < 64; ++l) {
            std::string s = rtrim(L[l]);
            std::smatch m;
            if (std::regex_match(s, m, detail)) {
                const cli::DemoRow& r = *by_code.at(m[1]);
                EXPECT_EQ(r.centre, centre) << s;
                EXPECT_EQ(chars(s, 49, 10), money(r.salary));
                codes.push_back(m[1]);
                page_sal += r.salary;
                page_ded += r.deductions;
                centre_sums[centre].first += r.salary;
                centre_sums[centre].second += r.deductions;
                all_sal += r.salary;
                all_ded += r.deductions;
                ++group_count;
            } else if (s.rfind("C.Costo: ", 0) == 0) {
                if (l > 5) {
                    EXPECT_EQ(rtrim(L[l - 1]), "") << "blank line before the group, page " << p + 1;
                }
                centre = s.substr(9);
                group_count = 0;
            } else if (s.rfind("Tot Cto.Cto. ", 0) == 0) {
                EXPECT_EQ(s.substr(0, 21), "Tot Cto.Cto. " + centre + " (" + std::to_string(group_count) + ")");
                EXPECT_EQ(s.substr(49), money(centre_sums[centre].first) + " " + money(centre_sums[centre].second));
            } else if (s.rfind("Total Pagina..", 0) == 0) {
                EXPECT_EQ(s.substr(49), money(page_sal) + " " + money(page_ded)) << "page " << p + 1;
                page_total_line = l;
                page_sal = page_ded = 0;
            } else if (s.rfind("Tot Final.. (", 0) == 0) {
                EXPECT_EQ(s, "Tot Final.. (   130 )" + std::string(28, ' ') + money(all_sal) + " " + money(all_ded));
                EXPECT_EQ(p, pages - 1);
            } else {
                EXPECT_EQ(s, "") << "page " << p + 1 << " line " << l;
            }
        }
        // A page is closed only when the next block does not fit: full up to the page-total
        // line at 63 (66 lines, footer, a blank line, the page totals), give or take the
        // group header that must not be left alone at the bottom.
        ASSERT_GE(page_total_line, 0) << "page " << p + 1;
        if (p < pages - 1) {
            EXPECT_GE(page_total_line, 61) << "page " << p + 1;
        }
    }
    ASSERT_EQ(codes.size(), 130u);
    for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(codes[i], rows[i].code);

    // Rules above and below the column titles on every page, across the table.
    for (const Page& pg : job.pages()) {
        int rules = 0;
        for (const Item& it : pg.items())
            if (it.kind == ItemKind::Line && it.column == 0 && it.column2 == 70 && (it.line == 3 || it.line == 5)) ++rules;
        EXPECT_EQ(rules, 2);
    }
}

// The first lines of a page, right-trimmed and joined: what the report printed at the top.
std::string top_lines(const TextGrid& g, size_t page, int n) {
    std::string out;
    for (int l = 0; l < n; ++l) out += rtrim(g.pages.at(page).at(l)) + "\n";
    return out;
}

// Totals add the raw values and round once: three rows of 0.004 print 0.00 each and total
// 0.01; two rows of 1.005 print 1.01 each and total 2.01, not the 2.02 of the printed figures.
TEST(PrintReport, TotalsAreSumsOfRawValuesRoundedOnce) {
    std::vector<double> values = {0.004, 0.004, 0.004};
    const double* cur = nullptr;
    Report rep;
    rep.clear_footers();
    rep.add_column("Monto", [&cur] { return Cell(*cur); }, 10, "999,999.99", true);
    rep.set_grand_total_label([](int n) { return "N=" + std::to_string(n); });
    // The label does not end before the first totalled column: it takes a line of its own.
    EXPECT_EQ(top_lines(render_text(rep.run(rows_of(values, cur))), 0, 6),
              "     Monto\n      0.00\n      0.00\n      0.00\nN=3\n      0.01\n");
    values = {1.005, 1.005};
    EXPECT_EQ(top_lines(render_text(rep.run(rows_of(values, cur))), 0, 5),
              "     Monto\n      1.01\n      1.01\nN=2\n      2.01\n");
}

TEST(PrintReport, WideReportsTurnTheirPageThenShrinkTheirFont) {
    struct Case {
        int columns;
        Orientation orientation;
        int size;
        bool error;
    } cases[] = {
        {100, Orientation::Portrait, 8, false},   // 538 pt / 4.8 pt = 112 cells
        {132, Orientation::Landscape, 8, false},  // 785 pt / 4.8 pt = 163 cells
        {200, Orientation::Landscape, 6, false},  // 7 pt gives 186 cells, 6 pt 218
        {232, Orientation::Landscape, 5, false},
        {400, Orientation::Landscape, 0, true},
    };
    for (const Case& c : cases) {
        std::vector<int> one = {1};
        const int* cur = nullptr;
        Report rep;
        rep.set_fonts(DEFFONTP(8));
        rep.add_column("Ancho", [&cur] { return Cell(*cur); }, c.columns, "9");
        if (c.error) {
            EXPECT_THROW(rep.run(rows_of(one, cur)), ReportError) << c.columns;
            continue;
        }
        Job job = rep.run(rows_of(one, cur));
        EXPECT_EQ(job.columns(), c.columns);
        EXPECT_EQ(job.orientation(), c.orientation) << c.columns;
        EXPECT_EQ(job.fonts().size, c.size) << c.columns;
        EXPECT_TRUE(job.fonts().printer);
    }
    // A width fixed by the report never cuts a column: it is an error.
    std::vector<int> one = {1};
    const int* cur = nullptr;
    Report rep;
    rep.add_column("A", [&cur] { return Cell(*cur); }, 30);
    rep.add_column("B", [&cur] { return Cell(*cur); }, 30);
    rep.set_width(50);
    EXPECT_THROW(rep.run(rows_of(one, cur)), ReportError);
    // A picture wider than the declared width widens the column instead of losing digits.
    Report narrow;
    narrow.add_column("X", [] { return Cell(1.5); }, 2, "@Z 9.99");
    narrow.add_column("Y", [] { return Cell("abcdef"); }, 3);
    narrow.clear_footers();
    narrow.set_grand_total(false);
    Job job = narrow.run(rows_of(one, cur));
    EXPECT_EQ(top_lines(render_text(job), 0, 2), "   X Y\n1.50 abc\n");
}

TEST(PrintReport, DoubleSpacingPagePerGroupAndAnEmptySource) {
    struct Row {
        std::string key;
        int n;
    };
    std::vector<Row> rows = {{"A", 1}, {"A", 2}, {"B", 3}};
    const Row* cur = nullptr;
    Report rep;
    rep.add_column("N", [&cur] { return Cell(cur->n); }, 3, "999", true);
    Group g;
    g.key = [&cur] { return cur->key; };
    g.header = [](const std::string& k) { return "Grupo " + k; };
    g.new_page = true;
    rep.set_group(g);
    rep.set_double_spacing(true);
    Job job = rep.run(rows_of(rows, cur));
    TextGrid grid = render_text(job);
    ASSERT_EQ(grid.pages.size(), 2u);
    // An empty line before every detail line but the first of a page; the second group on
    // a page of its own.
    EXPECT_EQ(top_lines(grid, 0, 8), "  N\nGrupo A\n\n  1\n\n  2\n  3\n\n");
    EXPECT_EQ(top_lines(grid, 1, 8), "  N\nGrupo B\n\n  3\n  3\nTot Final.. (     3 )\n  6\n\n");
    EXPECT_EQ(rtrim(grid.pages[1][65]), "Pagina :   2");
    // The grand-total label is wider than the table: the grid widens to hold it.
    EXPECT_EQ(grid.width, 21);
    EXPECT_TRUE(grid.diagnostics.empty());

    std::vector<Row> none;
    grid = render_text(rep.run(rows_of(none, cur)));
    ASSERT_EQ(grid.pages.size(), 1u);
    EXPECT_EQ(top_lines(grid, 0, 3), "  N\nTot Final.. (     0 )\n  0\n");
    EXPECT_TRUE(grid.diagnostics.empty());
}
