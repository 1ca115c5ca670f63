#pragma once

#include "platform/StatusNotifierItem.h"
#include "platform/TrayHostWatcher.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QAction;

/// The program's one icon in the notification area, with the tooltip
/// "System Tray", and the menu a right-button press on it opens:
///
///     Copy
///     ─────
///     Visible  ▸ Yes / No
///     Floating ▸ Yes / No
///     ─────
///     Quit
///
/// The items carry no check marks, shortcuts or default; what they do is up
/// to whoever connects to them.
class TrayIcon : public QObject
{
    Q_OBJECT

    // Declared first: the items below are built into it.
    QMenu m_menu;
    QSystemTrayIcon m_icon;
    TrayHostWatcher m_hostWatcher;
    /// Stands in when a host on the session bus starts after Qt chose.
    StatusNotifierItem m_lateItem;
    /// Qt itself shows the icon on the session bus.
    bool m_qtUsesSessionBus = false;
    bool m_hostPresent = false;
    bool m_waitingForHost = false;

public:
    explicit TrayIcon(const QIcon &icon, QObject *parent = nullptr);

    static QString toolTip();
    QIcon icon() const { return m_icon.icon(); }

    /// Whether a notification area that Qt can dock into exists on this
    /// desktop right now.
    static bool isAvailable();
    /// Whether the icon is in a notification area, Qt's or the session
    /// bus's: whether it is a way back to a hidden window.
    bool isReachable() const;

    /// Puts the icon into the notification area. Without one it waits and
    /// docks as soon as one appears; a tray host that ends and starts again
    /// gets the icon again as well.
    void AddTrayIcon();
    /// Takes it out again.
    void DeleteTrayIcon();
    bool isShown() const;

signals:
    /// The notification area has gone while the icon was in it: until one
    /// comes back, the icon is no way back to a hidden window.
    void hostLost();

private:
    void followHost();

public:
    QMenu *mnuRMBClick() { return &m_menu; }

    QAction *const mnuRMBClickCopy;
    QMenu *const mnuRMBClickVisible;
    QAction *const mnuRMBClickShow;
    QAction *const mnuRMBClickHide;
    QMenu *const mnuFloatingMenu;
    QAction *const mnuFloatingMenuYes;
    QAction *const mnuFloatingMenuNo;
    QAction *const mnuQuit;
};
