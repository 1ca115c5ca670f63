#pragma once

#include <QPoint>
#include <Qt>
#include <functional>
#include <optional>

class QByteArray;
class QObject;
class QWidget;

/// What the program asks of the window system for one of its windows
/// beyond what Qt offers. Each call does nothing (or answers nothing) where
/// the window system has no such thing; callers fall back to Qt then.
namespace NativeWindow {

/// The type of a top-level window that has no taskbar button (with
/// keepOffTaskbars): a tool window on Windows; on X11 an ordinary one, which
/// keepOffTaskbars marks a utility window without making it transient, as
/// Qt makes every tool window transient for its leader window.
Qt::WindowType typeWithoutTaskbarButton();

/// Whether the window manager has no layer above ordinary windows (EWMH's
/// _NET_WM_STATE_ABOVE), as i3 has none. A window that must stay above them
/// goes without the window manager there: i3 stacks the windows it manages
/// below those it does not.
bool hasNoStayOnTopLayer();

/// Whether the window system tells a program where its windows are: not
/// Wayland, where every window stands at 0,0 as far as the program knows.
bool reportsPlaces();

/// Whether the program can bring back a window of its own that is
/// minimised: not on Wayland, where xdg-shell lets a client ask to be
/// minimised but neither tells it that it is nor lets it undo that (Qt 6.4
/// reports such a window as never minimised). Only the compositor's own
/// taskbar or overview, where it has one, shows the window again there.
bool canRestoreMinimised();

/// Whether @p window's native window is gone while Qt still has it:
/// destroyed by another program. Qt 6.4 does not notice, and would "show"
/// the window that is no more.
bool isDestroyedFromOutside(const QWidget *window);

/// Has the next activation of one of the program's windows made with
/// @p token, the activation token a launcher gave a later start of the
/// program (xdg-activation), where the window system uses such tokens.
void useActivationToken(const QByteArray &token);
/// Removes a token useActivationToken() left that was not used.
void clearActivationToken();

/// Where the outer corner of @p window's frame stands (logical pixels): of
/// the window manager's frame, or of the window's own border where there is
/// no frame. This is the place a window asks for when it is moved, and
/// that a window manager puts the frame at. No value when it cannot tell,
/// or the window is not on screen.
std::optional<QPoint> framePosition(const QWidget *window);

/// Keeps @p window, about to be shown, out of taskbars, pagers and window
/// switchers. Call it every time before the window is shown: a window
/// manager forgets it when the window is hidden.
void keepOffTaskbars(QWidget *window);

/// The height the window system adds to @p window's client area for its
/// title bar and borders, in logical pixels, where it can tell before the
/// window is shown (Windows); no value elsewhere.
std::optional<int> frameHeight(QWidget *window);

/// Where the window system has @p window's top-left corner (logical
/// pixels); no value when it cannot tell, or the window is not on screen.
std::optional<QPoint> screenPosition(const QWidget *window);

/// Hands a left-button drag of @p window over to the window manager, so the
/// window follows the pointer until the button is released. @p pressGlobal is
/// where the button went down: that point of the window stays under the
/// pointer, however far the pointer has gone since. False when the window
/// manager cannot move windows for us.
bool startMove(QWidget *window, QPoint pressGlobal);

/// Keeps the popup @p popup open when the application is told it has lost
/// the focus while the popup is open and holds the pointer and keyboard: no
/// other window can have taken the user then, the news is late. A click
/// outside it, Escape or a chosen item still closes it.
void keepPopupThroughLateDeactivation(QWidget *popup);

/// Whether a window manager has taken @p window in (ICCCM's WM_STATE says
/// it is shown or minimised); false once it has let a hidden one go.
bool isManaged(const QWidget *window);

/// Calls @p placed once with where the window system has @p window's client
/// area (logical pixels), as soon as it is on screen after being shown;
/// never where the window system cannot tell.
void whenPlaced(QWidget *window, std::function<void(QPoint)> placed);

/// Removes the word of a window manager that has gone (ICCCM's WM_STATE,
/// EWMH's hidden state) from @p window, about to be shown while no window
/// manager runs: one that starts later takes in no window that says it is
/// withdrawn (awesome 4.3 leaves it shown but with no frame, never to be
/// moved or closed), and minimises one that says it is hidden.
void forgetGoneWindowManager(QWidget *window);

/// Calls @p arrived once, when a window manager starts on the display after
/// this call (a session that starts its programs early), for as long as
/// @p context lives; never when one runs already, or where the window system
/// places windows itself. Asks the display without waiting for its answer.
void whenWindowManagerArrives(QObject *context, std::function<void()> arrived);

} // namespace NativeWindow
