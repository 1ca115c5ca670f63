#include "platform/SystemFont.h"

namespace SystemFont {

QString family()
{
    // Windows has a font of that very name.
    return QStringLiteral("System");
}

} // namespace SystemFont
