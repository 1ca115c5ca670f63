#pragma once

#include <QObject>
#include <QPoint>

/// Hears the right button go down on Qt's notification-area icon, which Qt
/// itself acts on only at the release (WM_CONTEXTMENU).
///
/// The shell tells the icon's hidden window of the mouse with a sent message
/// (Wine's explorer uses SendNotifyMessage), which never passes Qt's native
/// event filters: the window itself is listened to, by subclassing it.
class RightPressHook : public QObject
{
    Q_OBJECT

public:
    explicit RightPressHook(QObject *parent = nullptr);
    ~RightPressHook() override;

    /// Listens to the windows Qt has for its icon now. Qt makes a new one
    /// each time its icon is shown, so this is asked again then.
    void listen();

signals:
    /// The right button went down, with the pointer at @p at; told once the
    /// shell's message is done with.
    void rightPressed(QPoint at);
};
