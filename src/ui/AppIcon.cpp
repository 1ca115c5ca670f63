#include "ui/AppIcon.h"

#include "ui/AppIconPixels.h"

#include <QImage>
#include <QPixmap>

namespace AppIcon {
namespace {

QPixmap pixmap(const std::uint32_t *pixels, int size)
{
    // The pixels as they are in the program. libpng is mapped all the same
    // (libQt6Gui.so.6 links it), but at start no icon file is opened, no PNG
    // is inflated, and Qt 6.4 never looks into its imageformats folder,
    // whose every plugin a QImage loaded from a .png file loads first (qgif,
    // qico and qjpeg on Debian 12, as QT_DEBUG_PLUGINS shows).
    const QImage image(reinterpret_cast<const uchar *>(pixels), size, size,
                       size * int(sizeof *pixels), QImage::Format_ARGB32);
    return QPixmap::fromImage(image);
}

} // namespace

QIcon icon()
{
    QIcon icon;
    icon.addPixmap(pixmap(AppIconPixels::k16, 16));
    icon.addPixmap(pixmap(AppIconPixels::k32, 32));
    icon.addPixmap(pixmap(AppIconPixels::k48, 48));
    return icon;
}

} // namespace AppIcon
