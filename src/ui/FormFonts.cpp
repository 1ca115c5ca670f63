#include "ui/FormFonts.h"

#include <QGuiApplication>

namespace FormFonts {

QFont named(const QString &family, qreal pointSize, bool bold, bool italic, bool underline)
{
    return named(QStringList(family), pointSize, bold, italic, underline);
}

QFont named(const QStringList &families, qreal pointSize, bool bold, bool italic, bool underline)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

QFont system(qreal pointSize, bool bold)
{
#ifdef Q_OS_WIN
    // Windows has a font of that very name.
    const QStringList families{QStringLiteral("System")};
#else
    // The layouts were drawn for Windows' narrow "System" font. Liberation
    // Sans (Arial's widths) fits them with room to spare; the desktop's own
    // font, often the wider DejaVu Sans, fills them edge to edge. Named as a
    // list, the font is matched when the text is first drawn, not looked up
    // in the font database before the window is shown.
    const QStringList families{QStringLiteral("Liberation Sans"), QGuiApplication::font().family()};
#endif
    return named(families, pointSize, bold);
}

} // namespace FormFonts
