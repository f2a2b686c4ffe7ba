#pragma once
// Button and tool-bar pictures, looked up by their resource name ("grabar", "salir"): a PNG
// in the folders added here, then <program dir>/bitmaps/, then the Qt resource ":/bitmaps/".
// The name is tried as given, in lower case and in upper case, since the screens spell them
// freely ("CHIMENEA", "Periodo", "salir"). A missing picture gives a null icon and the
// caller shows the text instead.
#include <QIcon>
#include <QString>
#include <string_view>

class QFontMetrics;
class QWidget;

namespace gui::qt {

// Searched before the program's own folder (tests, the demo, an installation elsewhere).
void add_icon_dir(const QString& dir);
QIcon find_icon(std::string_view name);
// The file a name resolves to; empty when there is none.
QString icon_path(std::string_view name);

// Pixels of `chars` characters of typical text in this font: digits for numbers and
// dates, capitals for upper-case fields, the average letter otherwise.
enum class CharKind { Digit, Upper, Text };
int text_width(const QFontMetrics& fm, int chars, CharKind kind);

}  // namespace gui::qt
