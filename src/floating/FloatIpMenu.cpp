#include "floating/FloatIpMenu.h"

#include "platform/NativeWindow.h"
#include "ui/MenuButtons.h"

FloatIpMenu::FloatIpMenu(QWidget *parent)
    : QMenu(QStringLiteral("FloatIP"), parent)
    , mnuFloatIpCopy(addAction(QStringLiteral("Copy")))
    , mnuFloatIpHide(addAction(QStringLiteral("Hide")))
{
    setObjectName(QStringLiteral("mnuFloatIp"));
    mnuFloatIpCopy->setObjectName(QStringLiteral("mnuFloatIpCopy"));
    mnuFloatIpHide->setObjectName(QStringLiteral("mnuFloatIpHide"));
    NativeWindow::keepPopupThroughLateDeactivation(this);
    MenuButtons::chooseWithLeftButtonOnly(this);
}
