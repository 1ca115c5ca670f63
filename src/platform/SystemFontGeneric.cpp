#include "platform/SystemFont.h"

#include <QFontDatabase>

namespace SystemFont {

QString family()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

} // namespace SystemFont
