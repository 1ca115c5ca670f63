#include "platform/TrayHostWatcher.h"

// The notification area here is always there, or tells Qt itself.
TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
{}

TrayHostWatcher::~TrayHostWatcher() = default;

bool TrayHostWatcher::nativeEventFilter(const QByteArray &, void *, qintptr *)
{
    return false;
}
