#include "tray/StatusNotifierWatcher.h"

#include "platform/BusCalls.h"

#include <QDBusAbstractInterface>
#include <QDBusServiceWatcher>
#include <QVariantMap>

namespace sni {

/// The watcher's signals, from whoever owns its name now: a proxy without a
/// service name, so that Qt neither asks the bus who owns the name nor
/// waits for the answer.
class WatcherSignals : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    WatcherSignals(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(QString(), BusCalls::kWatcherPath,
                                 BusCalls::kWatcherService.toLatin1().constData(), bus, parent)
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
        : QDBusAbstractInterface(QString(), BusCalls::kWatcherPath,
                                 "org.freedesktop.DBus.Properties", bus, parent)
    {}

signals:
    void PropertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &invalidated);
};

WatcherLink::WatcherLink(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
{
    auto *owner = new QDBusServiceWatcher(BusCalls::kWatcherService, bus,
                                          QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                if (newOwner.isEmpty())
                    emit watcherGone();
                else
                    emit watcherCame();
            });
    auto *local = new LocalSignals(bus, this);
    connect(local, &LocalSignals::Disconnected, this, &WatcherLink::disconnected);
    auto *hosts = new WatcherSignals(bus, this);
    connect(hosts, &WatcherSignals::StatusNotifierHostRegistered, this, &WatcherLink::hostsChanged);
    connect(hosts, &WatcherSignals::StatusNotifierHostUnregistered, this,
            &WatcherLink::hostsChanged);
    connect(hosts, &WatcherSignals::StatusNotifierItemUnregistered, this,
            &WatcherLink::itemUnregistered);
    auto *properties = new WatcherProperties(bus, this);
    connect(
        properties, &WatcherProperties::PropertiesChanged, this,
        [this](const QString &interface, const QVariantMap &changed, const QStringList &invalid) {
            if (interface != BusCalls::kWatcherService)
                return;
            const QString hostKey = QStringLiteral("IsStatusNotifierHostRegistered");
            if (changed.contains(hostKey) || invalid.contains(hostKey))
                emit hostsChanged();
            const QString itemsKey = QStringLiteral("RegisteredStatusNotifierItems");
            if (changed.contains(itemsKey))
                emit itemsChanged(changed.value(itemsKey).toStringList());
        });
}

WatcherLink::~WatcherLink() = default;

} // namespace sni

#include "StatusNotifierWatcher.moc"
