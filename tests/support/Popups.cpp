#include "support/Popups.h"

#include "support/XTools.h"

#include <QCoreApplication>
#include <QMenu>
#include <QTest>

namespace Popups {

bool openWithRightPress(const std::function<QPoint()> &at, const std::function<bool()> &isOpen)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        XTools::syncOwnConnection();
        if (!XTools::movePointer(at()) || !XTools::pressButton(3))
            return false;
        const bool opened = QTest::qWaitFor(isOpen, 3000);
        if (!XTools::releaseButton(3))
            return false;
        XTools::syncOwnConnection();
        QCoreApplication::processEvents();
        if (opened && isOpen())
            return true;
    }
    return false;
}

bool openWithRightPress(QMenu &menu, const std::function<QPoint()> &at)
{
    return openWithRightPress(at, [&menu] { return menu.isVisible(); });
}

} // namespace Popups
