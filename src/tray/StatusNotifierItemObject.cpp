#include "tray/StatusNotifierItemObject.h"

#include "StatusNotifierItemAdaptor.h"

#include <QCoreApplication>
#include <QImage>
#include <QMenu>
#include <QtEndian>

namespace sni {

namespace {

IconPixmapList pixmapsOf(const QIcon &icon)
{
    IconPixmapList pixmaps;
    const QList<QSize> sizes = icon.availableSizes();
    for (const QSize size : sizes) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        IconPixmap pixmap{image.width(), image.height(), {}};
        pixmap.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto *out = reinterpret_cast<quint32 *>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

} // namespace

StatusNotifierItemObject::StatusNotifierItemObject(const QIcon &icon, const QString &toolTip,
                                                   QMenu *menu, const QString &menuPath,
                                                   QObject *parent)
    : QObject(parent)
    , m_icon(icon)
    , m_toolTip(toolTip)
    , m_menu(menu)
    , m_menuPath(menuPath)
{
    new StatusNotifierItemAdaptor(this);
}

StatusNotifierItemObject::~StatusNotifierItemObject() = default;

void StatusNotifierItemObject::ContextMenu(int x, int y)
{
    if (m_menu)
        m_menu->popup(QPoint(x, y));
}

QString StatusNotifierItemObject::id() const
{
    return QCoreApplication::applicationName();
}

IconPixmapList StatusNotifierItemObject::iconPixmap() const
{
    // Made when a host first asks, not at start-up.
    if (!m_pixmaps)
        m_pixmaps = pixmapsOf(m_icon);
    return *m_pixmaps;
}

} // namespace sni
