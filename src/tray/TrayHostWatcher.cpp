#include "tray/TrayHostWatcher.h"

#include <QCoreApplication>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define KESTRUNE_HAVE_XCB 1
#endif

TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TrayHostWatcher::~TrayHostWatcher()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#if defined(KESTRUNE_HAVE_XCB)
    if (eventType == "xcb_generic_event_t") {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const auto type = event->response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE || type == XCB_DESTROY_NOTIFY)
            emit mayHaveChanged();
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}
