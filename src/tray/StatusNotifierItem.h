#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <memory>

class QMenu;

/// The tray icon as a StatusNotifierItem on the session bus, the protocol
/// of KDE's, GNOME's (AppIndicator), LXQt's and xfce4-panel's notification
/// areas, with its menu exported as a com.canonical.dbusmenu for the host to
/// draw (hosts that draw no menu ask for ours at the pointer instead).
///
/// Nothing here waits for another process: every call to the bus is sent
/// without waiting, and its answer is handled when it comes. A watcher that
/// is busy or hung only delays what depends on its answer.
///
/// The item follows the watcher (org.kde.StatusNotifierWatcher): whether one
/// owns its name, and whether it has a host to show items. While the item is
/// shown it is registered with every watcher that has one.
///
/// Where there is no session bus (or no D-Bus at all) there is never a host,
/// and that is known at once.
class StatusNotifierItem : public QObject
{
    Q_OBJECT

public:
    StatusNotifierItem(const QIcon &icon, const QString &toolTip, QMenu *menu,
                       QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    /// Whether the bus has told all there is to know: there is no bus, no
    /// watcher, or the watcher has answered. Until then nobody should ask the
    /// watcher anything and wait for the answer: it may never come.
    bool isSettled() const;
    /// Whether a watcher has said it has a host that shows items.
    bool isHostPresent() const;

    /// Registers the item with the watcher (now and whenever one with a host
    /// appears), or withdraws it.
    void setShown(bool shown);
    /// Shown, and on the bus under its name.
    bool isShown() const;

signals:
    /// isSettled() or isHostPresent() has changed.
    void hostPresenceChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
