#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <vector>

/// Which Qt platform plugin the program asks for before it starts.
namespace WindowSystem {

struct Session
{
    bool waylandDisplay = false; ///< WAYLAND_DISPLAY is set
    bool x11Display = false;     ///< DISPLAY is set (XWayland, on a Wayland session)
    bool platformChosen = false; ///< QT_QPA_PLATFORM or -platform says what to use
};

/// The floating window needs what only X11 offers a client: placing its
/// own window and staying above others. On a Wayland session that has
/// XWayland, and where the user chose nothing, that is "xcb"; otherwise
/// nothing (an empty result: Qt's own choice).
QByteArray platformFor(const Session &session);

/// The session as the environment and the command line describe it.
Session current(const QByteArrayList &arguments);

/// The command line the application is made with: the program's own, with
/// the platform platformFor(current()) chooses added, for this process only.
/// Never through the environment: everything the program starts (the
/// browser, through the desktop's opener) would inherit it.
class CommandLine
{
public:
    CommandLine(int argc, char *argv[]);

    /// For QApplication, which keeps both for as long as it lives.
    int &argc() { return m_argc; }
    char **argv() { return m_argv.data(); }

private:
    QByteArrayList m_arguments;
    std::vector<char *> m_argv;
    int m_argc = 0;
};

/// Before the application is made, and before any thread: leaves the
/// window system the file descriptors it needs. Under a low RLIMIT_NOFILE
/// the soft limit goes up towards the hard one; where even that is low,
/// Qt's X11 backing store does without shared memory, whose segments come
/// as descriptors in replies: libxcb 1.15 waits for good for a reply whose
/// descriptor found no free slot (Qt 6.4's QBackingStore::resize, in
/// xcb_wait_for_reply).
void makeRoomForDescriptors();

/// Before the application is made: why the program cannot start with the
/// address space it is allowed (RLIMIT_AS, ulimit -v), after raising the
/// soft limit towards the hard one; empty when it can. Short of it, Qt 6.4
/// fails in ways that never end: a thread it cannot start leaves the
/// accessibility bridge waiting for the bus for good, and a platform
/// plugin that fails half-made waits for good for its X event reader.
QString whyTooLittleAddressSpace();

/// Whether the running application shows its windows on the desktop the
/// user sits at: not with Qt's platforms that show them nowhere (offscreen,
/// minimal) or elsewhere (a VNC server, the framebuffer, a display of
/// Vulkan's of its own).
bool showsOnTheDesktop();

/// The X display the windows are on: the one the command line names
/// (-display), else $DISPLAY. After CommandLine was made.
QByteArray displayShownOn();

} // namespace WindowSystem
