// PDF, printer and preview output of print jobs. The PDF is read back with poppler's
// pdftotext: in layout mode with the grid's pitch its lines are the text grid's lines, and
// the word boxes fall in the cells the grid says.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

#include <QApplication>
#include <QImage>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPageRanges>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>

#include "cli/print_tool.hpp"
#include "gui/print/text_grid.hpp"
#include "gui/qt/print_output.hpp"

namespace fs = std::filesystem;
using namespace gui::print;

namespace {

std::string run(const std::string& cmd, int* rc = nullptr) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (rc) *rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string rtrim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\f' || s.back() == '\r')) s.pop_back();
    return s;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(rtrim(l));
    return out;
}

std::u32string u32(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out += c;
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            out += char32_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else {
            out += char32_t(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
        }
    }
    return out;
}

struct TempDir {
    fs::path dir;
    TempDir() {
        char tmpl[] = "/tmp/planilla-pdf-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(dir); }
};

constexpr double kPointsPerMm = 72.0 / 25.4;

// Checks page `pdf_page` of the file against the text grid of `job`'s page `page`.
void expect_page_matches(const std::string& pdf, int pdf_page, const Job& job, size_t page) {
    SCOPED_TRACE("pdf page " + std::to_string(pdf_page));
    TextGrid grid = render_text(job);
    ASSERT_TRUE(grid.diagnostics.empty());
    const double pitch = printable_width_pt(job.paper(), job.orientation()) / job.grid_width();
    const double line_h = printable_height_pt(job.paper(), job.orientation()) / kPageLines;
    const double margin = job.paper().margin_mm * kPointsPerMm;
    const std::string range = " -f " + std::to_string(pdf_page) + " -l " + std::to_string(pdf_page) + " ";

    // 1. Layout mode at the grid's pitch: the same lines, shifted right by the page margin.
    //    pdftotext leaves out blank lines at the top and spaces some gaps by its own measure,
    //    so the comparison is over the lines that have text, in order.
    int rc = 0;
    char fixed[32];
    std::snprintf(fixed, sizeof fixed, "%.6f", pitch);
    auto got = split_lines(run("pdftotext -layout -fixed " + std::string(fixed) + range + pdf + " -", &rc));
    ASSERT_EQ(rc, 0);
    std::vector<std::string> want;
    for (const std::string& l : grid.pages[page])
        if (!rtrim(l).empty()) want.push_back(rtrim(l));
    std::vector<std::string> got_text;
    for (const std::string& l : got)
        if (!l.empty()) got_text.push_back(l);
    ASSERT_EQ(got_text.size(), want.size());
    const size_t shift = static_cast<size_t>(std::lround(margin / pitch));
    for (size_t i = 0; i < want.size(); ++i) {
        std::u32string g = u32(got_text[i]), w = u32(want[i]);
        ASSERT_GE(g.size(), shift) << got_text[i];
        EXPECT_EQ(g.substr(0, shift), std::u32string(shift, U' ')) << got_text[i];
        EXPECT_EQ(g.substr(shift), w) << "\n got: " << got_text[i] << "\nwant: " << want[i];
    }

    // 2. Word boxes: every word starts in the cell where the grid has it.
    std::string xml = run("pdftotext -bbox" + range + pdf + " -", &rc);
    ASSERT_EQ(rc, 0);
    std::regex word(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="([0-9.]+)">([^<]*)</word>)re");
    int words = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), word); it != std::sregex_iterator(); ++it) {
        const double x = std::stod((*it)[1]) - margin;
        const double y = (std::stod((*it)[2]) + std::stod((*it)[3])) / 2 - margin;
        std::string text = (*it)[4];
        for (auto [entity, c] : {std::pair{"&gt;", ">"}, {"&lt;", "<"}, {"&quot;", "\""}, {"&amp;", "&"}})
            text = std::regex_replace(text, std::regex(entity), c);
        const long col = std::lround(x / pitch);
        const long row = static_cast<long>(std::floor(y / line_h));
        ASSERT_TRUE(row >= 0 && row < kPageLines) << text;
        std::u32string line = u32(grid.pages[page][row]), t = u32(text);
        ASSERT_LE(static_cast<size_t>(col) + t.size(), line.size()) << text;
        EXPECT_EQ(line.substr(col, t.size()), t) << "row " << row << " col " << col;
        ++words;
    }
    EXPECT_GT(words, 20);
}

struct Samples {
    std::vector<cli::DemoRow> rows = cli::demo_rows(130, 3);
    const cli::DemoRow* current = nullptr;
    Job listing = cli::demo_report(current).run(rows_of(rows, current));
    Job payslips = cli::demo_payslips();
};

}  // namespace

TEST(PrintPdf, TextOfEveryPageMatchesTheGrid) {
    TempDir tmp;
    Samples s;
    ASSERT_EQ(s.listing.page_count(), 3u);
    const std::string pdf = (tmp.dir / "demo.pdf").string();
    std::string error;
    ASSERT_TRUE(gui::qt::write_pdf({&s.listing, &s.payslips}, pdf, &error)) << error;
    EXPECT_FALSE(fs::exists(pdf + ".tmp"));
    std::string info = run("pdfinfo " + pdf);
    EXPECT_NE(info.find("Pages:           4"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           IMPRESION"), std::string::npos) << info;
    for (size_t p = 0; p < 3; ++p) expect_page_matches(pdf, static_cast<int>(p) + 1, s.listing, p);
    expect_page_matches(pdf, 4, s.payslips, 0);
    // The fonts are embedded: Courier New stands for a metric-compatible monospace face.
    std::string fonts = run("pdffonts " + pdf);
    EXPECT_NE(fonts.find("yes"), std::string::npos) << fonts;
}

// The printer path draws with the same routine, and only the pages of the chosen range.
TEST(PrintPdf, PrinterOutputHonoursThePageRange) {
    TempDir tmp;
    Samples s;
    std::string error;
    ASSERT_TRUE(gui::qt::ensure_gui_application(&error)) << error;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = (tmp.dir / "printer.pdf").string();
    printer.setOutputFileName(QString::fromStdString(pdf));
    QPageRanges ranges;
    ranges.addRange(2, 3);
    printer.setPageRanges(ranges);
    ASSERT_TRUE(gui::qt::print_job(s.listing, printer, &error)) << error;
    std::string text = run("pdftotext -layout " + pdf + " -");
    EXPECT_EQ(text.find("0001  GARCIA"), std::string::npos);  // page 1 left out
    EXPECT_TRUE(std::regex_search(text, std::regex("Pagina : +2\n"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("Tot Final.. \\( +130 \\)"))) << text;
    EXPECT_NE(run("pdfinfo " + pdf).find("Pages:           2"), std::string::npos);
}

TEST(PrintPdf, LogoIsDrawnWhenPresentAndSkippedWhenMissing) {
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(gui::qt::ensure_gui_application(&error));
    const std::string logo = (tmp.dir / "LOGO.BMP").string();
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(Qt::darkBlue);
    ASSERT_TRUE(img.save(QString::fromStdString(logo), "BMP"));
    Job job;
    job.set_columns(80);
    for (const std::string& path : {logo, (tmp.dir / "NONE.BMP").string()}) {
        job.begin_page();
        job.image(0, 0, 4, 10, path);
        job.text(5, 0, "Con logo");
        job.end_page();
    }
    const std::string pdf = (tmp.dir / "logo.pdf").string();
    ASSERT_TRUE(gui::qt::write_pdf(job, pdf, &error)) << error;
    std::string images = run("pdfimages -list " + pdf);
    EXPECT_NE(images.find("   1     0 image      40    20"), std::string::npos) << images;
    EXPECT_EQ(images.find("   2     "), std::string::npos) << images;

    // A file that cannot be created: an error, and nothing left behind.
    EXPECT_FALSE(gui::qt::write_pdf(job, (tmp.dir / "no/such/dir/x.pdf").string(), &error));
    EXPECT_NE(error.find("x.pdf"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(tmp.dir / "no"));
}

TEST(PrintPdf, PreviewShowsEveryPage) {
    Samples s;
    ASSERT_TRUE(gui::qt::ensure_gui_application());
    int pages = -1;
    QString title;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(w);
            if (!dialog || !dialog->isVisible()) continue;
            auto* view = dialog->findChild<QPrintPreviewWidget*>();
            if (!view || view->pageCount() == 0) return;
            pages = view->pageCount();
            title = dialog->windowTitle();
            dialog->reject();
        }
    });
    timer.start();
    gui::qt::show_preview(s.listing, nullptr);
    timer.stop();
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(title.toStdString(), "Planilla de Demostración");
}

TEST(PrintPdf, PrinterSetupDialogOpensOnTheSharedPrinter) {
    ASSERT_TRUE(gui::qt::ensure_gui_application());
    QPrinter* seen = nullptr;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintDialog*>(w);
            if (!dialog || !dialog->isVisible()) continue;
            seen = dialog->printer();
            dialog->reject();
        }
    });
    timer.start();
    gui::qt::printer_setup(nullptr);
    timer.stop();
    EXPECT_EQ(seen, &gui::qt::shared_printer());
}

TEST(PrintPdf, CommandLineDemo) {
    TempDir tmp;
    const std::string pdf = (tmp.dir / "demo.pdf").string();
    int rc = -1;
    run(std::string(PLANILLA_CLI) + " print-demo " + pdf + " 2>&1", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(run("pdfinfo " + pdf).find("Pages:           4"), std::string::npos);
    std::string text = run(std::string(PLANILLA_CLI) + " print-demo --text", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(text.find("Tot Final.. (   130 )"), std::string::npos);
    EXPECT_NE(text.find("DESCUENTOS AL TRABAJADOR"), std::string::npos);
    run(std::string(PLANILLA_CLI) + " print-demo 2>&1", &rc);
    EXPECT_EQ(rc, 2);
    run(std::string(PLANILLA_CLI) + " print-demo " + (tmp.dir / "none/x.pdf").string() + " 2>&1", &rc);
    EXPECT_EQ(rc, 1);
}
