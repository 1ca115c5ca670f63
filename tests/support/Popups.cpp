#include "support/Popups.h"

#include "support/XTools.h"

#include <QMenu>
#include <QTest>

namespace Popups {

bool openWithRightPress(const std::function<QPoint()> &at, const std::function<bool()> &isOpen)
{
    XTools::syncOwnConnection();
    if (!XTools::movePointer(at()) || !XTools::pressButton(3))
        return false;
    const bool opened = QTest::qWaitFor(isOpen, 10000);
    return XTools::releaseButton(3) && opened;
}

bool openWithRightPress(QMenu &menu, const std::function<QPoint()> &at)
{
    return openWithRightPress(at, [&menu] { return menu.isVisible(); });
}

} // namespace Popups
