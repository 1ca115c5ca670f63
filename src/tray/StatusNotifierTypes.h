#pragma once

#include <QByteArray>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QDBusArgument;

/// The structures of org.kde.StatusNotifierItem and com.canonical.dbusmenu,
/// as they go over the bus.
namespace sni {

/// One image of the icon: ARGB32 pixels in network byte order.
struct IconPixmap
{
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using IconPixmapList = QList<IconPixmap>;

struct ToolTip
{
    QString iconName;
    IconPixmapList pixmaps;
    QString title;
    QString description;
};

/// One entry of a com.canonical.dbusmenu layout, (ia{sv}av): its id, its
/// properties and its entries, each wrapped in a variant.
struct MenuLayout
{
    int id = 0;
    QVariantMap properties;
    QList<MenuLayout> children;
};

/// (ia{sv}): an entry's id and properties.
struct MenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};

/// (ias): an entry's id and the names of properties it no longer has.
struct MenuItemKeys
{
    int id = 0;
    QStringList names;
};

/// (isvu): what the user did to an entry.
struct MenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

QDBusArgument &operator<<(QDBusArgument &argument, const IconPixmap &pixmap);
const QDBusArgument &operator>>(const QDBusArgument &argument, IconPixmap &pixmap);
QDBusArgument &operator<<(QDBusArgument &argument, const ToolTip &toolTip);
const QDBusArgument &operator>>(const QDBusArgument &argument, ToolTip &toolTip);
QDBusArgument &operator<<(QDBusArgument &argument, const MenuLayout &layout);
const QDBusArgument &operator>>(const QDBusArgument &argument, MenuLayout &layout);
QDBusArgument &operator<<(QDBusArgument &argument, const MenuItemProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, MenuItemProperties &item);
QDBusArgument &operator<<(QDBusArgument &argument, const MenuItemKeys &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, MenuItemKeys &item);
QDBusArgument &operator<<(QDBusArgument &argument, const MenuEvent &event);
const QDBusArgument &operator>>(const QDBusArgument &argument, MenuEvent &event);

/// Tells QtDBus how to send and read all of the above; before any of them
/// is sent or read.
void registerTypes();

} // namespace sni

Q_DECLARE_METATYPE(sni::IconPixmap)
Q_DECLARE_METATYPE(sni::ToolTip)
Q_DECLARE_METATYPE(sni::MenuLayout)
Q_DECLARE_METATYPE(sni::MenuItemProperties)
Q_DECLARE_METATYPE(sni::MenuItemKeys)
Q_DECLARE_METATYPE(sni::MenuEvent)
