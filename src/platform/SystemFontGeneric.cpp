#include "platform/SystemFont.h"

#include <QFont>
#include <QGuiApplication>

namespace SystemFont {

QStringList families()
{
    // The layouts were drawn for Windows' narrow "System" font. Liberation
    // Sans (Arial's widths) fits them with room to spare; the desktop's own
    // font, often the wider DejaVu Sans, fills them edge to edge. Named as a
    // list, the font is matched when the text is first drawn, not looked up
    // in the font database before the window is shown.
    return {QStringLiteral("Liberation Sans"), QGuiApplication::font().family()};
}

} // namespace SystemFont
