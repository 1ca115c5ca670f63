#pragma once

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

/// Acting and looking through the X server as a person or another program
/// would: real pointer and key events (XTEST, through xdotool), window
/// properties as the window manager set them (xprop, xwininfo) and the
/// clipboard as another process reads it (xclip).
namespace XTools {

/// Runs @p program and returns its standard output; @p ok tells whether it
/// ran and exited with status 0.
/// Sends whatever this process still holds back to the X server and waits
/// until the server has done it, so that input another program sends next
/// meets the windows and grabs as this process last left them.
void syncOwnConnection();

/// Gives the X input focus to a window of its own that Qt knows nothing of,
/// as another program taking the focus would; the window goes with the
/// returned handle's destruction.
std::shared_ptr<void> focusElsewhere();

QString output(const QString &program, const QStringList &arguments, bool *ok = nullptr);
bool run(const QString &program, const QStringList &arguments);

QString property(WId window, const QString &name);
/// Position and size of @p window on the root window, as the server has it.
QRect geometry(WId window);
/// The windows mapped on the root window itself, of every program: frames,
/// panels, popup menus.
int topLevelWindowCount();
/// What the screen shows in @p area, as another program reads it.
QImage screenshot(const QRect &area);

/// A spot inside @p area for the @p n-th press there: presses in quick
/// succession at one spot make a double click, which opens nothing.
QPoint pressSpot(const QRect &area, int n);

bool movePointer(QPoint global);
bool pressButton(int button);
bool releaseButton(int button);
bool click(int button);
bool key(const QString &keys);
/// Asks the window manager to close @p window, as its close button does.
bool closeWindow(WId window);
/// Asks the window manager to minimise @p window, as its title bar button does.
bool minimize(WId window);
/// Destroys @p window from a connection of its own, as a misbehaving
/// program could.
bool destroyWindow(WId window);

/// Starts an X server of the test's own (Xvfb) in @p server, writing what
/// it needs into @p scratchFile; its display name (":N"), or empty.
QString startServer(QProcess &server, const QString &scratchFile);

/// The CLIPBOARD selection, read by another process.
QString clipboard();
/// Puts @p text on the CLIPBOARD from another process.
bool setClipboard(const QString &text);

} // namespace XTools
