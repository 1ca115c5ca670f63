#include "ui/AppIcon.h"

#include <QImageReader>
#include <QPixmap>

namespace AppIcon {

QIcon icon()
{
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        // Read as the PNG it is: left to guess, Qt would load every image
        // format plugin first, which costs the start-up milliseconds.
        QImageReader reader(QStringLiteral(":/icons/kestrune-ip-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

} // namespace AppIcon
