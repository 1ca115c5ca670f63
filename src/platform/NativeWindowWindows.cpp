#include "platform/NativeWindow.h"

#include <QByteArray>
#include <QCursor>
#include <QWidget>
#include <QWindow>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace NativeWindow {

Qt::WindowType typeWithoutTaskbarButton()
{
    return Qt::Tool;
}

bool hasNoStayOnTopLayer()
{
    return false;
}

bool reportsPlaces()
{
    return true;
}

bool canRestoreMinimised()
{
    return true;
}

bool isDestroyedFromOutside(const QWidget *window)
{
#if defined(Q_OS_WIN)
    return window->testAttribute(Qt::WA_WState_Created) &&
           !IsWindow(reinterpret_cast<HWND>(window->winId()));
#else
    Q_UNUSED(window);
    return false;
#endif
}

void useActivationToken(const QByteArray &)
{}

void clearActivationToken()
{}

std::optional<QPoint> framePosition(const QWidget *)
{
    return std::nullopt;
}

void keepOffTaskbars(QWidget *)
{
    // A tool window has no taskbar button here to begin with.
}

std::optional<int> frameHeight(QWidget *window)
{
#ifdef Q_OS_WIN
    // From the system's own metrics for this window's style and DPI.
    const auto handle = reinterpret_cast<HWND>(window->winId());
    const auto style = DWORD(GetWindowLongPtrW(handle, GWL_STYLE));
    const auto extendedStyle = DWORD(GetWindowLongPtrW(handle, GWL_EXSTYLE));
    RECT outer = {0, 0, 0, 0};
    if (!AdjustWindowRectExForDpi(&outer, style, FALSE, extendedStyle, GetDpiForWindow(handle)))
        return std::nullopt;
    return qRound((outer.bottom - outer.top) / window->devicePixelRatioF());
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
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

bool isManaged(const QWidget *window)
{
    return window->isVisible();
}

void whenPlaced(QWidget *, std::function<void(QPoint)>)
{
    // The system puts a window where it asks to be.
}

void forgetGoneWindowManager(QWidget *)
{
    // The window manager is part of the system here.
}

void whenWindowManagerArrives(QObject *, std::function<void()>)
{
    // There is always one.
}

} // namespace NativeWindow
