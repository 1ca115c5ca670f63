#include "platform/BusCalls.h"
#include "platform/SessionBus.h"
#include "tray/DBusMenuExporter.h"
#include "tray/StatusNotifierItem.h"
#include "tray/StatusNotifierItemObject.h"
#include "tray/StatusNotifierTypes.h"
#include "tray/StatusNotifierWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");

} // namespace

struct StatusNotifierItem::Private
{
    Private(StatusNotifierItem *owner, const QIcon &icon, const QString &toolTip, QMenu *entries)
        : q(owner)
        , item(icon, toolTip, entries, kMenuPath)
        , menu(entries)
    {}

    void start();
    bool exportObjects();
    void withdrawObjects();
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
    sni::StatusNotifierItemObject item;
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
    sni::WatcherLink *onBus = nullptr;
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

bool StatusNotifierItem::Private::exportObjects()
{
    exported = bus.registerObject(kItemPath, &item, QDBusConnection::ExportAdaptors) &&
               bus.registerObject(kMenuPath, &menu, QDBusConnection::ExportAdaptors);
    return exported;
}

void StatusNotifierItem::Private::withdrawObjects()
{
    if (!exported)
        return;
    bus.unregisterObject(kItemPath);
    bus.unregisterObject(kMenuPath);
    exported = false;
}

void StatusNotifierItem::Private::attach(const QDBusConnection &connection)
{
    bus = connection;
    onBus = new sni::WatcherLink(bus, q);

    // A watcher that comes is asked; one that goes takes its host with it.
    QObject::connect(onBus, &sni::WatcherLink::watcherGone, q, [this] {
        ++question;
        settle(true, false);
    });
    QObject::connect(onBus, &sni::WatcherLink::watcherCame, q, [this] {
        // Not known again until the new one has answered; whatever the last
        // one dropped counts no more.
        dropsInARow = 0;
        reRegister.stop();
        settle(false, false);
        askWatcher();
    });
    // The bus gone, so is every host on it: the icon goes elsewhere, or
    // the window comes back.
    QObject::connect(onBus, &sni::WatcherLink::disconnected, q, [this] { lost(); });
    QObject::connect(onBus, &sni::WatcherLink::hostsChanged, q, [this] { askWatcher(); });
    // GNOME Shell's AppIndicator extension (version 46) may drop an item it
    // has just taken when it fails to read it ("While initalizing proxy
    // for ...: Argument two may not be null"), most often while the shell
    // starts: the item registers again.
    QObject::connect(onBus, &sni::WatcherLink::itemUnregistered, q,
                     [this](const QString &registered) {
                         if (namesThisItem(registered))
                             droppedByWatcher();
                     });
    QObject::connect(onBus, &sni::WatcherLink::itemsChanged, q, [this](const QStringList &items) {
        if (!shown || !nameOwned || !hostPresent)
            return;
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
        if (exportObjects())
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
    bus.asyncCall(QDBusMessage::createMethodCall(BusCalls::kWatcherService, BusCalls::kWatcherPath,
                                                 BusCalls::kWatcherService,
                                                 QStringLiteral("RegisterStatusNotifierItem"))
                  << serviceName);
}

StatusNotifierItem::StatusNotifierItem(const QIcon &icon, const QString &toolTip, QMenu *menu,
                                       QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, icon, toolTip, menu))
{
    sni::registerTypes();
    d->serviceName =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
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
        d->withdrawObjects();
        if (std::exchange(d->nameOwned, false))
            d->bus.asyncCall(BusCalls::busDaemon(QStringLiteral("ReleaseName")) << d->serviceName);
        return;
    }
    if (d->exportObjects())
        d->requestName();
}
