#pragma once

#include <chrono>
#include <functional>
#include <optional>

class QObject;

/// The session bus, reached without the GUI thread ever waiting for it.
///
/// Connecting waits for the bus daemon's answer, and Qt keeps every other
/// caller of QDBusConnection::sessionBus() waiting until it has come (one
/// lock is held across the whole handshake). The first of those callers is
/// Qt's accessibility bridge, on the first widget's first change: a daemon
/// that is stopped or overloaded held the window for D-Bus's 25 s timeout,
/// and a stopped accessibility launcher (org.a11y.Bus) for twice that, since
/// the bridge asks it two questions and waits for each.
///
/// So the program connects on a thread of its own, started before the
/// application object, and asks from there what start-up needs to know:
/// whether the status notifier watcher has a host, and whether the
/// accessibility launcher answers at all. Nothing of the program's on the
/// GUI thread asks for the session bus before connecting is over. (Qt's own KDE and
/// portal themes connect while the application object is made, before the
/// program could step in: under them a stopped daemon still holds the start.)
///
/// Where there is no D-Bus, everything is settled from the start and there
/// is never a bus.
namespace SessionBus {

/// Starts connecting, on a thread that the program's end does not wait for.
/// The first call does, which must come from the main thread; made before
/// the application object where no bus can be had, it tells libdbus so,
/// so that nothing forks to look for one, and it makes room in the
/// environment for what prepareAccessibility() may have to set. Everything
/// below that needs the bus starts it where it has not been started yet. A
/// daemon that has not answered for two minutes is given up for the run:
/// connecting never settles, and the program says so on standard error.
void startConnecting();

/// Whether connecting ended connected.
bool isConnected();
/// Calls @p settled on @p context's thread once connecting is over, one way
/// or the other (at once when it already is), unless @p context is gone by
/// then.
void whenSettled(QObject *context, std::function<void()> settled);

/// What the status notifier watcher said when asked right after connecting:
/// whether it has a host that shows items (false where nobody owns its
/// name). No value while no answer has come, or after a timeout.
std::optional<bool> earlyWatcherAnswer();

/// Called after the application object is made and before the first widget.
/// Qt's accessibility bridge, made on the first widget's first change, asks
/// the session bus and the accessibility launcher, and waits for each answer.
/// Here the event loop runs until both have answered the connecting thread
/// (a few milliseconds, usually over before this is called), for at most
/// @p patience. A bus or launcher that has not answered by then is not asked
/// at all, and accessibility stays off for this run.
void prepareAccessibility(std::chrono::milliseconds patience);

} // namespace SessionBus
