#pragma once

#include <QObject>
#include <QPoint>
#include <memory>

/// Whether a notification area that docks icons as windows of their own
/// (the X11 system tray protocol) is there, and news when that changes.
///
/// On X11 it follows the owner of the tray's selection: a tray host that
/// starts announces itself with a MANAGER message to the root window, and
/// one that ends destroys the window that owns the selection. It asks the X
/// server only when it starts and when a new owner is announced, never for
/// other events. Where the platform has one notification area that is always
/// there (Windows), it is present; elsewhere (Wayland, no window
/// system) it is not.
class TrayHostWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TrayHostWatcher(QObject *parent = nullptr);
    ~TrayHostWatcher() override;

    bool isPresent() const;
    /// Whether the window system has such notification areas at all: not
    /// on Wayland, where Qt's icon has nowhere to go.
    bool isPossible() const;
    /// Whether rightPressed() tells of right-button presses on Qt's icon:
    /// where Qt itself opens the menu only on the release (Windows).
    bool reportsRightPress() const;
    /// Qt's icon has just been shown (or shown again).
    void iconShown();

signals:
    void presenceChanged();
    /// The right button went down on Qt's icon, with the pointer at @p at.
    void rightPressed(QPoint at);

private:
    class Private;
    std::unique_ptr<Private> d;
};
