#include "tray/RightPressHookWindows.h"

#include <QCursor>
#include <QMetaObject>
#include <algorithm>
#include <string_view>
#include <windows.h>
// After windows.h, which it needs.
// clang-format off
#include <commctrl.h>
// clang-format on

namespace {

/// The message Qt's notification-area icon is told about the mouse with
/// (MYWM_NOTIFYICON in Qt 6.4's qwindowssystemtrayicon.cpp), with the mouse
/// message in the low word of lParam (NOTIFYICON_VERSION_4).
constexpr UINT kQtTrayCallback = WM_APP + 101;
constexpr UINT_PTR kSubclassId = 0x4b49; // any number of ours

/// Qt's hidden window for its icon: class "Qt<version>TrayIconMessageWindowClass".
bool isQtTrayWindow(HWND window)
{
    static constexpr std::wstring_view suffix = L"TrayIconMessageWindowClass";
    wchar_t name[128] = {};
    const int length = GetClassNameW(window, name, int(std::size(name)));
    const std::wstring_view className(name, size_t(std::max(length, 0)));
    return className.ends_with(suffix);
}

LRESULT CALLBACK listenTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                          DWORD_PTR data)
{
    if (message == kQtTrayCallback && LOWORD(lParam) == WM_RBUTTONDOWN) {
        auto *hook = reinterpret_cast<RightPressHook *>(data);
        const QPoint at = QCursor::pos();
        QMetaObject::invokeMethod(
            hook, [hook, at] { emit hook->rightPressed(at); }, Qt::QueuedConnection);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, listenTo, kSubclassId);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

template<typename Function> void forEachQtTrayWindow(Function function)
{
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM function) -> BOOL {
            if (isQtTrayWindow(window))
                (*reinterpret_cast<Function *>(function))(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&function));
}

} // namespace

RightPressHook::RightPressHook(QObject *parent)
    : QObject(parent)
{}

RightPressHook::~RightPressHook()
{
    forEachQtTrayWindow([](HWND window) { RemoveWindowSubclass(window, listenTo, kSubclassId); });
}

void RightPressHook::listen()
{
    // Listening again to a window already listened to changes nothing.
    forEachQtTrayWindow([this](HWND window) {
        SetWindowSubclass(window, listenTo, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    });
}
