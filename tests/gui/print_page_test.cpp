// The page model and its text-grid rendering: report fonts and sizes, a fixed-position page
// with boxes, the margin, and the diagnostics for overprinting and items off the page.
#include <gtest/gtest.h>

#include <stdexcept>

#include "cli/print_tool.hpp"
#include "gui/print/fonts.hpp"
#include "gui/print/page.hpp"
#include "gui/print/text_grid.hpp"

using namespace gui::print;

namespace {

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The characters of a grid line from cell `from`, `n` of them (UTF-8 aware enough for the
// ASCII and Latin-1 texts used here).
std::string cells(const TextGrid& g, size_t page, int line, int from, int n) {
    std::u32string u;
    const std::string& s = g.pages.at(page).at(line);
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        if (c < 0x80) {
            u += c;
            ++i;
        } else {
            u += char32_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        }
    }
    std::string out;
    for (char32_t c : u.substr(from, n)) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

TEST(PrintFonts, SizesPensAndTheParameterRule) {
    struct Case {
        const char* tbpargen;
        int size;
    } cases[] = {{"05", 8}, {"15", 8}, {"10", 10}, {"07", 7}, {"12", 12}, {"06", 8}, {"13", 8},
                 {" 9", 9}, {"9", 9},  {"", 8},    {"AB", 8}, {"1001", 10}};
    for (const Case& c : cases) EXPECT_EQ(report_font_size(c.tbpargen), c.size) << '"' << c.tbpargen << '"';

    ReportFonts s = DEFFONTS(10), p = DEFFONTP(10);
    for (const ReportFonts* f : {&s, &p}) {
        EXPECT_EQ(f->font(1).face, "Courier New");
        EXPECT_DOUBLE_EQ(f->font(1).points, 10);
        EXPECT_TRUE(f->font(1).bold);
        EXPECT_DOUBLE_EQ(f->font(2).points, 9);
        EXPECT_FALSE(f->font(2).bold);
        EXPECT_DOUBLE_EQ(f->font(3).points, 8);
    }
    EXPECT_EQ(s.pen(1).width, 2);
    EXPECT_EQ(s.pen(2).width, 1);
    EXPECT_EQ(p.pen(1).width, 3);
    EXPECT_EQ(p.pen(2).width, 2);
    EXPECT_FALSE(s.printer);
    EXPECT_TRUE(p.printer);
    // A size nobody can read falls back to 8.
    EXPECT_EQ(DEFFONTS(2).size, 8);
    EXPECT_EQ(DEFFONTS(kMinFontSize).size, kMinFontSize);
}

// A boxed form like a payslip: every text lands in the cell the layout names, the boxes are
// kept as items, and nothing overprints or leaves the page.
TEST(PrintPage, FixedPositionPayslipPage) {
    Job job = cli::demo_payslips();
    ASSERT_EQ(job.page_count(), 1u);
    EXPECT_EQ(job.columns(), 132);
    EXPECT_EQ(job.margin(), -10);
    EXPECT_EQ(job.grid_width(), 132);  // a negative margin neither widens nor shifts
    TextGrid g = render_text(job);
    for (const auto& d : g.diagnostics) ADD_FAILURE() << describe(d);
    ASSERT_EQ(g.pages.size(), 1u);
    ASSERT_EQ(g.pages[0].size(), 66u);
    for (int top : {1, 33}) {
        EXPECT_EQ(cells(g, 0, top + 2, 12, 12), "Razón Social");
        EXPECT_EQ(cells(g, 0, top + 2, 27, 1), ":");
        EXPECT_EQ(cells(g, 0, top + 5, 79, 5), "Cargo");
        EXPECT_EQ(cells(g, 0, top + 8, 116, 8), "40123456");
        EXPECT_EQ(cells(g, 0, top + 11, 52, 24), "DESCUENTOS AL TRABAJADOR");
        EXPECT_EQ(cells(g, 0, top + 12, 36, 10), "  2,500.00");
        EXPECT_EQ(cells(g, 0, top + 24, 34, 10), "  2,818.75");
        EXPECT_EQ(cells(g, 0, top + 25, 11, 12), "NETO A PAGAR");
        EXPECT_EQ(cells(g, 0, top + 30, 105, 10), "TRABAJADOR");
    }
    // The boxes: header, three column-title, three concept, three totals and the net pay box
    // per payslip; their edges on the layout's lines and columns.
    int boxes = 0;
    bool concept_box = false;
    for (const Item& it : job.pages()[0].items()) {
        if (it.kind != ItemKind::Box) continue;
        ++boxes;
        if (it.line == 13 && it.line2 == 25 && it.column == 49 && it.column2 == 89) concept_box = true;
    }
    EXPECT_EQ(boxes, 2 * 11);
    EXPECT_TRUE(concept_box);
}

TEST(PrintPage, MarginAndGridWidth) {
    Job job;
    job.set_columns(80);
    job.set_margin(5);
    EXPECT_EQ(job.grid_width(), 85);
    job.begin_page();
    job.text(0, 0, "A");
    job.text(0, 79, "Z");
    job.end_page();
    TextGrid g = render_text(job);
    EXPECT_TRUE(g.diagnostics.empty());
    EXPECT_EQ(g.width, 85);
    EXPECT_EQ(g.pages[0][0], std::string(5, ' ') + "A" + std::string(78, ' ') + "Z");

    // Negative: report column 0 stays at the left edge.
    job.set_margin(-10);
    g = render_text(job);
    EXPECT_TRUE(g.diagnostics.empty());
    EXPECT_EQ(rtrim(g.pages[0][0]), "A" + std::string(78, ' ') + "Z");
}

TEST(PrintPage, OverprintAndOffPageDiagnostics) {
    Job job;
    job.set_columns(20);
    job.begin_page();
    job.text(1, 0, "ABCDE");
    job.text(1, 2, "C");        // the same character: fine
    job.text(1, 3, "  ");       // blanks are transparent
    job.text(1, 4, "XY", 2);    // X over E
    job.text(2, 18, "LONG");    // runs off the right
    job.text(66, 0, "below");   // line 66 is past the last one
    job.text(-1, 0, "above");
    job.text(3, -1, "left");
    job.text(65, 16, "last");   // the very last cells: fine
    job.hline(66, 0, 20);       // the bottom edge: fine
    job.vline(20, 0, 66);       // the right edge: fine
    job.box(10, 5, 12, 21);
    job.hline(67, 0, 5);
    job.image(0, 15, 3, 10, "/no/such/logo.bmp");
    job.end_page();
    job.begin_page();
    job.text(5, 5, "ok");
    job.text(5, 6, "kx");  // k over k is fine, x over nothing too
    job.text(5, 5, "oK");
    job.end_page();

    TextGrid g = render_text(job);
    EXPECT_EQ(rtrim(g.pages[0][1]), "ABCDXY");
    EXPECT_EQ(g.pages[0][2].substr(18), "LO");
    EXPECT_EQ(g.pages[0][3].substr(0, 3), "eft");
    EXPECT_EQ(g.pages[0][65].substr(16), "last");
    std::vector<Diagnostic> want = {
        {1, 1, 4, DiagnosticKind::Overprint, "XY"},
        {1, 2, 18, DiagnosticKind::OffPage, "LONG"},
        {1, 66, 0, DiagnosticKind::OffPage, "below"},
        {1, -1, 0, DiagnosticKind::OffPage, "above"},
        {1, 3, -1, DiagnosticKind::OffPage, "left"},
        {1, 10, 5, DiagnosticKind::OffPage, "box"},
        {1, 67, 0, DiagnosticKind::OffPage, "line"},
        {1, 0, 15, DiagnosticKind::OffPage, "image /no/such/logo.bmp"},
        {2, 5, 6, DiagnosticKind::Overprint, "oK"},
    };
    EXPECT_EQ(g.diagnostics.size(), want.size());
    for (size_t i = 0; i < std::min(want.size(), g.diagnostics.size()); ++i)
        EXPECT_EQ(g.diagnostics[i], want[i]) << describe(g.diagnostics[i]) << " / " << describe(want[i]);
}

TEST(PrintPage, PagesAreBegunAndEndedExplicitly) {
    Job job;
    EXPECT_THROW(job.text(0, 0, "x"), std::logic_error);
    EXPECT_THROW(job.end_page(), std::logic_error);
    job.begin_page();
    EXPECT_THROW(job.begin_page(), std::logic_error);
    EXPECT_THROW(job.text(0, 0, "x", 4), std::invalid_argument);
    EXPECT_THROW(job.hline(0, 0, 1, 3), std::invalid_argument);
    job.end_page();
    EXPECT_EQ(job.page_count(), 1u);
    EXPECT_EQ(job.title(), "IMPRESION");
    EXPECT_EQ(job.caption(), "IMPRESION");
}
