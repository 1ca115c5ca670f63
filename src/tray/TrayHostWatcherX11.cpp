#include "tray/TrayHostWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

xcb_connection_t *connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

/// The screen of the display name ("host:display.screen"), as Xlib reads it.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon + 1);
    return colon >= 0 && dot > colon ? display.mid(dot + 1).toInt() : 0;
}

template<typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply *reply)
{
    return {reply, &std::free};
}

} // namespace

/// Follows the owner of the tray's selection: told of new owners by their
/// MANAGER messages, and of an owner's end by its window's destruction.
class TrayHostWatcher::Private : public QAbstractNativeEventFilter
{
public:
    explicit Private(TrayHostWatcher *watcher);
    ~Private() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    /// Follows @p owner from now on; 0 for none.
    void follow(quint32 owner);
    /// Has Qt forget @p formerOwner as the tray it docks into.
    void tellQtOfTheEndOf(quint32 formerOwner) const;
    /// The selection's owner as the X server has it now.
    quint32 currentOwner() const;

    TrayHostWatcher *const q;
    quint32 selection = 0;
    quint32 manager = 0;
    quint32 owner = 0;
    /// A window of our own, never mapped, that only we listen to.
    quint32 mailbox = 0;
};

TrayHostWatcher::Private::Private(TrayHostWatcher *watcher)
    : q(watcher)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber());
    const auto selectionCookie = xcb_intern_atom(c, false, uint16_t(name.size()), name.constData());
    const auto managerCookie = xcb_intern_atom(c, false, 7, "MANAGER");
    const auto selectionAtom = owned(xcb_intern_atom_reply(c, selectionCookie, nullptr));
    const auto managerAtom = owned(xcb_intern_atom_reply(c, managerCookie, nullptr));
    if (!selectionAtom || !managerAtom)
        return;
    selection = selectionAtom->atom;
    manager = managerAtom->atom;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int n = screenNumber(); n > 0 && screens.rem > 1; --n)
        xcb_screen_next(&screens);
    mailbox = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, mailbox, screens.data->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TrayHostWatcher::Private::~Private()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    if (xcb_connection_t *c = connection(); c && mailbox)
        xcb_destroy_window(c, mailbox);
}

quint32 TrayHostWatcher::Private::currentOwner() const
{
    xcb_connection_t *c = connection();
    if (!c)
        return 0;
    const auto reply =
        owned(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return reply ? reply->owner : 0;
}

void TrayHostWatcher::Private::follow(quint32 newOwner)
{
    xcb_connection_t *c = connection();
    if (c && newOwner) {
        // Told when it is destroyed. It may be gone already: then the error
        // is dropped, and asking for the owner again tells.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_discard_reply(
            c,
            xcb_change_window_attributes_checked(c, newOwner, XCB_CW_EVENT_MASK, &mask).sequence);
        newOwner = currentOwner();
    }
    if (newOwner == owner)
        return;
    if (owner)
        tellQtOfTheEndOf(owner);
    const bool wasPresent = owner != 0;
    owner = newOwner;
    if ((owner != 0) != wasPresent)
        emit q->presenceChanged();
}

void TrayHostWatcher::Private::tellQtOfTheEndOf(quint32 formerOwner) const
{
    // Qt 6.4's xcb tray tracker (QXcbSystemTrayTracker) keeps the first
    // owner it looks up until it sees that window's DestroyNotify, which it
    // asks for only after the lookup, and a MANAGER announcement does not
    // make it look again: an owner that ends in between (Budgie 10.7's
    // panel announces its tray three times as it starts, from a new window
    // each time), or that hands the selection on and lives, is docked into
    // ever after, and the icon never shows. The DestroyNotify it waits for,
    // sent to a window of our own, has it look up the owner again; it
    // answers it only for the window it holds.
    xcb_connection_t *c = connection();
    if (!c || !mailbox)
        return;
    xcb_destroy_notify_event_t ended{};
    ended.response_type = XCB_DESTROY_NOTIFY;
    ended.event = formerOwner;
    ended.window = formerOwner;
    xcb_send_event(c, false, mailbox, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&ended));
    xcb_flush(c);
}

bool TrayHostWatcher::Private::nativeEventFilter(const QByteArray &eventType, void *message,
                                                 qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto *announced = static_cast<const xcb_client_message_event_t *>(message);
        if (announced->type == manager && announced->data.data32[1] == selection)
            follow(announced->data.data32[2]);
        break;
    }
    case XCB_DESTROY_NOTIFY:
        if (owner && static_cast<const xcb_destroy_notify_event_t *>(message)->window == owner)
            follow(currentOwner());
        break;
    default:
        break;
    }
    return false;
}

TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
    if (d->selection)
        d->follow(d->currentOwner());
}

TrayHostWatcher::~TrayHostWatcher() = default;

bool TrayHostWatcher::isPresent() const
{
    return d->owner != 0;
}

bool TrayHostWatcher::isPossible() const
{
    return connection() != nullptr;
}

bool TrayHostWatcher::reportsRightPress() const
{
    // Qt opens the menu on the press itself here.
    return false;
}

void TrayHostWatcher::iconShown()
{}
