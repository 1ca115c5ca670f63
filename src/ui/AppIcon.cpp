#include "ui/AppIcon.h"

#include "ui/AppIconPixels.h"

#include <QImage>
#include <QPixmap>

namespace AppIcon {
namespace {

QPixmap pixmap(const std::uint32_t *pixels, int size)
{
    // The pixels as they are in the program: no image file is read, and
    // neither an image format plugin nor a decoder is loaded for it.
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
