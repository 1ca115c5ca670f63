#include "platform/TrayHostWatcher.h"

#include <QCoreApplication>
#include <xcb/xcb.h>

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
    if (eventType == "xcb_generic_event_t") {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const auto type = event->response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE || type == XCB_DESTROY_NOTIFY)
            emit mayHaveChanged();
    }
    return false;
}
