#include "platform/BusCalls.h"
#include "platform/NativeWindow.h"
#include "platform/SessionBus.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QThread>
#include <dbus/dbus.h>
#include <mutex>
#include <thread>
#include <utility>

namespace SessionBus {
namespace {

/// What the connecting thread found, and who waits to hear of it.
struct Findings
{
    std::mutex mutex;
    bool settled = false;
    bool connected = false;
    std::optional<QDBusPendingCall> watcherQuestion;
    /// To the accessibility launcher, where one runs.
    std::optional<QDBusPendingCall> launcherQuestion;
    /// Taken out when their context goes, under the lock: the connecting
    /// thread posts to them under it.
    QList<std::pair<QObject *, std::function<void()>>> waiting;
};

/// Never destroyed: the connecting thread may still be at work when the
/// program ends.
Findings &findings()
{
    static auto *shared = new Findings;
    return *shared;
}

/// Whether the bus daemon answers: connected, and said hello to, on a
/// connection of its own that is closed again.
///
/// Qt makes every connection of the process on one thread of its own, one
/// after another. While that thread waits for a daemon that does not answer,
/// every other connection waits behind it, the accessibility bridge's on the
/// GUI thread among them. So Qt is asked only once the daemon has answered
/// here (or when there is no more to wait for).
void reachDaemon()
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (connection) {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
    dbus_error_free(&error);
}

/// On the connecting thread: this one may wait.
void connectAndAsk()
{
    reachDaemon();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    std::optional<QDBusPendingCall> watcher;
    std::optional<QDBusPendingCall> launcher;
    if (bus.isConnected()) {
        watcher = bus.asyncCall(BusCalls::watcherHostQuestion(), BusCalls::kAnswerTimeoutMs);
        // The launcher is asked by its unique name: the well-known one would
        // start one that is not running, which Qt never does.
        const QDBusReply<QString> owner = bus.call(
            BusCalls::busDaemon(QStringLiteral("GetNameOwner")) << QStringLiteral("org.a11y.Bus"));
        if (owner.isValid()) {
            QDBusMessage get = QDBusMessage::createMethodCall(
                owner.value(), QStringLiteral("/org/a11y/bus"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
            launcher = bus.asyncCall(get);
        }
    }
    Findings &found = findings();
    const std::lock_guard lock(found.mutex);
    found.settled = true;
    found.connected = bus.isConnected();
    found.watcherQuestion = std::move(watcher);
    found.launcherQuestion = std::move(launcher);
    for (auto &[context, settled] : std::exchange(found.waiting, {}))
        QMetaObject::invokeMethod(context, std::move(settled), Qt::QueuedConnection);
}

} // namespace

void startConnecting()
{
    static std::once_flag started;
    std::call_once(started, [] {
        // Qt takes the first thread that makes an object of it for the main
        // thread: this one, not the connecting thread, whatever comes first.
        QThread::currentThread();
        std::thread(connectAndAsk).detach();
    });
}

bool isSettled()
{
    const std::lock_guard lock(findings().mutex);
    return findings().settled;
}

bool isConnected()
{
    const std::lock_guard lock(findings().mutex);
    return findings().connected;
}

void whenSettled(QObject *context, std::function<void()> settled)
{
    startConnecting();
    Findings &found = findings();
    {
        const std::lock_guard lock(found.mutex);
        if (!found.settled) {
            found.waiting.append({context, std::move(settled)});
            QObject::connect(context, &QObject::destroyed, [context] {
                const std::lock_guard lock(findings().mutex);
                findings().waiting.removeIf(
                    [context](const auto &waiting) { return waiting.first == context; });
            });
            return;
        }
    }
    settled();
}

std::optional<bool> earlyWatcherAnswer()
{
    std::optional<QDBusPendingCall> question;
    {
        const std::lock_guard lock(findings().mutex);
        question = findings().watcherQuestion;
    }
    if (!question || !question->isFinished())
        return std::nullopt;
    const QDBusPendingReply<QDBusVariant> reply = *question;
    if (reply.isError())
        return BusCalls::watcherHostFromError(reply.error());
    return reply.value().variant().toBool();
}

void keepAccessibilityFromWaiting()
{
    // Given an address, the bridge asks nobody on the session bus.
    static const char kAddressVariable[] = "AT_SPI_BUS_ADDRESS";
    if (!qEnvironmentVariableIsEmpty(kAddressVariable))
        return;
    startConnecting();
    {
        const std::lock_guard lock(findings().mutex);
        const Findings &found = findings();
        // Whoever the bridge asks has answered just now.
        if (found.settled && (!found.launcherQuestion || found.launcherQuestion->isFinished()))
            return;
    }
    // The launcher publishes the address on the root window as well, where
    // the bridge looks too, and turns itself on when it finds it there: the
    // same bridge as otherwise, without the questions. Without it the bus
    // cannot be had now: an address of no transport fails at once.
    QByteArray address = NativeWindow::accessibilityBusAddress();
    if (address.isEmpty())
        address = QByteArrayLiteral("none:");
    qputenv(kAddressVariable, address);
    // Made now, while the address is there; nothing the program starts
    // inherits it afterwards.
    QAccessible::isActive();
    qunsetenv(kAddressVariable);
}

} // namespace SessionBus
