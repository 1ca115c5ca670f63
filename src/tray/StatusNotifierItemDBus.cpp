#include "platform/BusCalls.h"
#include "platform/SessionBus.h"
#include "tray/DBusMenuExporter.h"
#include "tray/StatusNotifierItem.h"
#include "tray/StatusNotifierTypes.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace sni {

namespace {

using BusCalls::kWatcherPath;
using BusCalls::kWatcherService;
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");

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

/// The watcher's signals, from whoever owns its name now: a proxy without a
/// service name, so that Qt neither asks the bus who owns the name nor
/// waits for the answer.
class WatcherSignals : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    WatcherSignals(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(QString(), kWatcherPath, kWatcherService.toLatin1().constData(),
                                 bus, parent)
    {}

signals:
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();
    void StatusNotifierItemUnregistered(const QString &item);
};

/// The connection's own end, which libdbus tells as a local signal: QtDBus
/// 6.4 says nothing else when the bus daemon goes away (killed, or its
/// session ended), and its connection never comes back.
class LocalSignals : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    LocalSignals(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                                 "org.freedesktop.DBus.Local", bus, parent)
    {}

signals:
    void Disconnected();
};

/// The watcher's property changes, from whoever sends them at its path.
/// Some watchers tell of a lost host only so (xapp-sn-watcher 1.x changes
/// IsStatusNotifierHostRegistered and never sends
/// StatusNotifierHostUnregistered), and some drop an item without a word
/// but for its list.
class WatcherProperties : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    WatcherProperties(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(QString(), kWatcherPath, "org.freedesktop.DBus.Properties", bus,
                                 parent)
    {}

signals:
    void PropertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &invalidated);
};

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
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(sni::IconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ iconThemePath)
    Q_PROPERTY(sni::IconPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ iconThemePath)
    Q_PROPERTY(sni::IconPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ iconThemePath)
    Q_PROPERTY(sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    ItemAdaptor(QObject *item, const QIcon &icon, const QString &toolTip, QMenu *menu)
        : QDBusAbstractAdaptor(item)
        , m_icon(icon)
        , m_toolTip(toolTip)
        , m_menu(menu)
    {}

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QCoreApplication::applicationName(); }
    QString title() const { return m_toolTip; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const { return {}; }
    QString iconName() const { return {}; }
    IconPixmapList iconPixmap() const
    {
        // Made when a host first asks, not at start-up.
        if (!m_pixmaps)
            m_pixmaps = pixmapsOf(m_icon);
        return *m_pixmaps;
    }
    IconPixmapList noPixmaps() const { return {}; }
    ToolTip toolTip() const { return {QString(), {}, m_toolTip, QString()}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(kMenuPath); }

public slots:
    // Hosts that draw no menu of their own ask for ours at the pointer.
    void ContextMenu(int x, int y)
    {
        if (m_menu)
            m_menu->popup(QPoint(x, y));
    }
    // Only the menu does anything.
    void Activate(int, int) {}
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString &) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    QIcon m_icon;
    mutable std::optional<IconPixmapList> m_pixmaps;
    QString m_toolTip;
    QPointer<QMenu> m_menu;
};

} // namespace sni

struct StatusNotifierItem::Private
{
    Private(StatusNotifierItem *item, QMenu *entries)
        : q(item)
        , menu(entries)
    {}

    void start();
    void attach(const QDBusConnection &connection);
    void lost();
    void tryToReconnect();
    void askWatcher();
    void heard(bool isHostPresent);
    void settle(bool isSettled, bool isHostPresent);
    void requestName();
    void registerWithWatcher();
    bool namesThisItem(const QString &registered) const;
    void droppedByWatcher();

    StatusNotifierItem *const q;
    /// Not connected until the session bus is settled.
    QDBusConnection bus{QString()};
    QString serviceName;
    QObject item;
    sni::DBusMenuExporter menu;
    bool settled = false;
    bool hostPresent = false;
    bool shown = false;
    bool exported = false;
    bool nameOwned = false;
    /// Answers to an older question, or to a request for the name made
    /// before the last withdrawal, are out of date when they come.
    quint64 question = 0;
    quint64 nameRequest = 0;
    /// Registering again after a watcher dropped the item: soon at first,
    /// then ever later while it keeps dropping it, so that a watcher that
    /// will never keep it costs next to nothing.
    QTimer reRegister;
    int dropsInARow = 0;
    QElapsedTimer registeredFor;
    /// What follows the watcher on the present connection.
    QObject *onBus = nullptr;
    /// After the bus went: a connection of our own, tried on a thread
    /// (connecting waits for the daemon) ever less often until one is had.
    QTimer reconnect;
    std::chrono::milliseconds reconnectDelay{0};
    std::future<bool> connecting;
    QString connectionName;
    int connections = 0;
};

void StatusNotifierItem::Private::settle(bool isSettled, bool isHostPresent)
{
    if (isSettled == settled && isHostPresent == hostPresent)
        return;
    settled = isSettled;
    hostPresent = isHostPresent;
    emit q->hostPresenceChanged();
}

void StatusNotifierItem::Private::start()
{
    reRegister.setSingleShot(true);
    QObject::connect(&reRegister, &QTimer::timeout, q, [this] {
        if (shown && nameOwned && hostPresent)
            registerWithWatcher();
    });
    reconnect.setSingleShot(true);
    QObject::connect(&reconnect, &QTimer::timeout, q, [this] { tryToReconnect(); });
    if (!SessionBus::isConnected()) {
        settle(true, false);
        return;
    }
    attach(QDBusConnection::sessionBus());
    // The answer to the question asked on connecting has usually come by
    // now: the icon goes where it belongs at once. Asked again all the same,
    // since a watcher may have come or gone before the changes were watched.
    if (const std::optional<bool> early = SessionBus::earlyWatcherAnswer())
        heard(*early);
    askWatcher();
}

void StatusNotifierItem::Private::attach(const QDBusConnection &connection)
{
    bus = connection;
    onBus = new QObject(q);

    // A watcher that comes is asked; one that goes takes its host with it.
    auto *owner = new QDBusServiceWatcher(sni::kWatcherService, bus,
                                          QDBusServiceWatcher::WatchForOwnerChange, onBus);
    QObject::connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, q,
                     [this](const QString &, const QString &, const QString &newOwner) {
                         if (newOwner.isEmpty()) {
                             ++question;
                             settle(true, false);
                         } else {
                             // Not known again until the new one has answered;
                             // whatever the last one dropped counts no more.
                             dropsInARow = 0;
                             reRegister.stop();
                             settle(false, false);
                             askWatcher();
                         }
                     });
    // The bus gone, so is every host on it: the icon goes elsewhere, or
    // the window comes back.
    auto *local = new sni::LocalSignals(bus, onBus);
    QObject::connect(local, &sni::LocalSignals::Disconnected, q, [this] { lost(); });
    auto *hosts = new sni::WatcherSignals(bus, onBus);
    QObject::connect(hosts, &sni::WatcherSignals::StatusNotifierHostRegistered, q,
                     [this] { askWatcher(); });
    QObject::connect(hosts, &sni::WatcherSignals::StatusNotifierHostUnregistered, q,
                     [this] { askWatcher(); });
    // GNOME Shell's AppIndicator extension (version 46) may drop an item it
    // has just taken when it fails to read it ("While initalizing proxy
    // for ...: Argument two may not be null"), most often while the shell
    // starts: the item registers again.
    QObject::connect(hosts, &sni::WatcherSignals::StatusNotifierItemUnregistered, q,
                     [this](const QString &registered) {
                         if (namesThisItem(registered))
                             droppedByWatcher();
                     });
    auto *properties = new sni::WatcherProperties(bus, onBus);
    QObject::connect(
        properties, &sni::WatcherProperties::PropertiesChanged, q,
        [this](const QString &interface, const QVariantMap &changed, const QStringList &invalid) {
            if (interface != sni::kWatcherService)
                return;
            const QString hostKey = QStringLiteral("IsStatusNotifierHostRegistered");
            if (changed.contains(hostKey) || invalid.contains(hostKey))
                askWatcher();
            const QString itemsKey = QStringLiteral("RegisteredStatusNotifierItems");
            if (!changed.contains(itemsKey) || !shown || !nameOwned || !hostPresent)
                return;
            const QStringList items = changed.value(itemsKey).toStringList();
            if (std::none_of(items.cbegin(), items.cend(),
                             [this](const QString &item) { return namesThisItem(item); }))
                droppedByWatcher();
        });
}

void StatusNotifierItem::Private::lost()
{
    if (!onBus)
        return;
    ++question;
    ++nameRequest;
    reRegister.stop();
    exported = false;
    nameOwned = false;
    onBus->deleteLater();
    onBus = nullptr;
    settle(true, false);
    // Not shown any more either, whatever the host was.
    emit q->hostPresenceChanged();
    reconnectDelay = std::chrono::milliseconds(1000);
    reconnect.start(reconnectDelay);
}

void StatusNotifierItem::Private::tryToReconnect()
{
    using namespace std::chrono_literals;
    if (!connecting.valid()) {
        connectionName = QStringLiteral("kestrune-session-%1").arg(++connections);
        auto promise = std::make_shared<std::promise<bool>>();
        connecting = promise->get_future();
        std::thread([promise, name = connectionName] {
            promise->set_value(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, name).isConnected());
        }).detach();
    }
    // Looked at again shortly: the thread is never waited for (a program
    // that ends while a daemon keeps it waiting ends with it still there).
    if (connecting.wait_for(0s) != std::future_status::ready) {
        reconnect.start(100ms);
        return;
    }
    if (!connecting.get()) {
        QDBusConnection::disconnectFromBus(connectionName);
        reconnectDelay = std::min(reconnectDelay * 2, std::chrono::milliseconds(60000));
        reconnect.start(reconnectDelay);
        return;
    }
    attach(QDBusConnection(connectionName));
    settle(false, false);
    askWatcher();
    if (shown) {
        exported = bus.registerObject(sni::kItemPath, &item, QDBusConnection::ExportAdaptors) &&
                   bus.registerObject(sni::kMenuPath, &menu, QDBusConnection::ExportAdaptors);
        if (exported)
            requestName();
    }
}

void StatusNotifierItem::Private::askWatcher()
{
    const quint64 asked = ++question;
    auto *call = new QDBusPendingCallWatcher(
        bus.asyncCall(BusCalls::watcherHostQuestion(), BusCalls::kAnswerTimeoutMs), q);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, q, [this, call, asked] {
        call->deleteLater();
        if (asked != question)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *call;
        const std::optional<bool> present = reply.isError()
                                                ? BusCalls::watcherHostFromError(reply.error())
                                                : reply.value().variant().toBool();
        // Busy or hung: ask again, and again wait without waiting.
        if (!present)
            askWatcher();
        else
            heard(*present);
    });
}

void StatusNotifierItem::Private::heard(bool isHostPresent)
{
    settle(true, isHostPresent);
    // Perhaps a new watcher in place of the last one: tell it too.
    if (isHostPresent && shown && nameOwned)
        registerWithWatcher();
}

void StatusNotifierItem::Private::requestName()
{
    const quint64 requested = ++nameRequest;
    constexpr uint kDoNotQueue = 4; // DBUS_NAME_FLAG_DO_NOT_QUEUE
    auto *call =
        new QDBusPendingCallWatcher(bus.asyncCall(BusCalls::busDaemon(QStringLiteral("RequestName"))
                                                  << serviceName << kDoNotQueue),
                                    q);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, q, [this, call, requested] {
        call->deleteLater();
        if (requested != nameRequest || !shown)
            return;
        const QDBusPendingReply<uint> reply = *call;
        constexpr uint kPrimaryOwner = 1;
        constexpr uint kAlreadyOwner = 4;
        nameOwned =
            !reply.isError() && (reply.value() == kPrimaryOwner || reply.value() == kAlreadyOwner);
        if (nameOwned && hostPresent)
            registerWithWatcher();
        emit q->hostPresenceChanged();
    });
}

bool StatusNotifierItem::Private::namesThisItem(const QString &registered) const
{
    // As the item registered itself ("org.kde.StatusNotifierItem-PID-1"), or
    // as the watcher names it: with its path after '/' or '@', or by the
    // connection's unique name.
    for (const QString &name : {serviceName, bus.baseService()}) {
        if (name.isEmpty())
            continue;
        if (registered == name ||
            (registered.startsWith(name) &&
             (registered.at(name.size()) == u'/' || registered.at(name.size()) == u'@')))
            return true;
    }
    return false;
}

void StatusNotifierItem::Private::droppedByWatcher()
{
    if (!shown || !nameOwned || reRegister.isActive())
        return;
    // Kept a good while last time: a new drop is the first of its kind.
    constexpr qint64 kKeptMs = 60000;
    if (registeredFor.isValid() && registeredFor.elapsed() > kKeptMs)
        dropsInARow = 0;
    constexpr int kFirstDelayMs = 250;
    constexpr int kLongestDelayMs = 60000;
    reRegister.start(std::min(kLongestDelayMs, kFirstDelayMs << std::min(dropsInARow, 8)));
    ++dropsInARow;
}

void StatusNotifierItem::Private::registerWithWatcher()
{
    registeredFor.start();
    bus.asyncCall(QDBusMessage::createMethodCall(sni::kWatcherService, sni::kWatcherPath,
                                                 sni::kWatcherService,
                                                 QStringLiteral("RegisterStatusNotifierItem"))
                  << serviceName);
}

StatusNotifierItem::StatusNotifierItem(const QIcon &icon, const QString &toolTip, QMenu *menu,
                                       QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, menu))
{
    sni::registerTypes();
    d->serviceName =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    new sni::ItemAdaptor(&d->item, icon, toolTip, menu);
    SessionBus::whenSettled(this, [this] { d->start(); });
}

StatusNotifierItem::~StatusNotifierItem()
{
    setShown(false);
}

bool StatusNotifierItem::isSettled() const
{
    return d->settled;
}

bool StatusNotifierItem::isHostPresent() const
{
    return d->hostPresent;
}

bool StatusNotifierItem::isShown() const
{
    return d->shown && d->nameOwned;
}

void StatusNotifierItem::setShown(bool shown)
{
    if (!d->bus.isConnected() || shown == d->shown)
        return;
    d->shown = shown;
    if (!shown) {
        ++d->nameRequest;
        d->reRegister.stop();
        // The watcher drops the item when its name goes.
        if (d->exported) {
            d->bus.unregisterObject(sni::kItemPath);
            d->bus.unregisterObject(sni::kMenuPath);
            d->exported = false;
        }
        if (std::exchange(d->nameOwned, false))
            d->bus.asyncCall(BusCalls::busDaemon(QStringLiteral("ReleaseName")) << d->serviceName);
        return;
    }
    d->exported =
        d->bus.registerObject(sni::kItemPath, &d->item, QDBusConnection::ExportAdaptors) &&
        d->bus.registerObject(sni::kMenuPath, &d->menu, QDBusConnection::ExportAdaptors);
    if (d->exported)
        d->requestName();
}

#include "StatusNotifierItemDBus.moc"
