#include "ui/FormFonts.h"

#include "platform/SystemFont.h"

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
    return named(SystemFont::families(), pointSize, bold);
}

} // namespace FormFonts
