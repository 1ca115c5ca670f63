#include "tray/TrayIcon.h"

#include "platform/NativeWindow.h"
#include "ui/MenuButtons.h"

#include <QAction>
#include <QSystemTrayIcon>

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
    , m_image(icon)
    , m_item(icon, toolTip(), &m_menu)
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
    for (QMenu *menu : {&m_menu, mnuRMBClickVisible, mnuFloatingMenu}) {
        NativeWindow::keepPopupThroughLateDeactivation(menu);
        MenuButtons::chooseWithLeftButtonOnly(menu);
    }

    connect(&m_item, &StatusNotifierItem::hostPresenceChanged, this, &TrayIcon::followHost);
    connect(&m_hostWatcher, &TrayHostWatcher::presenceChanged, this, &TrayIcon::followHost);
    connect(&m_hostWatcher, &TrayHostWatcher::rightPressed, this, [this](QPoint at) {
        if (m_icon && m_icon->isVisible() && !m_menu.isVisible())
            m_menu.popup(at);
    });
    m_startDeadline.setSingleShot(true);
    m_startDeadline.setInterval(1000);
    connect(&m_startDeadline, &QTimer::timeout, this, &TrayIcon::followHost);
}

TrayIcon::~TrayIcon() = default;

QString TrayIcon::toolTip()
{
    return QStringLiteral("System Tray");
}

void TrayIcon::makeQtIcon()
{
    m_icon = std::make_unique<QSystemTrayIcon>(this);
    m_icon->setObjectName(QStringLiteral("trayIconData"));
    m_icon->setIcon(m_image);
    m_icon->setToolTip(toolTip());
    // A right-button press opens the menu; other clicks do nothing. Where
    // Qt opens it only on the release, the press is told of separately.
    if (!m_hostWatcher.reportsRightPress())
        m_icon->setContextMenu(&m_menu);
}

void TrayIcon::AddTrayIcon()
{
    m_wanted = true;
    if (!m_item.isSettled())
        m_startDeadline.start();
    followHost();
}

void TrayIcon::DeleteTrayIcon()
{
    m_wanted = false;
    m_startDeadline.stop();
    followHost();
}

void TrayIcon::followHost()
{
    // A host on the session bus shows our own item; otherwise Qt's icon goes
    // wherever Qt can put it.
    const bool onBus = m_wanted && m_item.isSettled() && m_item.isHostPresent();
    m_item.setShown(onBus);
    // Qt asks the session bus itself whether it has a host, and waits for the
    // answer, the first time an icon of its own is made: only once the bus
    // has answered us, and that a host there shows our own item.
    // Not made where it could go nowhere: on Wayland Qt's icon would only
    // reach for X11's tray ("No such signal
    // QPlatformNativeInterface::systemTrayWindowChanged" at every start).
    if (m_wanted && !onBus && !m_icon && m_item.isSettled() && m_hostWatcher.isPossible())
        makeQtIcon();
    if (m_icon) {
        m_icon->setVisible(m_wanted && !onBus);
        if (m_icon->isVisible())
            m_hostWatcher.iconShown();
    }

    const bool reachable = onBus || (m_icon && m_icon->isVisible() && m_hostWatcher.isPresent());
    const bool known = m_item.isSettled() || !m_startDeadline.isActive();
    const bool wasReachableOrUnknown = m_reachable || !m_known;
    m_reachable = reachable;
    if (!m_wanted || !known)
        return;
    m_known = true;
    if (!reachable && wasReachableOrUnknown)
        emit hostLost();
}
