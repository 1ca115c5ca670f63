#pragma once

#include <QByteArray>
#include <QByteArrayList>

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

/// Applies platformFor(current()) for the QApplication about to be made.
void choose(int argc, char *argv[]);

} // namespace WindowSystem
