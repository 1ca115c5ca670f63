#pragma once

#include <QPoint>
#include <functional>

class QMenu;

/// Opening this program's popup menus as a person does: a real right press.
namespace Popups {

/// Presses the right button at the spot @p at gives, waits until @p isOpen
/// and releases it.
bool openWithRightPress(const std::function<QPoint()> &at, const std::function<bool()> &isOpen);

/// The same for a menu of this process.
bool openWithRightPress(QMenu &menu, const std::function<QPoint()> &at);

} // namespace Popups
