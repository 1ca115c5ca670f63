#include "platform/BusCalls.h"
#include "platform/SessionBus.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <dbus/dbus.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace SessionBus {
namespace {

using Waiting = QList<std::pair<QObject *, std::function<void()>>>;

/// What the connecting thread found, and who waits to hear of it.
struct Findings
{
    std::mutex mutex;
    bool settled = false;
    bool connected = false;
    /// The accessibility launcher has answered, or there is none.
    bool launcherHeard = false;
    std::optional<QDBusPendingCall> watcherQuestion;
    /// Taken out when their context goes, under the lock: the connecting
    /// thread posts to them under it.
    Waiting waitingForBus;
    Waiting waitingForLauncher;
};

/// Never destroyed: the connecting thread may still be at work when the
/// program ends.
Findings &findings()
{
    static auto *shared = new Findings;
    return *shared;
}

/// Under the lock.
void tell(Waiting &waiting)
{
    for (auto &[context, then] : std::exchange(waiting, {}))
        QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
}

/// Calls @p then on @p context's thread once @p done, at once if it is.
void when(bool Findings::*done, Waiting Findings::*waiting, QObject *context,
          std::function<void()> then)
{
    startConnecting();
    Findings &found = findings();
    {
        const std::lock_guard lock(found.mutex);
        if (!(found.*done)) {
            (found.*waiting).append({context, std::move(then)});
            QObject::connect(context, &QObject::destroyed, [context, waiting] {
                const std::lock_guard lock(findings().mutex);
                (findings().*waiting).removeIf([context](const auto &entry) {
                    return entry.first == context;
                });
            });
            return;
        }
    }
    then();
}

/// Whether the bus daemon answers: connected, and said hello to, on a
/// connection of its own that is closed again. False only where it has not
/// answered in D-Bus's time; a bus that cannot be reached at all says so at
/// once, and Qt will hear the same just as fast.
///
/// Qt makes every connection of the process on one thread of its own, one
/// after another. While that thread waits for a daemon that does not answer,
/// every other connection waits behind it (the accessibility bridge's on the
/// GUI thread among them), and the program's end waits for it. So Qt is
/// asked only once the daemon has answered here.
bool daemonAnswers()
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (connection) {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
    const bool silent = dbus_error_has_name(&error, DBUS_ERROR_NO_REPLY) ||
                        dbus_error_has_name(&error, DBUS_ERROR_TIMEOUT) ||
                        dbus_error_has_name(&error, DBUS_ERROR_TIMED_OUT);
    dbus_error_free(&error);
    return !silent;
}

constexpr char kBusAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";

/// Whether there is no session bus to be had. Given no address, and none at
/// the usual place in the user's runtime folder, libdbus looks for a bus by
/// starting dbus-launch, and forks this whole process to do so each time a
/// connection is asked for (twice at start-up, while the window is made).
/// Where no dbus-launch is installed that cannot find one.
bool noBusCanBeHad()
{
    if (!qEnvironmentVariableIsEmpty(kBusAddressVariable))
        return false;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat bus = {};
    if (!runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &bus) == 0 &&
        S_ISSOCK(bus.st_mode) && bus.st_uid == ::getuid())
        return false;
    // Where libdbus looks for it first, then the path.
    return ::access("/usr/bin/dbus-launch", X_OK) != 0 &&
           QStandardPaths::findExecutable(QStringLiteral("dbus-launch")).isEmpty();
}

/// On the connecting thread: this one may wait.
void connectAndAsk()
{
    // A daemon that is stopped is asked again, for as long as it takes.
    while (!daemonAnswers()) {
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    std::optional<QDBusPendingCall> launcher;
    Findings &found = findings();
    {
        const std::lock_guard lock(found.mutex);
        found.settled = true;
        found.connected = bus.isConnected();
        if (found.connected)
            found.watcherQuestion =
                bus.asyncCall(BusCalls::watcherHostQuestion(), BusCalls::kAnswerTimeoutMs);
        tell(found.waitingForBus);
    }
    if (bus.isConnected()) {
        // Asked by its unique name: the well-known one would start a
        // launcher that is not running, which Qt never does.
        const QDBusReply<QString> owner = bus.call(
            BusCalls::busDaemon(QStringLiteral("GetNameOwner")) << QStringLiteral("org.a11y.Bus"));
        if (owner.isValid()) {
            QDBusMessage get = QDBusMessage::createMethodCall(
                owner.value(), QStringLiteral("/org/a11y/bus"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
            bus.call(get);
        }
    }
    const std::lock_guard lock(found.mutex);
    found.launcherHeard = true;
    tell(found.waitingForLauncher);
}

} // namespace

void startConnecting()
{
    static std::once_flag started;
    std::call_once(started, [] {
        // Qt takes the first thread that makes an object of it for the main
        // thread: this one, not the connecting thread, whatever comes first.
        QThread::currentThread();
        // Told up front, in an address of no transport, which fails at once:
        // no fork. libdbus reads the address once, on the first question,
        // and keeps it: asked here, the variable is as it was again before
        // any other thread could read the environment, and nothing the
        // program starts inherits it. Only before the application object,
        // while no other thread runs.
        if (!QCoreApplication::instance() && noBusCanBeHad()) {
            const bool wasSet = qEnvironmentVariableIsSet(kBusAddressVariable);
            qputenv(kBusAddressVariable, QByteArrayLiteral("none:"));
            daemonAnswers();
            if (wasSet)
                qputenv(kBusAddressVariable, QByteArray());
            else
                qunsetenv(kBusAddressVariable);
        }
        std::thread(connectAndAsk).detach();
    });
}

bool isConnected()
{
    const std::lock_guard lock(findings().mutex);
    return findings().connected;
}

void whenSettled(QObject *context, std::function<void()> settled)
{
    when(&Findings::settled, &Findings::waitingForBus, context, std::move(settled));
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

void prepareAccessibility(std::chrono::milliseconds patience)
{
    // Given an address, the bridge asks nobody on the session bus.
    static const char kAddressVariable[] = "AT_SPI_BUS_ADDRESS";
    if (!qEnvironmentVariableIsEmpty(kAddressVariable))
        return;
    QEventLoop waiting;
    bool heard = false;
    when(&Findings::launcherHeard, &Findings::waitingForLauncher, &waiting, [&] {
        heard = true;
        waiting.quit();
    });
    if (!heard) {
        QTimer::singleShot(patience, &waiting, &QEventLoop::quit);
        waiting.exec();
    }
    if (heard)
        return;
    // The bridge would wait for the bus or the launcher. Given an address
    // of no transport it fails at once, and accessibility stays off for
    // this run. (Any address would: Qt 6.4 emits the change that turns the
    // bridge on from the constructor of its bus, before the bridge has
    // connected to it, so a bridge given an address never turns on.)
    qputenv(kAddressVariable, QByteArrayLiteral("none:"));
    // Made now, while the address is there; nothing the program starts
    // inherits it afterwards.
    QAccessible::isActive();
    qunsetenv(kAddressVariable);
}

} // namespace SessionBus
