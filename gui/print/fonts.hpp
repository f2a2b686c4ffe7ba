#pragma once
// Report fonts and pens.
//
// Every printed output uses three fonts of one face, Courier New: font 1 bold of n points
// (titles, labels, totals), font 2 of n-1 points (values, detail lines), font 3 of n-2
// points (small marks), and two pens. DEFFONTS(n) gives the set for the screen preview,
// with pens of width 2 and 1 (screen pixels at 96 dpi); DEFFONTP(n) the set for the printer,
// with pens of width 3 and 2 (printer dots at 300 dpi). n is the program's report size
// (NNUMFONT, 7..12 with 8 for anything else: report_font_size / clamp_font_size).
#include <array>
#include <string>
#include <string_view>

namespace gui::print {

struct FontSpec {
    std::string face = "Courier New";
    double points = 8;
    bool bold = false;
};

struct PenSpec {
    int width = 1;         // in device units of the set: screen pixels or printer dots
    double points = 0.75;  // the same width in points, what the outputs draw
};

struct ReportFonts {
    int size = 8;          // n: the size the set was made for
    bool printer = false;  // DEFFONTP (true) or DEFFONTS (false)
    std::array<FontSpec, 3> fonts;
    std::array<PenSpec, 2> pens;

    // 1-based, as the reports number them; a number out of range gives the nearest one.
    const FontSpec& font(int n) const;
    const PenSpec& pen(int n) const;
};

// Sizes below this are not made: font 3 (n-2 points) must stay readable.
inline constexpr int kMinFontSize = 5;
inline constexpr int kMaxFontSize = 72;

// The three report fonts and two pens for the screen preview and for the printer. A size
// outside kMinFontSize..kMaxFontSize gives the set of size 8.
ReportFonts DEFFONTS(int n);
ReportFonts DEFFONTP(int n);

// The report size rule: 7..12 stays, anything else becomes 8.
int clamp_font_size(int n);
// The report size from the parameter string: its first two characters as a number (blanks
// around it allowed; a text that is not a number counts as 0), then clamp_font_size.
int report_font_size(std::string_view tbpargen_digits_or_number);

// Courier New is a fixed-pitch face: every character advances 0.6 of the point size.
inline constexpr double kCourierAdvance = 0.6;

}  // namespace gui::print
