#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

namespace sni {

/// What an item hears of org.kde.StatusNotifierWatcher on one connection:
/// the watcher's name changing hands, its signals and property changes, and
/// the connection's own end. Nothing is asked here; it only listens.
class WatcherLink : public QObject
{
    Q_OBJECT

public:
    WatcherLink(const QDBusConnection &bus, QObject *parent);
    ~WatcherLink() override;

signals:
    /// Nobody owns the watcher's name any more.
    void watcherGone();
    /// A new owner has the watcher's name.
    void watcherCame();
    /// The connection has ended: the bus daemon has gone.
    void disconnected();
    /// Whether the watcher has a host may have changed.
    void hostsChanged();
    /// The watcher has dropped @p item, named as it names it.
    void itemUnregistered(const QString &item);
    /// The watcher's list of items is now @p items.
    void itemsChanged(const QStringList &items);
};

} // namespace sni
