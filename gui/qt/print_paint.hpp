#pragma once
// The one painter routine behind the preview, the printer and the PDF output.
//
// The job's grid is laid on the printable area: cell x at x / grid_width() of its width,
// line r at r / 66 of its height. Every character takes exactly one cell: each font is
// scaled horizontally so that its (fixed) advance is the cell width, which keeps columns
// aligned whatever the report's width and lets text extraction give back the grid.
// Each text is one glyph run with the non-blank characters at their cells; blanks are only
// space on paper.
#include <QFont>
#include <QHash>
#include <QImage>
#include <QRawFont>
#include <QSizeF>
#include <QString>

#include "gui/print/page.hpp"

class QPainter;
class QPaintDevice;
class QPagedPaintDevice;

namespace gui::qt {

class JobPainter {
public:
    // `device` gives the font metrics and the resolution.
    JobPainter(const gui::print::Job& job, QPaintDevice* device);

    // Paints page `index` (0-based) with `painter`, whose origin is the top-left corner of a
    // printable area of `area` device units.
    void paint(QPainter& painter, size_t index, QSizeF area);

private:
    struct FontUse {
        QFont font;
        double advance = 1;  // device units per character at the natural pitch
        double ascent = 0;
        double descent = 0;
        QRawFont raw;                // the font at its size on the device
        quint32 ascii[128] = {};     // glyph indexes of ASCII characters, 0 = not looked up
        QHash<char32_t, quint32> glyphs;  // and of the others
    };
    static quint32 glyph(FontUse& f, char32_t c);
    const QImage* image(const QString& path);

    const gui::print::Job& job_;
    double dpi_;
    FontUse fonts_[3];
    QHash<QString, QImage> images_;  // null images for files that could not be read
};

// Sets paper, orientation and margins of the device from the job. A printer that refuses
// the margins keeps its own minimum ones.
void apply_layout(const gui::print::Job& job, QPagedPaintDevice& device);

// The printable area of a paged device in its device units (not rounded to whole units).
QSizeF printable_area(const QPagedPaintDevice& device, int resolution);

}  // namespace gui::qt
