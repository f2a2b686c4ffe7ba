#pragma once
// The banded report engine: tabular listings rendered into a print job.
//
// A report has header lines and title lines (centred, font 1), column titles on one or two
// lines between two rules, detail lines (font 2) with one value per column, one optional
// group level (header line, footer line with the subtotals and the count of the group,
// optional blank line before each group, optional new page per group), optional page totals,
// grand totals with a label that receives the row count, optional double spacing, footer
// lines at the bottom of every page (the page number by default) and callbacks at the start
// of every page (the logo), after every detail line and at the start and end of every group.
//
// Rows come from a RowSource: a callback that moves to the next row and says whether there
// is one; the column value callbacks read the current row. rows_of() makes one over a table
// in its current order or over a vector.
//
// Widths. A column is as wide as the widest of its declared width, its title lines and its
// picture, so that digits are never cut; a text value longer than that is cut to it. Columns
// are separated by column_gap blanks. The grid width W is the report's width when set, else
// the widest of the table and the header, title and footer lines, which are centred on it;
// a group header or totals label longer than that widens the grid of a report without a
// fixed width once the report is done. A report whose grid does not fit across the paper in
// font 1 at the natural Courier pitch goes to landscape, then to smaller fonts (down to
// kMinFontSize); when it still does not fit — or when the columns are wider than a width the
// report fixed — run() throws ReportError: columns are never dropped or cut.
//
// Page. From first_line: the header lines, the title lines, a blank line when there were
// any, the rule, the column titles, the rule; then the body. The footer lines take the last
// lines of the page (lines_per_page), with a blank line above them; the page totals follow
// the last body line. A group header is never left alone at the bottom of a page, and a
// totals label that does not end before the first totalled column goes on its own line.
//
// Totals. Subtotals, page totals and grand totals add the raw values of the rows (doubles,
// not the rounded printed figures) and print the sum through the column's picture, which
// rounds half away from zero: two rows of 1.005 print 1.01 each and total 2.01, three rows
// of 0.004 print 0.00 each and total 0.01.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/dates.hpp"
#include "gui/print/page.hpp"

namespace xbase {
class Table;
}

namespace gui::print {

// One value of a column: a number, a text, a date or nothing. An int is a number; dates
// are made with Cell::date() (a date is an integer day number, so it needs saying).
class Cell {
public:
    enum class Kind : uint8_t { Blank, Text, Number, Date };

    Cell() = default;
    Cell(double v) : kind_(Kind::Number), number_(v) {}
    Cell(int v) : Cell(static_cast<double>(v)) {}
    Cell(long v) : Cell(static_cast<double>(v)) {}
    Cell(long long v) : Cell(static_cast<double>(v)) {}
    Cell(std::string v) : kind_(Kind::Text), text_(std::move(v)) {}
    Cell(std::string_view v) : kind_(Kind::Text), text_(v) {}
    Cell(const char* v) : kind_(Kind::Text), text_(v ? v : "") {}
    static Cell date(common::Date d) {
        Cell c;
        c.kind_ = Kind::Date;
        c.date_ = d;
        return c;
    }

    Kind kind() const { return kind_; }
    double number() const { return number_; }
    const std::string& text() const { return text_; }
    common::Date date_value() const { return date_; }

private:
    Kind kind_ = Kind::Blank;
    double number_ = 0;
    common::Date date_ = common::kEmptyDate;
    std::string text_;
};

// Auto: numbers to the right, everything else to the left; titles follow the column
// (to the right when its picture is numeric or it is totalled).
enum class Align { Auto, Left, Right, Center };

struct Column {
    std::vector<std::string> titles;  // one or two lines
    std::function<Cell()> value;
    int width = 10;
    // Numbers: common::transform (empty: Str with two decimals); dates: transform_date;
    // texts: transform_text (empty: as they are).
    std::string picture;
    Align align = Align::Auto;
    bool total = false;
};

// Moves to the next row (the first one on the first call); false when there are no more.
using RowSource = std::function<bool()>;

// The records of a table from the top in its current order (tag, filter and the deleted
// setting as the table has them).
RowSource rows_of(xbase::Table& table);

// The elements of a vector, one after the other; `current` points at the current one.
template <class T>
RowSource rows_of(const std::vector<T>& rows, const T*& current) {
    return [&rows, &current, i = size_t(0)]() mutable {
        if (i >= rows.size()) {
            current = nullptr;
            return false;
        }
        current = &rows[i++];
        return true;
    };
}

// A header, title or footer line; receives the page number.
using PageText = std::function<std::string(int page)>;

struct Group {
    std::function<std::string()> key;  // of the current row; a change starts a new group
    std::function<std::string(const std::string& key)> header;             // empty: no header line
    std::function<std::string(const std::string& key, int count)> footer;  // label of the subtotals
    bool blank_line_before = false;
    bool new_page = false;
};

struct PageStart {
    int page = 0;  // 1-based
    int line = 0;  // the first line of the headings
};

class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Report {
public:
    // The caption is the preview window's title; the job keeps the name "IMPRESION".
    explicit Report(std::string caption = {});

    Report& set_fonts(ReportFonts fonts);
    Report& add_header(std::string text);
    Report& add_header(PageText text);
    Report& add_title(std::string text);
    Report& add_title(PageText text);
    Report& add_column(Column column);
    Report& add_column(std::string title, std::function<Cell()> value, int width, std::string picture = {},
                       bool total = false);
    Report& set_group(Group group);
    // Page totals on every page: the label, then the sums of the page's rows.
    Report& set_page_totals(std::string label = "Total Pagina..");
    Report& set_grand_total(bool on);  // on by default
    Report& set_grand_total_label(std::function<std::string(int count)> label);
    Report& set_double_spacing(bool on);
    // Footer lines replace the default one ("Pagina : " + page number); none is allowed.
    Report& clear_footers();
    Report& add_footer(std::string text);
    Report& add_footer(PageText text);
    Report& set_rules(bool above_titles, bool below_titles);
    Report& set_first_line(int line);        // first heading line, 0 by default
    Report& set_lines_per_page(int lines);   // 66 (the whole grid) by default, e.g. 56
    Report& set_width(int columns);          // the grid width W; 0 = the table's width
    Report& set_margin(int columns);
    Report& set_orientation(Orientation o);  // the preferred one; landscape is never undone
    Report& set_paper(Paper paper);
    Report& set_column_gap(int blanks);      // 1 by default

    Report& on_page_start(std::function<void(Job&, const PageStart&)> fn);
    Report& on_line(std::function<void(Job&, int line)> fn);  // after each detail line
    Report& on_group_start(std::function<void(Job&, const std::string& key)> fn);
    Report& on_group_end(std::function<void(Job&, const std::string& key, int count)> fn);

    // Reads every row and returns the finished job (all pages ended).
    Job run(const RowSource& rows) const;

    static std::string default_grand_total_label(int count);  // "Tot Final.. ( " + Str(n,5) + " )"
    static std::string page_number_footer(int page);           // "Pagina : " + page in 3 positions

private:
    friend class ReportRun;
    std::string caption_;
    ReportFonts fonts_ = DEFFONTS(8);
    std::vector<PageText> headers_, titles_, footers_;
    std::vector<Column> columns_;
    std::optional<Group> group_;
    bool page_totals_ = false;
    std::string page_total_label_;
    bool grand_total_ = true;
    std::function<std::string(int)> grand_total_label_;
    bool double_spacing_ = false;
    bool rule_above_ = true, rule_below_ = true;
    int first_line_ = 0;
    int lines_per_page_ = kPageLines;
    int width_ = 0;
    int margin_ = 0;
    Orientation orientation_ = Orientation::Portrait;
    Paper paper_;
    int gap_ = 1;
    std::function<void(Job&, const PageStart&)> on_page_start_;
    std::function<void(Job&, int)> on_line_;
    std::function<void(Job&, const std::string&)> on_group_start_;
    std::function<void(Job&, const std::string&, int)> on_group_end_;
};

}  // namespace gui::print
