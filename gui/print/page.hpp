#pragma once
// The page model every printed output is built on: a print job holds pages of positioned
// items (texts in one of the report fonts, horizontal and vertical lines and boxes with one
// of the pens, images) on a character grid of 66 lines by the report's width in columns.
// The same job goes to the preview, the printer, a PDF file and the text-grid rendering of
// the tests; none of them needs anything but what is here.
//
// Grid and margin. A report places its items at report columns 0..W-1 (W = columns()) and
// has a left margin of M columns (margin(), may be negative: the report formats default to
// -10). The page shows grid_width() = W + max(M, 0) character cells across its printable
// area, and report column c falls in cell grid_column(c) = c + max(M, 0):
//   - a positive margin is blank space on the left; the grid widens by M cells so that the
//     report's own W columns still fit on the page;
//   - a negative margin moves nothing: report column 0 stays at the left edge of the
//     printable area (column c at c x printable width / W). A negative margin shifted a
//     layout drawn from column |M| towards the sheet's edge on printers whose origin lies
//     inside the sheet; here the grid is laid on the printable area itself, and shifting
//     further would cut the first |M| columns of every report that starts at column 0.
// Cell x (0 <= x <= grid_width()) is at x / grid_width() of the printable width, line r
// (0 <= r <= 66) at r / 66 of the printable height. A text at line r occupies the cell row
// between lines r and r+1, one cell per character; a line or box edge at line r runs along
// the top of row r, so a box from line a to line b encloses rows a..b-1 and a box from
// column p to column q encloses cells p..q-1. Lines and columns may be fractional.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gui/print/fonts.hpp"

namespace gui::print {

inline constexpr int kPageLines = 66;

enum class Orientation { Portrait, Landscape };

// A sheet of paper (portrait dimensions) and the margin the PDF output leaves on every side;
// the printer output uses the printer's printable area instead.
struct Paper {
    double width_mm = 210;
    double height_mm = 297;
    double margin_mm = 10;

    static Paper a4() { return {}; }
    static Paper letter() { return {215.9, 279.4, 10}; }
};

// The printable area of a paper in an orientation, in points (1/72 inch).
double printable_width_pt(const Paper& paper, Orientation o);
double printable_height_pt(const Paper& paper, Orientation o);
// How many Courier cells of `points` fit across the printable area at the natural pitch.
int columns_that_fit(const Paper& paper, Orientation o, double points);

enum class ItemKind : uint8_t { Text, Line, Box, Image };

// One positioned item. Columns are report columns (the job adds the margin).
struct Item {
    ItemKind kind = ItemKind::Text;
    uint8_t style = 1;       // text: font 1..3; line and box: pen 1..2; image: 0
    double line = 0;         // text: its row; line: first end; box, image: top edge
    double column = 0;       // text: its first column; line: first end; box, image: left edge
    double line2 = 0;        // line: second end; box, image: bottom edge
    double column2 = 0;      // line: second end; box, image: right edge
    uint32_t text_offset = 0;  // text: the UTF-8 text; image: the file path
    uint32_t text_size = 0;
};

class Page {
public:
    const std::vector<Item>& items() const { return items_; }
    std::string_view text(const Item& item) const {
        return std::string_view(text_).substr(item.text_offset, item.text_size);
    }
    bool empty() const { return items_.empty(); }

private:
    friend class Job;
    std::vector<Item> items_;
    std::string text_;  // the texts and paths of all items, one after the other
};

class Job {
public:
    explicit Job(std::string title = "IMPRESION");

    // The job's name (the document name the printer and the PDF get) and the caption of the
    // preview window (the title when not set).
    const std::string& title() const { return title_; }
    void set_title(std::string title) { title_ = std::move(title); }
    const std::string& caption() const { return caption_.empty() ? title_ : caption_; }
    void set_caption(std::string caption) { caption_ = std::move(caption); }

    // Layout of the whole job; may be set at any time before the job is output.
    Orientation orientation() const { return orientation_; }
    void set_orientation(Orientation o) { orientation_ = o; }
    int columns() const { return columns_; }
    void set_columns(int w);  // W >= 1; std::invalid_argument otherwise
    int margin() const { return margin_; }
    void set_margin(int m) { margin_ = m; }
    const ReportFonts& fonts() const { return fonts_; }
    void set_fonts(ReportFonts fonts) { fonts_ = std::move(fonts); }
    const Paper& paper() const { return paper_; }
    void set_paper(Paper paper) { paper_ = paper; }

    // The grid (see the top of this file).
    int grid_width() const { return columns_ + (margin_ > 0 ? margin_ : 0); }
    double grid_column(double report_column) const { return report_column + (margin_ > 0 ? margin_ : 0); }

    // Pages are begun and ended explicitly; items go on the open page. Beginning a page
    // while one is open, ending one when none is, or adding an item with no page open is a
    // programming error (std::logic_error).
    void begin_page();
    void end_page();
    bool page_open() const { return open_; }
    size_t page_count() const { return pages_.size(); }
    const std::vector<Page>& pages() const { return pages_; }
    // 1-based number of the open page, or of the last page when none is open; 0 before any.
    int page_number() const { return static_cast<int>(pages_.size()); }

    // A text at a line and report column in font 1..3 (std::invalid_argument otherwise).
    void text(double line, double column, std::string_view text, int font = 1);
    // A horizontal line along `line` from column `from` to column `to`.
    void hline(double line, double from, double to, int pen = 1);
    // A vertical line along `column` from line `from` to line `to`.
    void vline(double column, double from, double to, int pen = 1);
    // A rectangle with its top-left corner at (top, left) and its bottom-right at (bottom, right).
    void box(double top, double left, double bottom, double right, int pen = 1);
    // An image file (the company logo) stretched over the rectangle of `lines` x `columns`
    // from (line, column). The outputs skip it silently when the file cannot be read.
    void image(double line, double column, double lines, double columns, std::string_view path);

private:
    Page& open_page(const char* what);
    void add(Item item, std::string_view text);

    std::string title_;
    std::string caption_;
    Orientation orientation_ = Orientation::Portrait;
    int columns_ = 132;
    int margin_ = 0;
    ReportFonts fonts_ = DEFFONTS(8);
    Paper paper_;
    std::vector<Page> pages_;
    bool open_ = false;
};

}  // namespace gui::print
