#include "platform/StatusNotifierItem.h"

struct StatusNotifierItem::Private
{
};

StatusNotifierItem::StatusNotifierItem(const QIcon &, const QString &, QMenu *, QObject *parent)
    : QObject(parent)
{}

StatusNotifierItem::~StatusNotifierItem() = default;

bool StatusNotifierItem::isHostPresent() const
{
    return false;
}

bool StatusNotifierItem::isHostPresentNow() const
{
    return false;
}

void StatusNotifierItem::setShown(bool)
{}

bool StatusNotifierItem::isShown() const
{
    return false;
}

void StatusNotifierItem::registerWithWatcher()
{}
