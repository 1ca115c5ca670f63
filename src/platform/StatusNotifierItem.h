#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <memory>

class QMenu;

/// The tray icon as a StatusNotifierItem on the session bus, the protocol
/// of KDE's, GNOME's (AppIndicator) and xfce4-panel's notification areas.
///
/// Qt chooses once, when the first tray icon is made, between this protocol
/// and the X11 system tray: a host that starts later (a panel at login, say)
/// would never see the icon. This item stands in for that case. It follows
/// the session bus for a StatusNotifierWatcher, and while it is shown it is
/// registered with every watcher that appears. A right click on it opens the
/// menu; other clicks do nothing.
///
/// Where there is no session bus (or no D-Bus at all) it is never present.
class StatusNotifierItem : public QObject
{
    Q_OBJECT

public:
    StatusNotifierItem(const QIcon &icon, const QString &toolTip, QMenu *menu,
                       QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    /// Whether a host that shows such items is on the session bus, as far as
    /// this item has heard.
    bool isHostPresent() const;
    /// The same, asked of the bus and waited for.
    bool isHostPresentNow() const;

    /// Registers the item with the host (now and whenever one appears), or
    /// withdraws it.
    void setShown(bool shown);
    bool isShown() const;

signals:
    /// A host appeared or went away.
    void hostPresenceChanged();

private:
    void registerWithWatcher();

    struct Private;
    std::unique_ptr<Private> d;
};
