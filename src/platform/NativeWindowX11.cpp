#include "platform/NativeWindow.h"
#include "platform/XcbCalls.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace NativeWindow {
namespace {

using namespace Xcb;

/// The popups kept open through a late deactivation carry this property.
constexpr const char *kKeptPopup = "kestruneKeptThroughLateDeactivation";

/// An open popup holds the pointer and the keyboard on X11, so while it is
/// open the user cannot move to another window. Qt's X11 support learns that
/// none of our windows has the input focus any more 100 ms after one lost it
/// (a window hidden, say) without another one of ours getting it; when that
/// lands just after a popup opened, before the focus the popup's grab brings
/// has been handled, Qt deactivates the application and closes every popup
/// with it: the menu flashes and is gone. Qt's widgets already ignore
/// activation changes while a popup is open; this keeps the popup open too.
///
/// Qt tells the window that had the focus (FocusOut, with no focus window
/// left) just before it tells the application (ApplicationDeactivate, then
/// ApplicationStateChange); popups closed in between are refused. Qt asks
/// each open popup a bounded number of times and then goes on.
class LateDeactivation : public QObject
{
public:
    static LateDeactivation &instance()
    {
        static QPointer<LateDeactivation> shared;
        if (!shared) {
            shared = new LateDeactivation(qApp);
            qApp->installEventFilter(shared);
        }
        return *shared;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::FocusOut:
            if (watched->isWindowType() && !QGuiApplication::focusWindow() &&
                QApplication::activePopupWidget() && !m_deactivating) {
                m_deactivating = true;
                // Never beyond the deactivation being delivered now.
                QMetaObject::invokeMethod(
                    this, [this] { m_deactivating = false; }, Qt::QueuedConnection);
            }
            break;
        case QEvent::ApplicationStateChange:
            m_deactivating = false;
            break;
        case QEvent::Close:
            if (m_deactivating && watched->property(kKeptPopup).toBool() &&
                static_cast<QWidget *>(watched)->isVisible()) {
                event->ignore();
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    using QObject::QObject;

    bool m_deactivating = false;
};

} // namespace

void keepPopupThroughLateDeactivation(QWidget *popup)
{
    if (!connection())
        return;
    LateDeactivation::instance();
    popup->setProperty(kKeptPopup, true);
}

Qt::WindowType typeWithoutTaskbarButton()
{
    return connection() ? Qt::Window : Qt::Tool;
}

bool hasNoStayOnTopLayer()
{
    xcb_connection_t *c = connection();
    if (!c)
        return false;
    // Without any window manager nothing covers the window.
    const xcb_window_t root = rootWindow(c);
    const ReplyPtr<xcb_get_property_reply_t> check(
        xcb_get_property_reply(c,
                               xcb_get_property(c, false, root, atom(c, "_NET_SUPPORTING_WM_CHECK"),
                                                XCB_ATOM_WINDOW, 0, 1),
                               nullptr));
    if (!check || xcb_get_property_value_length(check.get()) < 4)
        return false;
    return !atomList(c, root, atom(c, "_NET_SUPPORTED")).contains(atom(c, "_NET_WM_STATE_ABOVE"));
}

bool reportsPlaces()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool canRestoreMinimised()
{
    return reportsPlaces();
}

bool isDestroyedFromOutside(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->testAttribute(Qt::WA_WState_Created))
        return false;
    xcb_generic_error_t *error = nullptr;
    const ReplyPtr<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        c, xcb_get_window_attributes(c, xcb_window_t(window->winId())), &error));
    const bool gone = error && error->error_code == XCB_WINDOW;
    std::free(error);
    return gone;
}

void useActivationToken(const QByteArray &token)
{
    // Qt 6.4's xdg-shell integration activates with the token it finds in
    // XDG_ACTIVATION_TOKEN and then removes it (QWaylandXdgSurface::
    // requestActivate); it offers no public call to be handed one
    // (QWaylandWindow::setXdgActivationToken is private API). Set on the GUI
    // thread just before it activates the window, and removed right after
    // (clearActivationToken) where Qt did not use it, so that nothing the
    // program starts inherits it. Only libdbus reads the environment on
    // another thread, and only while it connects to a bus.
    if (!token.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", token);
}

void clearActivationToken()
{
    if (qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"))
        qunsetenv("XDG_ACTIVATION_TOKEN");
}

std::optional<QPoint> framePosition(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->testAttribute(Qt::WA_WState_Created) || !window->isVisible())
        return std::nullopt;
    const xcb_window_t root = rootWindow(c);
    const ReplyPtr<xcb_get_geometry_reply_t> rootGeometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    // Up to the window manager's frame: the outermost ancestor below the
    // root, or below a virtual root that covers it whole.
    xcb_window_t frame = xcb_window_t(window->winId());
    const ReplyPtr<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, frame), nullptr));
    if (!rootGeometry || !attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;
    constexpr int kDeepestFrame = 8;
    for (int depth = 0; depth < kDeepestFrame; ++depth) {
        const ReplyPtr<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, frame), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent == root || tree->parent == XCB_WINDOW_NONE)
            break;
        const ReplyPtr<xcb_get_geometry_reply_t> parent(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, tree->parent), nullptr));
        if (!parent ||
            (parent->width >= rootGeometry->width && parent->height >= rootGeometry->height))
            break;
        frame = tree->parent;
    }
    const auto geometryAsked = xcb_get_geometry(c, frame);
    const auto originAsked = xcb_translate_coordinates(c, frame, root, 0, 0);
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, geometryAsked, nullptr));
    const ReplyPtr<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, originAsked, nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    const qreal ratio = window->devicePixelRatioF();
    return QPoint(qRound((origin->dst_x - geometry->border_width) / ratio),
                  qRound((origin->dst_y - geometry->border_width) / ratio));
}

void keepOffTaskbars(QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    // Set on the unmapped window, _NET_WM_STATE is what the window manager
    // starts from when it maps it; Qt adds its own states to what is there.
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    QList<xcb_atom_t> states = atomList(c, id, state);
    for (const char *name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t wanted = atom(c, name);
        if (!states.contains(wanted))
            states.append(wanted);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        uint32_t(states.size()), states.constData());
    // A utility window, which window managers show without a title bar
    // (awesome's default rules give every ordinary window one). Not a tool
    // window of Qt's: Qt makes those transient for its leader window, and
    // KWin 5.27 then hides it whenever another program is active ("hide
    // utility windows for inactive applications"), as tiling window
    // managers centre it over the main window.
    const xcb_atom_t utility = atom(c, "_NET_WM_WINDOW_TYPE_UTILITY");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                        32, 1, &utility);
    // A class of its own (instance "floating" of class "IP"), for what goes
    // by class: IceWM, whose window switcher (Alt+Tab) honours none of the
    // states above, only its own window options, which a client may hint for
    // a class on the root window (IceWM takes the hint and removes it).
    static constexpr char kClass[] = "floating\0IP";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof kClass, kClass);
    if (windowManagerName(c).startsWith("IceWM")) {
        static constexpr char kOptions[] = "IP.floating\0ignoreQuickSwitch\0"
                                           "1\0"
                                           "IP.floating\0ignoreWinList\0"
                                           "1\0"
                                           "IP.floating\0ignoreTaskBar\0"
                                           "1";
        const xcb_atom_t hint = atom(c, "_ICEWM_WINOPTHINT");
        xcb_change_property(c, XCB_PROP_MODE_APPEND, rootWindow(c), hint, hint, 8, sizeof kOptions,
                            kOptions);
    }
    xcb_flush(c);
}

std::optional<int> frameHeight(QWidget *)
{
    // The window manager's frame comes with the window manager, once it has
    // taken the window in.
    return std::nullopt;
}

std::optional<QPoint> screenPosition(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->testAttribute(Qt::WA_WState_Created) || !window->isVisible())
        return std::nullopt;
    // Qt's own idea of where a top-level window stands can be stale after
    // the window manager has taken the window into its frame (the window
    // shows at the right place while pos() reports the frame's corner).
    // Only once it is on screen: while it is being mapped it may still sit
    // in a frame that has not been put in place yet.
    const auto id = xcb_window_t(window->winId());
    const ReplyPtr<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;
    const ReplyPtr<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, rootWindow(c), 0, 0), nullptr));
    if (!at)
        return std::nullopt;
    const qreal ratio = window->devicePixelRatioF();
    return QPoint(qRound(at->dst_x / ratio), qRound(at->dst_y / ratio));
}

bool startMove(QWidget *window, QPoint pressGlobal)
{
    xcb_connection_t *c = connection();
    if (!c)
        return window->windowHandle() && window->windowHandle()->startSystemMove();
    // A window shown without the window manager is not its to move.
    if (window->windowFlags() & Qt::X11BypassWindowManagerHint)
        return false;
    const xcb_window_t root = rootWindow(c);
    const xcb_atom_t moveResize = atom(c, "_NET_WM_MOVERESIZE");
    if (!atomList(c, root, atom(c, "_NET_SUPPORTED")).contains(moveResize))
        return false;

    // Qt would name the pointer's current place as the start; the window
    // manager then keeps the window's offset to the pointer as it is now, a
    // whole first motion away from where the user grabbed it. The press
    // position keeps the grabbed point under the pointer.
    const qreal ratio = window->devicePixelRatioF();
    constexpr uint32_t kMove = 8; // _NET_WM_MOVERESIZE_MOVE
    constexpr uint32_t kSourceApplication = 1;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window->winId());
    message.type = moveResize;
    message.data.data32[0] = uint32_t(qRound(pressGlobal.x() * ratio));
    message.data.data32[1] = uint32_t(qRound(pressGlobal.y() * ratio));
    message.data.data32[2] = kMove;
    message.data.data32[3] = XCB_BUTTON_INDEX_1;
    message.data.data32[4] = kSourceApplication;
    // The window manager needs the pointer: give up the press's implicit grab.
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_send_event(c, false, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(c);
    return true;
}

} // namespace NativeWindow
