#include "tray/RightPressHookWindows.h"
#include "tray/TrayHostWatcher.h"

#include <QSystemTrayIcon>

class TrayHostWatcher::Private
{
public:
    // Windows' notification area is always there.
    const bool present = QSystemTrayIcon::isSystemTrayAvailable();
    RightPressHook hook;
};

TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    connect(&d->hook, &RightPressHook::rightPressed, this, &TrayHostWatcher::rightPressed);
}

TrayHostWatcher::~TrayHostWatcher() = default;

bool TrayHostWatcher::isPresent() const
{
    return d->present;
}

bool TrayHostWatcher::isPossible() const
{
    return true;
}

bool TrayHostWatcher::reportsRightPress() const
{
    return true;
}

void TrayHostWatcher::iconShown()
{
    d->hook.listen();
}
