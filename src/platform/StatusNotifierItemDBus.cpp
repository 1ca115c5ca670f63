#include "platform/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QMenu>
#include <QtEndian>

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

} // namespace sni

Q_DECLARE_METATYPE(sni::IconPixmap)
Q_DECLARE_METATYPE(sni::ToolTip)

namespace sni {

QDBusArgument &operator<<(QDBusArgument &argument, const IconPixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, IconPixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ToolTip &toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ToolTip &toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.description;
    argument.endStructure();
    return argument;
}

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");

/// Whether the watcher has a host to show items.
QDBusMessage hostRegisteredQuestion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

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

/// The org.kde.StatusNotifierItem interface of the item's object.
class ItemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(sni::IconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    ItemAdaptor(QObject *item, const QIcon &icon, const QString &toolTip, QMenu *menu)
        : QDBusAbstractAdaptor(item)
        , m_pixmaps(pixmapsOf(icon))
        , m_toolTip(toolTip)
        , m_menu(menu)
    {}

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QCoreApplication::applicationName(); }
    QString title() const { return m_toolTip; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return {}; }
    IconPixmapList iconPixmap() const { return m_pixmaps; }
    ToolTip toolTip() const { return {QString(), {}, m_toolTip, QString()}; }
    bool itemIsMenu() const { return false; }
    // No exported menu: hosts ask for it with ContextMenu instead.
    QDBusObjectPath menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }

public slots:
    void ContextMenu(int x, int y) { m_menu->popup(QPoint(x, y)); }
    // Only a right click does anything.
    void Activate(int, int) {}
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString &) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    IconPixmapList m_pixmaps;
    QString m_toolTip;
    QMenu *m_menu;
};

} // namespace sni

struct StatusNotifierItem::Private
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QString serviceName;
    QObject item;
    QDBusServiceWatcher *watcher = nullptr;
    bool hostPresent = false;
    bool shown = false;
    bool exported = false;
};

StatusNotifierItem::StatusNotifierItem(const QIcon &icon, const QString &toolTip, QMenu *menu,
                                       QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    if (!d->bus.isConnected())
        return;
    qDBusRegisterMetaType<sni::IconPixmap>();
    qDBusRegisterMetaType<sni::IconPixmapList>();
    qDBusRegisterMetaType<sni::ToolTip>();
    d->serviceName =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    new sni::ItemAdaptor(&d->item, icon, toolTip, menu);

    const auto askWatcher = [this] {
        // Asked without waiting, so a hanging bus never stops the window.
        auto *call =
            new QDBusPendingCallWatcher(d->bus.asyncCall(sni::hostRegisteredQuestion()), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
            call->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *call;
            const bool present = !reply.isError() && reply.value().variant().toBool();
            if (present != d->hostPresent) {
                // Whoever shows the item decides whether it is shown now.
                d->hostPresent = present;
                emit hostPresenceChanged();
                return;
            }
            // Another watcher in place of the last one: tell it too.
            if (present && isShown())
                registerWithWatcher();
        });
    };

    d->watcher = new QDBusServiceWatcher(sni::kWatcherService, d->bus,
                                         QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(d->watcher, &QDBusServiceWatcher::serviceRegistered, this, askWatcher);
    connect(d->watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (!d->hostPresent)
            return;
        d->hostPresent = false;
        emit hostPresenceChanged();
    });
    askWatcher();
}

StatusNotifierItem::~StatusNotifierItem()
{
    setShown(false);
}

bool StatusNotifierItem::isHostPresent() const
{
    return d->hostPresent;
}

bool StatusNotifierItem::isHostPresentNow() const
{
    if (!d->bus.isConnected())
        return false;
    constexpr int kTimeoutMs = 1000;
    const QDBusReply<QDBusVariant> reply =
        d->bus.call(sni::hostRegisteredQuestion(), QDBus::Block, kTimeoutMs);
    return reply.isValid() && reply.value().variant().toBool();
}

bool StatusNotifierItem::isShown() const
{
    return d->shown && d->exported;
}

void StatusNotifierItem::setShown(bool shown)
{
    if (!d->bus.isConnected() || shown == d->shown)
        return;
    d->shown = shown;
    if (!shown) {
        // The watcher drops the item when its name goes.
        if (d->exported) {
            d->bus.unregisterObject(sni::kItemPath);
            d->bus.unregisterService(d->serviceName);
            d->exported = false;
        }
        return;
    }
    d->exported = d->bus.registerService(d->serviceName) &&
                  d->bus.registerObject(sni::kItemPath, &d->item, QDBusConnection::ExportAdaptors);
    if (d->exported && d->hostPresent)
        registerWithWatcher();
}

void StatusNotifierItem::registerWithWatcher()
{
    d->bus.asyncCall(QDBusMessage::createMethodCall(sni::kWatcherService, sni::kWatcherPath,
                                                    sni::kWatcherService,
                                                    QStringLiteral("RegisterStatusNotifierItem"))
                     << d->serviceName);
}

#include "StatusNotifierItemDBus.moc"
