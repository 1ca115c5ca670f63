#include "platform/TrayHostWatcher.h"

#include <QSystemTrayIcon>

// The notification area here is always there, or never: asked once.
TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
    , m_owner(QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0)
{}

TrayHostWatcher::~TrayHostWatcher() = default;

bool TrayHostWatcher::nativeEventFilter(const QByteArray &, void *, qintptr *)
{
    return false;
}

void TrayHostWatcher::follow(quint32)
{}

quint32 TrayHostWatcher::currentOwner() const
{
    return m_owner;
}

bool TrayHostWatcher::isPossible() const
{
    return true;
}

bool TrayHostWatcher::reportsRightPress() const
{
    // Qt opens the menu on the press itself here.
    return false;
}

void TrayHostWatcher::iconShown()
{}
