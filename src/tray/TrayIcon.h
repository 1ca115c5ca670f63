#pragma once

#include "tray/StatusNotifierItem.h"
#include "tray/TrayHostWatcher.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QTimer>
#include <memory>

class QAction;
class QSystemTrayIcon;

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
///
/// A notification area on the session bus (StatusNotifierItem) gets the
/// icon as an item of ours; any other gets Qt's icon (an X11 tray, or
/// Windows' own). The icon goes wherever there is a host, follows hosts
/// that come and go, and never waits for one: Qt's icon is made only once
/// the session bus has said whether it has a host, since Qt asks that bus
/// itself and waits for the answer. In Qt 6.4 QSystemTrayIcon's constructor
/// asks the platform theme for a D-Bus tray icon, which makes a
/// QDBusMenuConnection on QDBusConnection::sessionBus() (connecting if
/// nobody has) the first time in the process. Its constructor builds a
/// QDBusInterface for org.kde.StatusNotifierWatcher, whose constructor calls
/// Introspect with QDBus::Block and waits for GetNameOwner's reply, and then
/// reads the IsStatusNotifierHostRegistered property (Properties.Get, with
/// QDBus::Block): three calls of up to 25 s each on the GUI thread. Qt keeps
/// the answer for the rest of the run. By the time our item has settled,
/// Qt's connection is made (or has failed, which Qt keeps too) and the
/// watcher has given a definite answer or has no owner: the three calls
/// return at once.
class TrayIcon : public QObject
{
    Q_OBJECT

    // Declared first: the items below are built into it.
    QMenu m_menu;
    QIcon m_image;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    TrayHostWatcher m_hostWatcher;
    StatusNotifierItem m_item;
    /// How long a start waits to hear from the notification area before it
    /// counts as not there.
    QTimer m_startDeadline;
    bool m_wanted = false;
    bool m_reachable = false;
    bool m_known = false;

public:
    explicit TrayIcon(const QIcon &icon, QObject *parent = nullptr);
    ~TrayIcon() override;

    static QString toolTip();
    QIcon icon() const { return m_image; }

    /// Whether the icon is in a notification area: whether it is a way back
    /// to a hidden window. False while that is not known yet.
    bool isReachable() const { return m_reachable; }
    /// Whether it is known that the icon is in no notification area: there
    /// is none, or none has answered in time.
    bool isKnownUnreachable() const { return m_known && !m_reachable; }
    /// Whether the menu is drawn by the notification area (a status
    /// notifier host, from ours over the bus) rather than by the program.
    bool isMenuDrawnElsewhere() const { return m_item.isShown(); }

    /// Puts the icon into the notification area. Without one it waits and
    /// docks as soon as one appears; a tray host that ends and starts again
    /// gets the icon again as well.
    void AddTrayIcon();
    /// Takes it out again.
    void DeleteTrayIcon();
    bool isShown() const { return m_wanted; }

signals:
    /// The icon has become no way back to a hidden window: its notification
    /// area has gone, or at start there turned out to be none.
    void hostLost();

private:
    void followHost();
    void makeQtIcon();

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
