#pragma once

#include <QDBusError>
#include <QDBusMessage>
#include <QString>
#include <optional>

/// Calls to the session bus that more than one part of the program makes.
namespace BusCalls {

/// The status notifier watcher.
inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
inline const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

/// How long a question to the watcher may stay unanswered before it is
/// asked again: D-Bus's own default.
constexpr int kAnswerTimeoutMs = 25000;

/// A method of the bus daemon itself.
inline QDBusMessage busDaemon(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

/// Asks the watcher whether it has a host that shows items.
inline QDBusMessage watcherHostQuestion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

/// What an error in answer to that says: no host (nobody owns the name, or
/// a watcher that cannot tell), or nothing yet (busy or hung: ask again).
inline std::optional<bool> watcherHostFromError(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return std::nullopt;
    default:
        return false;
    }
}

} // namespace BusCalls
