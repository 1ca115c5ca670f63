#include "floating/FloatIpMenu.h"

FloatIpMenu::FloatIpMenu(QWidget *parent)
    : QMenu(QStringLiteral("FloatIP"), parent)
    , mnuFloatIpCopy(addAction(QStringLiteral("Copy")))
    , mnuFloatIpHide(addAction(QStringLiteral("Hide")))
{
    setObjectName(QStringLiteral("mnuFloatIp"));
    mnuFloatIpCopy->setObjectName(QStringLiteral("mnuFloatIpCopy"));
    mnuFloatIpHide->setObjectName(QStringLiteral("mnuFloatIpHide"));
}
