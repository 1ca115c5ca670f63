#pragma once

#include <QPoint>
#include <functional>

class QMenu;

/// Opening this program's popup menus as a person does: a real right press.
namespace Popups {

/// Presses the right button at the spot @p at gives and waits until
/// @p isOpen. A press that lands while the window manager is still moving
/// the focus away from a window just hidden sees the popup close again at
/// once (no person clicks that fast): then it presses once more, at the
/// next spot.
bool openWithRightPress(const std::function<QPoint()> &at, const std::function<bool()> &isOpen);

/// The same for a menu of this process.
bool openWithRightPress(QMenu &menu, const std::function<QPoint()> &at);

} // namespace Popups
