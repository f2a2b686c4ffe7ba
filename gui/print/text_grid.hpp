#pragma once
// The text-grid rendering of a print job: each page as 66 lines of grid_width() characters,
// one character per cell, with the problems a person would see on paper listed as
// diagnostics — a cell written twice with different characters (overprinting) and anything
// that falls outside the page. Tests assert on it and planilla-cli prints it.
//
// Blanks are transparent, as they are on paper: a blank never overprints nor erases what is
// under it. Lines, boxes and images are not drawn into the text; they are only checked to
// lie on the page. A text at a fractional column is put in the cell under its start.
#include <string>
#include <vector>

#include "gui/print/page.hpp"

namespace gui::print {

enum class DiagnosticKind { Overprint, OffPage };

struct Diagnostic {
    int page = 0;        // 1-based
    double line = 0;     // overprint: the first cell written twice; off page: the item's position
    double column = 0;   // in report columns, as the report placed the item
    DiagnosticKind kind = DiagnosticKind::OffPage;
    std::string text;    // the text of a text item; "line", "box" or "image <path>" otherwise

    bool operator==(const Diagnostic&) const = default;
};

struct TextGrid {
    int width = 0;  // characters per line: the job's grid_width()
    // pages[p][r]: line r of page p+1, exactly `width` characters (UTF-8).
    std::vector<std::vector<std::string>> pages;
    std::vector<Diagnostic> diagnostics;

    // A page's lines with trailing blanks removed, joined by '\n' (trailing empty lines
    // dropped): what a person compares by eye.
    std::string page_text(size_t page) const;
};

TextGrid render_text(const Job& job);

// "page 2 line 10 column 5: overprint "ABC"" — for test failure messages and the CLI.
std::string describe(const Diagnostic& d);

}  // namespace gui::print
