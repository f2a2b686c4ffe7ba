#include "gui/print/page.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace gui::print {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

bool finite(double v) { return std::isfinite(v); }

}  // namespace

double printable_width_pt(const Paper& paper, Orientation o) {
    double w = o == Orientation::Portrait ? paper.width_mm : paper.height_mm;
    return (w - 2 * paper.margin_mm) * kPointsPerMm;
}

double printable_height_pt(const Paper& paper, Orientation o) {
    double h = o == Orientation::Portrait ? paper.height_mm : paper.width_mm;
    return (h - 2 * paper.margin_mm) * kPointsPerMm;
}

int columns_that_fit(const Paper& paper, Orientation o, double points) {
    if (points <= 0) return std::numeric_limits<int>::max();
    // A small tolerance so that a width computed to fit exactly is not refused by rounding.
    return static_cast<int>(std::floor(printable_width_pt(paper, o) / (kCourierAdvance * points) + 1e-9));
}

Job::Job(std::string title) : title_(std::move(title)) {}

void Job::set_columns(int w) {
    if (w < 1) throw std::invalid_argument("print job: the grid needs at least one column");
    columns_ = w;
}

void Job::begin_page() {
    if (open_) throw std::logic_error("print job: begin_page with a page already open");
    pages_.emplace_back();
    open_ = true;
}

void Job::end_page() {
    if (!open_) throw std::logic_error("print job: end_page without an open page");
    open_ = false;
}

Page& Job::open_page(const char* what) {
    if (!open_) throw std::logic_error(std::string("print job: ") + what + " without an open page");
    return pages_.back();
}

void Job::add(Item item, std::string_view text) {
    Page& page = pages_.back();
    if (!finite(item.line) || !finite(item.column) || !finite(item.line2) || !finite(item.column2))
        throw std::invalid_argument("print job: a position that is not a number");
    if (page.text_.size() + text.size() > std::numeric_limits<uint32_t>::max())
        throw std::length_error("print job: page text too large");
    item.text_offset = static_cast<uint32_t>(page.text_.size());
    item.text_size = static_cast<uint32_t>(text.size());
    page.text_.append(text);
    page.items_.push_back(item);
}

void Job::text(double line, double column, std::string_view text, int font) {
    open_page("text");
    if (font < 1 || font > 3) throw std::invalid_argument("print job: font must be 1, 2 or 3");
    Item it;
    it.kind = ItemKind::Text;
    it.style = static_cast<uint8_t>(font);
    it.line = it.line2 = line;
    it.column = it.column2 = column;
    add(it, text);
}

void Job::hline(double line, double from, double to, int pen) {
    open_page("hline");
    if (pen < 1 || pen > 2) throw std::invalid_argument("print job: pen must be 1 or 2");
    Item it;
    it.kind = ItemKind::Line;
    it.style = static_cast<uint8_t>(pen);
    it.line = it.line2 = line;
    it.column = from;
    it.column2 = to;
    add(it, {});
}

void Job::vline(double column, double from, double to, int pen) {
    open_page("vline");
    if (pen < 1 || pen > 2) throw std::invalid_argument("print job: pen must be 1 or 2");
    Item it;
    it.kind = ItemKind::Line;
    it.style = static_cast<uint8_t>(pen);
    it.column = it.column2 = column;
    it.line = from;
    it.line2 = to;
    add(it, {});
}

void Job::box(double top, double left, double bottom, double right, int pen) {
    open_page("box");
    if (pen < 1 || pen > 2) throw std::invalid_argument("print job: pen must be 1 or 2");
    Item it;
    it.kind = ItemKind::Box;
    it.style = static_cast<uint8_t>(pen);
    it.line = std::min(top, bottom);
    it.line2 = std::max(top, bottom);
    it.column = std::min(left, right);
    it.column2 = std::max(left, right);
    add(it, {});
}

void Job::image(double line, double column, double lines, double columns, std::string_view path) {
    open_page("image");
    Item it;
    it.kind = ItemKind::Image;
    it.style = 0;
    it.line = line;
    it.column = column;
    it.line2 = line + lines;
    it.column2 = column + columns;
    add(it, path);
}

}  // namespace gui::print
