#include "gui/print/fonts.hpp"

#include <algorithm>

namespace gui::print {

namespace {

ReportFonts make_fonts(int n, bool printer) {
    if (n < kMinFontSize || n > kMaxFontSize) n = 8;
    ReportFonts f;
    f.size = n;
    f.printer = printer;
    f.fonts[0] = FontSpec{"Courier New", double(n), true};
    f.fonts[1] = FontSpec{"Courier New", double(n - 1), false};
    f.fonts[2] = FontSpec{"Courier New", double(n - 2), false};
    // Screen pens are pixels at 96 dpi, printer pens dots at 300 dpi.
    const int w1 = printer ? 3 : 2;
    const int w2 = printer ? 2 : 1;
    const double pt_per_unit = printer ? 72.0 / 300.0 : 72.0 / 96.0;
    f.pens[0] = PenSpec{w1, w1 * pt_per_unit};
    f.pens[1] = PenSpec{w2, w2 * pt_per_unit};
    return f;
}

}  // namespace

const FontSpec& ReportFonts::font(int n) const { return fonts[std::clamp(n, 1, 3) - 1]; }
const PenSpec& ReportFonts::pen(int n) const { return pens[std::clamp(n, 1, 2) - 1]; }

ReportFonts DEFFONTS(int n) { return make_fonts(n, false); }
ReportFonts DEFFONTP(int n) { return make_fonts(n, true); }

int clamp_font_size(int n) { return n < 7 || n > 12 ? 8 : n; }

int report_font_size(std::string_view text) {
    std::string_view s = text.substr(0, 2);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    int n = 0;
    if (s.empty()) return clamp_font_size(0);
    for (char c : s) {
        if (c < '0' || c > '9') return clamp_font_size(0);
        n = n * 10 + (c - '0');
    }
    return clamp_font_size(n);
}

}  // namespace gui::print
