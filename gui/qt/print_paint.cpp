#include "gui/qt/print_paint.hpp"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <QRawFont>
#include <QTransform>

#include "gui/print/utf8.hpp"

namespace gui::qt {

namespace print = gui::print;

JobPainter::JobPainter(const print::Job& job, QPaintDevice* device) : job_(job) {
    dpi_ = device ? device->logicalDpiX() : 72;
    for (int i = 0; i < 3; ++i) {
        const print::FontSpec& fs = job.fonts().font(i + 1);
        QFont f(QString::fromStdString(fs.face));
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        f.setPointSizeF(fs.points);
        f.setBold(fs.bold);
        f.setKerning(false);
        QFontMetricsF fm(f, device);
        FontUse& u = fonts_[i];
        u.font = f;
        // The design advance, as the PDF and printer engines lay glyphs out; the hinted one
        // of the metrics differs by a fraction of a percent, which adds up over a line.
        QRawFont raw = QRawFont::fromFont(f);
        QList<quint32> glyphs = raw.glyphIndexesForString(QStringLiteral("0"));
        QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
        if (!advances.isEmpty() && raw.pixelSize() > 0)
            u.advance = advances.front().x() / raw.pixelSize() * fs.points * dpi_ / 72.0;
        else
            u.advance = fm.horizontalAdvance(QLatin1Char('0'));
        if (u.advance <= 0) u.advance = fs.points * print::kCourierAdvance * dpi_ / 72.0;
        u.ascent = fm.ascent();
        u.descent = fm.descent();
        u.raw = QRawFont::fromFont(QFont(f, device));
        u.raw.setPixelSize(fs.points * dpi_ / 72.0);
    }
}

quint32 JobPainter::glyph(FontUse& f, char32_t c) {
    if (c < 128 && f.ascii[c] != 0) return f.ascii[c];
    auto it = f.glyphs.find(c);
    if (it != f.glyphs.end()) return *it;
    QList<quint32> g = f.raw.glyphIndexesForString(QString::fromUcs4(&c, 1));
    quint32 index = g.isEmpty() ? 0 : g.front();
    if (c < 128)
        f.ascii[c] = index;
    else
        f.glyphs.insert(c, index);
    return index;
}

const QImage* JobPainter::image(const QString& path) {
    auto it = images_.find(path);
    if (it == images_.end()) it = images_.insert(path, QImage(path));
    return it->isNull() ? nullptr : &*it;
}

void JobPainter::paint(QPainter& p, size_t index, QSizeF area) {
    const print::Page& page = job_.pages().at(index);
    const double cell = area.width() / job_.grid_width();
    const double line_h = area.height() / print::kPageLines;
    auto x_of = [&](double column) { return job_.grid_column(column) * cell; };
    auto y_of = [&](double line) { return line * line_h; };

    const QTransform base = p.transform();
    int current_pen = -1;  // 0: the text pen
    QList<quint32> glyphs;
    QList<QPointF> positions;
    for (const print::Item& it : page.items()) {
        switch (it.kind) {
            case print::ItemKind::Text: {
                FontUse& f = fonts_[it.style - 1];
                if (!f.raw.isValid()) break;
                if (current_pen != 0) {
                    p.setPen(Qt::black);
                    current_pen = 0;
                }
                // One glyph run per text, with a glyph for every non-blank character at its
                // own cell: the font is scaled so that its advance is the cell, blanks are
                // only space on paper.
                std::string_view text = page.text(it);
                const double sx = cell / f.advance;
                glyphs.clear();
                positions.clear();
                long k = 0;
                for (size_t i = 0; i < text.size(); ++k) {
                    char32_t c = print::utf8::next(text, i);
                    if (c == U' ') continue;
                    glyphs.push_back(glyph(f, c));
                    positions.push_back(QPointF(double(k) * f.advance, 0));
                }
                if (glyphs.isEmpty()) break;
                QGlyphRun run;
                run.setRawFont(f.raw);
                run.setGlyphIndexes(glyphs);
                run.setPositions(positions);
                // Vertically centred in the cell row.
                const double baseline = y_of(it.line) + (line_h + f.ascent - f.descent) / 2;
                p.setTransform(QTransform(sx, 0, 0, 1, x_of(it.column), baseline) * base);
                p.drawGlyphRun(QPointF(0, 0), run);
                p.setTransform(base);
                break;
            }
            case print::ItemKind::Line:
            case print::ItemKind::Box: {
                if (it.style != current_pen) {
                    double w = job_.fonts().pen(it.style).points * dpi_ / 72.0;
                    p.setPen(QPen(Qt::black, w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
                    p.setBrush(Qt::NoBrush);
                    current_pen = it.style;
                }
                QPointF a(x_of(it.column), y_of(it.line));
                QPointF b(x_of(it.column2), y_of(it.line2));
                if (it.kind == print::ItemKind::Line)
                    p.drawLine(a, b);
                else
                    p.drawRect(QRectF(a, b));
                break;
            }
            case print::ItemKind::Image: {
                const QImage* img = image(QString::fromUtf8(page.text(it).data(), qsizetype(page.text(it).size())));
                if (!img) break;  // a missing logo is left out
                QPointF a(x_of(it.column), y_of(it.line));
                QPointF b(x_of(it.column2), y_of(it.line2));
                p.drawImage(QRectF(a, b), *img);
                break;
            }
        }
    }
}

void apply_layout(const print::Job& job, QPagedPaintDevice& device) {
    const print::Paper& paper = job.paper();
    QPageSize size(QSizeF(paper.width_mm, paper.height_mm), QPageSize::Millimeter, QString(),
                   QPageSize::FuzzyOrientationMatch);
    auto orientation =
        job.orientation() == print::Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    const double m = paper.margin_mm;
    QPageLayout layout(size, orientation, QMarginsF(m, m, m, m), QPageLayout::Millimeter);
    if (!device.setPageLayout(layout)) {
        device.setPageSize(size);
        device.setPageOrientation(orientation);
        device.setPageMargins(QMarginsF(m, m, m, m), QPageLayout::Millimeter);
    }
}

QSizeF printable_area(const QPagedPaintDevice& device, int resolution) {
    QRectF r = device.pageLayout().paintRect(QPageLayout::Point);
    return QSizeF(r.width() * resolution / 72.0, r.height() * resolution / 72.0);
}

}  // namespace gui::qt
