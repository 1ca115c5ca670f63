#include "platform/NativeWindow.h"

#include <QCursor>
#include <QWidget>
#include <QWindow>

namespace NativeWindow {

void keepOffTaskbars(QWidget *)
{
    // A tool window has no taskbar button here to begin with.
}

std::optional<QPoint> screenPosition(const QWidget *)
{
    return std::nullopt;
}

bool startMove(QWidget *window, QPoint pressGlobal)
{
    // The system's move loop starts from where the pointer is now: put the
    // grabbed point back under it first.
    window->move(QCursor::pos() - (pressGlobal - window->pos()));
    return window->windowHandle() && window->windowHandle()->startSystemMove();
}

void keepPopupThroughLateDeactivation(QWidget *)
{
    // Here losing the focus means the user went elsewhere: the popup goes.
}

} // namespace NativeWindow
