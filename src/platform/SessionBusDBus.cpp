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
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
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
constexpr char kAccessibilityAddressVariable[] = "AT_SPI_BUS_ADDRESS";
/// Whether startConnecting() made room for the accessibility bus's address
/// in the environment, which prepareAccessibility() removes again.
bool s_roomForAccessibilityAddress = false;

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

/// How long a daemon that does not answer is asked again (each question
/// waits D-Bus's 25 s for it), and how far apart questions that fail at
/// once (a daemon that drops every new connection) are asked.
constexpr std::chrono::minutes kKeepAsking{2};
constexpr std::chrono::seconds kBetweenQuestions{1};

/// On the connecting thread: this one may wait.
void connectAndAsk()
{
    // A daemon that is stopped (a session stopped and continued) is asked
    // again for a while. After that the run goes on without the bus: it
    // never settles, so neither our item nor Qt's icon nor accessibility
    // asks Qt for it, whose one connecting thread would wait for the daemon
    // each time, the GUI thread and the program's end behind it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + kKeepAsking;
    for (;;) {
        const Clock::time_point asked = Clock::now();
        if (daemonAnswers())
            break;
        if (Clock::now() >= deadline) {
            std::fputs("IP: the session bus has not answered for two minutes; this run goes on "
                       "without it (no item in its notification area).\n",
                       stderr);
            return;
        }
        std::this_thread::sleep_until(asked + kBetweenQuestions);
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
        // The accessibility bus's address may have to be set once other
        // threads run (prepareAccessibility()). glibc 2.36's setenv()
        // reallocates the environment's array to add a variable, under a
        // getenv() that libdbus or Qt's threads may be running; replacing
        // the value of one already there only swaps a pointer, and unsetenv()
        // moves the later pointers down, freeing nothing. So the variable is
        // added now, empty (which Qt's bridge takes for unset), while this
        // is the only thread.
        if (!QCoreApplication::instance() &&
            !qEnvironmentVariableIsSet(kAccessibilityAddressVariable)) {
            qputenv(kAccessibilityAddressVariable, QByteArray());
            s_roomForAccessibilityAddress = true;
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
    if (!qEnvironmentVariableIsEmpty(kAccessibilityAddressVariable))
        return;
    // Nothing the program starts (later, on a click) inherits the room made.
    const bool madeRoom = std::exchange(s_roomForAccessibilityAddress, false);
    const auto removed = qScopeGuard([madeRoom] {
        if (madeRoom)
            qunsetenv(kAccessibilityAddressVariable);
    });
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
    // Without room made before the application (startConnecting() called
    // later), the variable is not added now: the bridge may wait then.
    if (heard || !qEnvironmentVariableIsSet(kAccessibilityAddressVariable))
        return;
    // The bridge would wait for the bus or the launcher. Given an address
    // of no transport it fails at once, and accessibility stays off for
    // this run. (Any address would: Qt 6.4 emits the change that turns the
    // bridge on from the constructor of its bus, before the bridge has
    // connected to it, so a bridge given an address never turns on.)
    qputenv(kAccessibilityAddressVariable, QByteArrayLiteral("none:"));
    // Made now, while the address is there.
    QAccessible::isActive();
    qputenv(kAccessibilityAddressVariable, QByteArray());
}

} // namespace SessionBus
