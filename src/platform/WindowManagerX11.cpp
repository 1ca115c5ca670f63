#include "platform/NativeWindow.h"
#include "platform/XcbCalls.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <xcb/xcbext.h>

// What the program knows of the window manager: whether it manages a
// window, where it put one, when one arrives, what one that went left behind.
namespace NativeWindow {

using namespace Xcb;

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
