#include "tray/TrayHostWatcher.h"

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

TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber());
    const auto selectionCookie =
        xcb_intern_atom(c, false, uint16_t(selection.size()), selection.constData());
    const auto managerCookie = xcb_intern_atom(c, false, 7, "MANAGER");
    const auto selectionAtom = owned(xcb_intern_atom_reply(c, selectionCookie, nullptr));
    const auto managerAtom = owned(xcb_intern_atom_reply(c, managerCookie, nullptr));
    if (!selectionAtom || !managerAtom)
        return;
    m_selection = selectionAtom->atom;
    m_manager = managerAtom->atom;
    QCoreApplication::instance()->installNativeEventFilter(this);

    follow(currentOwner());
}

quint32 TrayHostWatcher::currentOwner() const
{
    xcb_connection_t *c = connection();
    if (!c)
        return 0;
    const auto owner =
        owned(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
    return owner ? owner->owner : 0;
}

TrayHostWatcher::~TrayHostWatcher()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TrayHostWatcher::follow(quint32 owner)
{
    xcb_connection_t *c = connection();
    if (c && owner) {
        // Told when it is destroyed. It may be gone already: then the error
        // is dropped, and asking for the owner again tells.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_discard_reply(
            c, xcb_change_window_attributes_checked(c, owner, XCB_CW_EVENT_MASK, &mask).sequence);
        owner = currentOwner();
    }
    if (owner == m_owner)
        return;
    const bool wasPresent = isPresent();
    m_owner = owner;
    if (isPresent() != wasPresent)
        emit presenceChanged();
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto *announced = static_cast<const xcb_client_message_event_t *>(message);
        if (announced->type == m_manager && announced->data.data32[1] == m_selection)
            follow(announced->data.data32[2]);
        break;
    }
    case XCB_DESTROY_NOTIFY:
        if (m_owner && static_cast<const xcb_destroy_notify_event_t *>(message)->window == m_owner)
            follow(currentOwner());
        break;
    default:
        break;
    }
    return false;
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
