#pragma once

#include "tray/StatusNotifierTypes.h"

#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

class QMenu;

namespace sni {

/// The item's object on the bus, as hosts read it. The interface itself is
/// the adaptor made from org.kde.StatusNotifierItem.xml, which reads the
/// properties below and passes each call on to the function of the same
/// name.
class StatusNotifierItemObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ noName)
    Q_PROPERTY(QString IconName READ noName)
    Q_PROPERTY(QList<sni::IconPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(QList<sni::IconPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(QList<sni::IconPixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    /// @p menuPath is where the menu is exported.
    StatusNotifierItemObject(const QIcon &icon, const QString &toolTip, QMenu *menu,
                             const QString &menuPath, QObject *parent = nullptr);
    ~StatusNotifierItemObject() override;

    // Hosts that draw no menu of their own ask for ours at the pointer.
    void ContextMenu(int x, int y);
    // Only the menu does anything.
    void Activate(int, int) {}
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString &) {}

private:
    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const { return m_toolTip; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString noName() const { return {}; }
    IconPixmapList iconPixmap() const;
    IconPixmapList noPixmaps() const { return {}; }
    ToolTip toolTip() const { return {QString(), {}, m_toolTip, QString()}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(m_menuPath); }

    QIcon m_icon;
    mutable std::optional<IconPixmapList> m_pixmaps;
    QString m_toolTip;
    QPointer<QMenu> m_menu;
    QString m_menuPath;
};

} // namespace sni
