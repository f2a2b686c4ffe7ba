#include "gui/qt/icons.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPixmap>
#include <QStringList>

#include "gui/qt/qt_text.hpp"

namespace gui::qt {

namespace {

QStringList& extra_dirs() {
    static QStringList dirs;
    return dirs;
}

}  // namespace

void add_icon_dir(const QString& dir) {
    if (!extra_dirs().contains(dir)) extra_dirs().prepend(dir);
}

QString icon_path(std::string_view name) {
    if (name.empty()) return {};
    QStringList dirs = extra_dirs();
    if (QCoreApplication::instance()) dirs << QCoreApplication::applicationDirPath() + "/bitmaps";
    dirs << ":/bitmaps";
    const QString base = qs(name);
    const QStringList names{base, base.toLower(), base.toUpper()};
    for (const QString& dir : dirs)
        for (const QString& n : names)
            for (const char* ext : {".png", ".PNG"}) {
                QString path = dir + "/" + n + ext;
                if (QFileInfo::exists(path)) return path;
            }
    return {};
}

QIcon find_icon(std::string_view name) {
    QString path = icon_path(name);
    if (path.isEmpty()) return {};
    QPixmap picture(path);
    return picture.isNull() ? QIcon() : QIcon(picture);
}

int text_width(const QFontMetrics& fm, int chars, CharKind kind) {
    if (chars <= 0) return 0;
    switch (kind) {
    case CharKind::Digit: return fm.horizontalAdvance(QString(chars, QLatin1Char('0')));
    case CharKind::Upper: return fm.horizontalAdvance(QString(chars, QLatin1Char('X')));
    case CharKind::Text: break;
    }
    // Mixed text: the average letter, a little generous so a full-width value fits.
    return fm.averageCharWidth() * chars + fm.averageCharWidth() * chars / 8;
}

}  // namespace gui::qt
