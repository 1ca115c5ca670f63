#include "tray/TrayIcon.h"

#include "platform/NativeWindow.h"

#include <QAction>

namespace {

QAction *addItem(QMenu *menu, const QString &text, const char *name)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu *addSubmenu(QMenu *menu, const QString &text, const char *name)
{
    QMenu *submenu = menu->addMenu(text);
    submenu->setObjectName(QLatin1String(name));
    return submenu;
}

QAction *addSeparator(QMenu *menu, const char *name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

} // namespace

TrayIcon::TrayIcon(const QIcon &icon, QObject *parent)
    : QObject(parent)
    , m_menu(QStringLiteral("Hidden Menu"))
    , m_icon(this)
    , m_lateItem(icon, toolTip(), &m_menu)
    , mnuRMBClickCopy(addItem(&m_menu, QStringLiteral("Copy"), "mnuRMBClickCopy"))
    , mnuRMBClickVisible((addSeparator(&m_menu, "mnuRMBClickSpacer"),
                          addSubmenu(&m_menu, QStringLiteral("Visible"), "mnuRMBClickVisible")))
    , mnuRMBClickShow(addItem(mnuRMBClickVisible, QStringLiteral("Yes"), "mnuRMBClickShow"))
    , mnuRMBClickHide(addItem(mnuRMBClickVisible, QStringLiteral("No"), "mnuRMBClickHide"))
    , mnuFloatingMenu(addSubmenu(&m_menu, QStringLiteral("Floating"), "mnuFloatingMenu"))
    , mnuFloatingMenuYes(addItem(mnuFloatingMenu, QStringLiteral("Yes"), "mnuFloatingMenuYes"))
    , mnuFloatingMenuNo(addItem(mnuFloatingMenu, QStringLiteral("No"), "mnuFloatingMenuNo"))
    , mnuQuit(
          (addSeparator(&m_menu, "mnuSpacer"), addItem(&m_menu, QStringLiteral("Quit"), "mnuQuit")))
{
    m_menu.setObjectName(QStringLiteral("mnuRMBClick"));
    for (QMenu *menu : {&m_menu, mnuRMBClickVisible, mnuFloatingMenu})
        NativeWindow::keepPopupThroughLateDeactivation(menu);
    m_icon.setIcon(icon);
    m_icon.setToolTip(toolTip());
    // A right-button press opens the menu; other clicks do nothing.
    m_icon.setContextMenu(&m_menu);
    m_icon.setObjectName(QStringLiteral("trayIconData"));

    // Qt has chosen how to show its icons now. A host on the session bus at
    // this moment is Qt's own; one that comes later is the item's.
    m_qtUsesSessionBus = m_lateItem.isHostPresentNow();
    connect(&m_lateItem, &StatusNotifierItem::hostPresenceChanged, this, &TrayIcon::followHost);

    // Once the event has been handled: Qt updates what it knows of the tray
    // from the same event, after us.
    connect(&m_hostWatcher, &TrayHostWatcher::mayHaveChanged, this, [this] {
        QMetaObject::invokeMethod(this, &TrayIcon::followHost, Qt::QueuedConnection);
    });
}

QString TrayIcon::toolTip()
{
    return QStringLiteral("System Tray");
}

bool TrayIcon::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::isReachable() const
{
    return isAvailable() || m_lateItem.isShown();
}

void TrayIcon::AddTrayIcon()
{
    m_hostPresent = isAvailable();
    m_waitingForHost = !m_hostPresent;
    m_icon.show();
    followHost();
}

void TrayIcon::DeleteTrayIcon()
{
    m_waitingForHost = false;
    m_lateItem.setShown(false);
    m_icon.hide();
}

void TrayIcon::followHost()
{
    if (!m_icon.isVisible())
        return;
    // The session bus's host only while Qt's icon has nowhere to go.
    const bool qtTray = isAvailable();
    m_lateItem.setShown(!m_qtUsesSessionBus && !qtTray && m_lateItem.isHostPresent());
    const bool present = qtTray || m_lateItem.isShown();
    if (present == m_hostPresent)
        return;
    m_hostPresent = present;
    if (!present) {
        m_waitingForHost = true;
        emit hostLost();
        return;
    }
    if (!m_waitingForHost || !qtTray)
        return;
    m_waitingForHost = false;
    // On the session bus Qt registers its item with each new watcher itself;
    // taking it down and up again would only make the host drop it and show
    // it anew.
    if (m_qtUsesSessionBus)
        return;
    // In an X11 tray Qt docks an icon when it is shown; shown without a tray
    // it stays undocked for good, so show it afresh.
    m_icon.hide();
    m_icon.show();
}

bool TrayIcon::isShown() const
{
    return m_icon.isVisible();
}
