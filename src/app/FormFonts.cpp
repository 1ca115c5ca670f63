#include "app/FormFonts.h"

#include <QFontDatabase>

namespace FormFonts {

QFont named(const QString &family, qreal pointSize, bool bold, bool italic, bool underline)
{
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

QFont system(qreal pointSize, bool bold)
{
#if defined(Q_OS_WIN)
    const QString family = QStringLiteral("System");
#else
    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
#endif
    return named(family, pointSize, bold);
}

} // namespace FormFonts
