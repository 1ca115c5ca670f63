#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QString>

/// Reading a StatusNotifierItem's properties as a panel reads them.
namespace StatusNotifier {

/// A list of icon images, (width, height, ARGB pixels) each: the widths of
/// those whose pixels are all there.
inline QList<int> imageWidths(const QDBusArgument &images)
{
    QList<int> widths;
    images.beginArray();
    while (!images.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray pixels;
        images.beginStructure();
        images >> width >> height >> pixels;
        images.endStructure();
        if (pixels.size() == width * height * 4)
            widths.append(width);
    }
    images.endArray();
    return widths;
}

/// The title of a ToolTip property: (icon name, images, title, text).
inline QString toolTipTitle(const QDBusArgument &toolTip)
{
    QString iconName;
    QString title;
    toolTip.beginStructure();
    toolTip >> iconName;
    imageWidths(toolTip);
    toolTip >> title;
    return title;
}

} // namespace StatusNotifier
