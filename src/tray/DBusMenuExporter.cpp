#include "tray/DBusMenuExporter.h"

#include "DBusMenuAdaptor.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>

namespace sni {

DBusMenuExporter::DBusMenuExporter(QMenu *menu, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
{
    new DBusMenuAdaptor(this);
}

DBusMenuExporter::~DBusMenuExporter() = default;

QString DBusMenuExporter::textDirection() const
{
    return QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                                 MenuLayout &layout)
{
    layout = layoutOf(parentId, recursionDepth, propertyNames);
    return 1;
}

QList<MenuItemProperties> DBusMenuExporter::GetGroupProperties(const QList<int> &ids,
                                                               const QStringList &propertyNames)
{
    QList<MenuItemProperties> items;
    for (const int id : ids) {
        if (id == 0 || action(id))
            items.append({id, propertiesOf(id, propertyNames)});
    }
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString &name)
{
    return QDBusVariant(propertiesOf(id, {name}).value(name));
}

void DBusMenuExporter::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    if (eventId != QLatin1String("clicked"))
        return;
    QAction *chosen = action(id);
    if (!chosen || chosen->menu() || chosen->isSeparator() || !chosen->isEnabled())
        return;
    // After the call has been answered: the item may open a dialog.
    QMetaObject::invokeMethod(chosen, &QAction::trigger, Qt::QueuedConnection);
}

QList<int> DBusMenuExporter::EventGroup(const QList<MenuEvent> &events)
{
    QList<int> unknown;
    for (const MenuEvent &event : events) {
        if (event.id != 0 && !action(event.id))
            unknown.append(event.id);
        else
            Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return unknown;
}

bool DBusMenuExporter::AboutToShow(int)
{
    return false;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int> &ids, QList<int> &unknown)
{
    for (const int id : ids) {
        if (id != 0 && !action(id))
            unknown.append(id);
    }
    return {};
}

int DBusMenuExporter::idOf(QAction *action)
{
    const auto found = m_ids.constFind(action);
    if (found != m_ids.constEnd())
        return *found;
    m_actions.append(action);
    const int id = int(m_actions.size());
    m_ids.insert(action, id);
    return id;
}

QAction *DBusMenuExporter::action(int id) const
{
    return id >= 1 && id <= m_actions.size() ? m_actions.at(id - 1).data() : nullptr;
}

QMenu *DBusMenuExporter::menuOf(int id) const
{
    if (id == 0)
        return m_menu;
    QAction *entry = action(id);
    return entry ? entry->menu() : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(int id, const QStringList &wanted)
{
    QVariantMap properties;
    if (id == 0) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (QAction *entry = action(id)) {
        if (entry->isSeparator()) {
            properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            // dbusmenu marks the access key with '_', Qt with '&'.
            QString label = entry->text();
            label.replace(u'_', QLatin1String("__"));
            label.replace(QLatin1String("&&"), QLatin1String("\x01"));
            label.replace(u'&', u'_');
            label.replace(u'\x01', u'&');
            properties.insert(QStringLiteral("label"), label);
        }
        if (!entry->isEnabled())
            properties.insert(QStringLiteral("enabled"), false);
        if (!entry->isVisible())
            properties.insert(QStringLiteral("visible"), false);
        if (entry->menu())
            properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    if (wanted.isEmpty())
        return properties;
    QVariantMap chosen;
    for (const QString &name : wanted) {
        if (properties.contains(name))
            chosen.insert(name, properties.value(name));
    }
    return chosen;
}

MenuLayout DBusMenuExporter::layoutOf(int id, int depth, const QStringList &wanted)
{
    MenuLayout layout{id, propertiesOf(id, wanted), {}};
    QMenu *menu = menuOf(id);
    if (!menu || depth == 0)
        return layout;
    const QList<QAction *> entries = menu->actions();
    for (QAction *entry : entries)
        layout.children.append(layoutOf(idOf(entry), depth < 0 ? -1 : depth - 1, wanted));
    return layout;
}

} // namespace sni
