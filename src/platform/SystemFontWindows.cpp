#include "platform/SystemFont.h"

namespace SystemFont {

QStringList families()
{
    // Windows has a font of that very name.
    return {QStringLiteral("System")};
}

} // namespace SystemFont
