#include "platform/NativeWindow.h"

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

struct FreeDeleter
{
    void operator()(void *reply) const { std::free(reply); }
};
template<typename Reply> using ReplyPtr = std::unique_ptr<Reply, FreeDeleter>;

xcb_connection_t *connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, false, uint16_t(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

/// The atoms a property of type ATOM holds.
QList<xcb_atom_t> atomList(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, false, window, property, XCB_ATOM_ATOM, 0, 1024), nullptr));
    QList<xcb_atom_t> atoms;
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32)
        return atoms;
    const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < count; ++i)
        atoms.append(values[i]);
    return atoms;
}

/// The name the running window manager gives itself (EWMH), or empty.
QByteArray windowManagerName(xcb_connection_t *c)
{
    const ReplyPtr<xcb_get_property_reply_t> check(xcb_get_property_reply(
        c,
        xcb_get_property(c, false, rootWindow(c), atom(c, "_NET_SUPPORTING_WM_CHECK"),
                         XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (!check || xcb_get_property_value_length(check.get()) < 4)
        return {};
    const auto supporting = *static_cast<const xcb_window_t *>(xcb_get_property_value(check.get()));
    const ReplyPtr<xcb_get_property_reply_t> name(
        xcb_get_property_reply(c,
                               xcb_get_property(c, false, supporting, atom(c, "_NET_WM_NAME"),
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                               nullptr));
    if (!name)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(name.get())),
                      xcb_get_property_value_length(name.get()));
}

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

namespace {

/// Tells once when a window manager announces itself on the root window:
/// EWMH's supporting-window property appears, or the ICCCM manager
/// selection gets an owner. Whether one runs already is asked at once and
/// heard with the events that follow, without waiting for the answer: a
/// window manager found there ends the watch unheard.
class WindowManagerArrival : public QObject, public QAbstractNativeEventFilter
{
public:
    WindowManagerArrival(xcb_connection_t *c, QObject *context, std::function<void()> arrived)
        : QObject(context)
        , m_connection(c)
        , m_arrived(std::move(arrived))
    {
        // The three names in one round trip.
        const char *const names[] = {"_NET_SUPPORTING_WM_CHECK", "MANAGER", "WM_S0"};
        xcb_intern_atom_cookie_t cookies[std::size(names)];
        for (size_t i = 0; i < std::size(names); ++i)
            cookies[i] = xcb_intern_atom(c, false, uint16_t(qstrlen(names[i])), names[i]);
        xcb_atom_t *const atoms[] = {&m_check, &m_manager, &m_selection};
        for (size_t i = 0; i < std::size(names); ++i) {
            const ReplyPtr<xcb_intern_atom_reply_t> reply(
                xcb_intern_atom_reply(c, cookies[i], nullptr));
            *atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
        // Installed before asking: an arrival just after the question is
        // heard as such.
        QCoreApplication::instance()->installNativeEventFilter(this);
        const xcb_window_t root = rootWindow(c);
        m_checkAsked = xcb_get_property(c, false, root, m_check, XCB_ATOM_WINDOW, 0, 1).sequence;
        m_ownerAsked = xcb_get_selection_owner(c, m_selection).sequence;
        xcb_flush(c);
    }

    ~WindowManagerArrival() override
    {
        // Without the application, the connection is gone with it.
        if (!QCoreApplication::instance())
            return;
        QCoreApplication::instance()->removeNativeEventFilter(this);
        // Answers not taken are not kept for anyone.
        if (m_checkAsked)
            xcb_discard_reply(m_connection, *m_checkAsked);
        if (m_ownerAsked)
            xcb_discard_reply(m_connection, *m_ownerAsked);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || !m_arrived)
            return false;
        if (alreadyThere()) {
            m_arrived = nullptr;
            deleteLater();
            return false;
        }
        // An event ahead of the answers was sent before the question was
        // handled: a window manager announced by it is there in the answers.
        if (m_checkAsked || m_ownerAsked)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        bool arrived = false;
        switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto *changed = static_cast<const xcb_property_notify_event_t *>(message);
            arrived = changed->atom == m_check && changed->state == XCB_PROPERTY_NEW_VALUE;
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            const auto *announced = static_cast<const xcb_client_message_event_t *>(message);
            arrived = announced->type == m_manager && announced->data.data32[1] == m_selection;
            break;
        }
        default:
            break;
        }
        if (arrived) {
            // Once the event has been handled, and only once.
            QMetaObject::invokeMethod(parent(), std::exchange(m_arrived, nullptr),
                                      Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }

private:
    /// The answer to the request @p asked, once it has come (and @p asked
    /// is cleared); no value while it has not.
    template<typename Reply>
    std::optional<ReplyPtr<Reply>> answer(std::optional<unsigned int> &asked)
    {
        void *reply = nullptr;
        xcb_generic_error_t *error = nullptr;
        if (!asked || !xcb_poll_for_reply(m_connection, *asked, &reply, &error))
            return std::nullopt;
        asked.reset();
        std::free(error);
        return ReplyPtr<Reply>(static_cast<Reply *>(reply));
    }

    /// Whether the answers have come and say that a window manager ran when
    /// asked. The answers come before any event that followed the question.
    bool alreadyThere()
    {
        bool there = false;
        if (const auto check = answer<xcb_get_property_reply_t>(m_checkAsked))
            there = *check && xcb_get_property_value_length(check->get()) > 0;
        if (const auto owner = answer<xcb_get_selection_owner_reply_t>(m_ownerAsked))
            there = there || (*owner && (*owner)->owner);
        return there;
    }

    xcb_connection_t *m_connection;
    std::function<void()> m_arrived;
    xcb_atom_t m_check = XCB_ATOM_NONE;
    xcb_atom_t m_manager = XCB_ATOM_NONE;
    xcb_atom_t m_selection = XCB_ATOM_NONE;
    std::optional<unsigned int> m_checkAsked;
    std::optional<unsigned int> m_ownerAsked;
};

} // namespace

bool isManaged(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->testAttribute(Qt::WA_WState_Created))
        return window->isVisible();
    const xcb_atom_t state = atom(c, "WM_STATE");
    const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, false, xcb_window_t(window->winId()), state, state, 0, 1), nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) < 4)
        return false;
    constexpr uint32_t kWithdrawn = 0;
    return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get())) != kWithdrawn;
}

void whenPlaced(QWidget *window, std::function<void(QPoint)> placed)
{
    if (!connection())
        return;
    constexpr int kLookEveryMs = 20;
    constexpr int kLooks = 100;
    auto *looking = new QTimer(window);
    looking->start(kLookEveryMs);
    QObject::connect(looking, &QTimer::timeout, window,
                     [window, looking, placed = std::move(placed), looks = 0]() mutable {
                         const std::optional<QPoint> at = screenPosition(window);
                         if (!at && window->isVisible() && ++looks < kLooks)
                             return;
                         looking->deleteLater();
                         if (at)
                             placed(*at);
                     });
}

void forgetGoneWindowManager(QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->testAttribute(Qt::WA_WState_Created))
        return;
    // A window manager owns the manager selection of its screen (ICCCM
    // 2.8); the program's windows are on the first.
    const ReplyPtr<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom(c, "WM_S0")), nullptr));
    if (!owner || owner->owner != XCB_WINDOW_NONE)
        return;
    const auto id = xcb_window_t(window->winId());
    xcb_delete_property(c, id, atom(c, "WM_STATE"));
    // And that it minimised the window (EWMH: only a window manager sets
    // this state), which awesome takes up again when it starts.
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    QList<xcb_atom_t> states = atomList(c, id, state);
    if (states.removeAll(atom(c, "_NET_WM_STATE_HIDDEN")) > 0)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                            uint32_t(states.size()), states.constData());
    xcb_flush(c);
}

void whenWindowManagerArrives(QObject *context, std::function<void()> arrived)
{
    if (xcb_connection_t *c = connection())
        new WindowManagerArrival(c, context, std::move(arrived));
}

} // namespace NativeWindow
