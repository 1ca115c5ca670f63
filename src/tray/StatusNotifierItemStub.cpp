#include "tray/StatusNotifierItem.h"

// No session bus here: never a host, and that is known at once.
struct StatusNotifierItem::Private
{
};

StatusNotifierItem::StatusNotifierItem(const QIcon &, const QString &, QMenu *, QObject *parent)
    : QObject(parent)
{}

StatusNotifierItem::~StatusNotifierItem() = default;

bool StatusNotifierItem::isSettled() const
{
    return true;
}

bool StatusNotifierItem::isHostPresent() const
{
    return false;
}

void StatusNotifierItem::setShown(bool)
{}

bool StatusNotifierItem::isShown() const
{
    return false;
}
