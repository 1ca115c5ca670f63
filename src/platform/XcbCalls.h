#pragma once

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

/// The few X11 requests the native-window code makes, on Qt's own
/// connection. Each waits for its reply: they are made only for the
/// program's own windows and the root window, never for another client's.
namespace Xcb {

struct FreeDeleter
{
    void operator()(void *reply) const { std::free(reply); }
};
template<typename Reply> using ReplyPtr = std::unique_ptr<Reply, FreeDeleter>;

inline xcb_connection_t *connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

inline xcb_window_t rootWindow(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

inline xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, false, uint16_t(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

/// The atoms a property of type ATOM holds.
inline QList<xcb_atom_t> atomList(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
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
inline QByteArray windowManagerName(xcb_connection_t *c)
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

} // namespace Xcb
