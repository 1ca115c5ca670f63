#include "ui/AppIcon.h"

namespace AppIcon {

QIcon icon()
{
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/kestrune-ip-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace AppIcon
