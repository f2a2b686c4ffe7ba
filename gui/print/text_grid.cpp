#include "gui/print/text_grid.hpp"

#include <cmath>

#include <fmt/format.h>

#include "gui/print/utf8.hpp"

namespace gui::print {

namespace {

constexpr double kEps = 1e-9;

long cell_of(double v) { return static_cast<long>(std::floor(v + kEps)); }

bool within(double v, double lo, double hi) { return v >= lo - kEps && v <= hi + kEps; }

}  // namespace

TextGrid render_text(const Job& job) {
    TextGrid grid;
    const int width = job.grid_width();
    grid.width = width;
    grid.pages.reserve(job.page_count());
    std::vector<char32_t> cells;
    std::string line;

    int page_no = 0;
    for (const Page& page : job.pages()) {
        ++page_no;
        cells.assign(static_cast<size_t>(kPageLines) * width, U' ');
        for (const Item& it : page.items()) {
            if (it.kind != ItemKind::Text) {
                // Lines, boxes and images only have to lie on the page.
                bool on = within(it.line, 0, kPageLines) && within(it.line2, 0, kPageLines) &&
                          within(job.grid_column(it.column), 0, width) &&
                          within(job.grid_column(it.column2), 0, width);
                if (!on) {
                    std::string what = it.kind == ItemKind::Line  ? "line"
                                       : it.kind == ItemKind::Box ? "box"
                                                                  : "image " + std::string(page.text(it));
                    grid.diagnostics.push_back({page_no, it.line, it.column, DiagnosticKind::OffPage, what});
                }
                continue;
            }
            std::string_view text = page.text(it);
            long row = cell_of(it.line);
            if (row < 0 || row >= kPageLines) {
                grid.diagnostics.push_back(
                    {page_no, it.line, it.column, DiagnosticKind::OffPage, std::string(text)});
                continue;
            }
            long x = cell_of(job.grid_column(it.column));
            const long first_cell = x;
            bool off = false, over = false;
            double over_column = 0;
            char32_t* row_cells = cells.data() + static_cast<size_t>(row) * width;
            for (size_t i = 0; i < text.size(); ++x) {
                char32_t c = utf8::next(text, i);
                if (x < 0 || x >= width) {
                    off = true;
                    continue;
                }
                if (c == U' ') continue;
                char32_t& cell = row_cells[x];
                if (cell != U' ' && cell != c && !over) {
                    over = true;
                    over_column = it.column + double(x - first_cell);
                }
                cell = c;
            }
            if (over)
                grid.diagnostics.push_back({page_no, double(row), over_column, DiagnosticKind::Overprint,
                                            std::string(text)});
            if (off)
                grid.diagnostics.push_back(
                    {page_no, it.line, it.column, DiagnosticKind::OffPage, std::string(text)});
        }
        std::vector<std::string> lines;
        lines.reserve(kPageLines);
        for (int r = 0; r < kPageLines; ++r) {
            line.clear();
            const char32_t* row_cells = cells.data() + static_cast<size_t>(r) * width;
            for (int x = 0; x < width; ++x) utf8::append(line, row_cells[x]);
            lines.push_back(line);
        }
        grid.pages.push_back(std::move(lines));
    }
    return grid;
}

std::string TextGrid::page_text(size_t page) const {
    std::string out;
    if (page >= pages.size()) return out;
    for (const std::string& l : pages[page]) {
        size_t end = l.find_last_not_of(' ');
        if (end != std::string::npos) out.append(l, 0, end + 1);
        out += '\n';
    }
    while (out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') out.pop_back();
    if (out == "\n") out.clear();
    return out;
}

std::string describe(const Diagnostic& d) {
    return fmt::format("page {} line {} column {}: {} \"{}\"", d.page, d.line, d.column,
                       d.kind == DiagnosticKind::Overprint ? "overprint" : "off page", d.text);
}

}  // namespace gui::print
