#include "ui/MenuButtons.h"

#include <QEvent>
#include <QMenu>
#include <QMouseEvent>

namespace MenuButtons {
namespace {

/// Swallows the releases of every button but the left one: QMenu chooses
/// the item under the pointer on the release of any button.
class LeftButtonOnly : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton;
    }
};

} // namespace

void chooseWithLeftButtonOnly(QMenu *menu)
{
    menu->installEventFilter(new LeftButtonOnly(menu));
}

} // namespace MenuButtons
