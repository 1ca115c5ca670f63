#include "platform/SystemFont.h"

#include <QFontDatabase>

namespace SystemFont {

QString family()
{
    // The layouts were drawn for Windows' narrow "System" font. Liberation
    // Sans (Arial's widths) fits them with room to spare; the desktop's own
    // font, often the wider DejaVu Sans, fills them edge to edge.
    static const QString chosen = [] {
        const QString narrow = QStringLiteral("Liberation Sans");
        return QFontDatabase::hasFamily(narrow)
                   ? narrow
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return chosen;
}

} // namespace SystemFont
