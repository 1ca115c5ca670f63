#pragma once

#include "tray/StatusNotifierTypes.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;

namespace sni {

/// The menu as com.canonical.dbusmenu has it: every entry of the QMenu and
/// its submenus gets an id (the menu itself is 0), and a click on an entry
/// triggers its action. The menu is read afresh for every question, so it is
/// always the menu as it is.
///
/// The interface itself is the adaptor made from com.canonical.dbusmenu.xml,
/// which reads the properties below and passes each call on to the function
/// of the same name.
class DBusMenuExporter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuExporter(QMenu *menu, QObject *parent = nullptr);
    ~DBusMenuExporter() override;

    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   MenuLayout &layout);
    QList<MenuItemProperties> GetGroupProperties(const QList<int> &ids,
                                                 const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const QList<MenuEvent> &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &unknown);

private:
    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    int idOf(QAction *action);
    QAction *action(int id) const;
    QMenu *menuOf(int id) const;
    QVariantMap propertiesOf(int id, const QStringList &wanted);
    MenuLayout layoutOf(int id, int depth, const QStringList &wanted);

    QPointer<QMenu> m_menu;
    QHash<QAction *, int> m_ids;
    QList<QPointer<QAction>> m_actions;
};

} // namespace sni
