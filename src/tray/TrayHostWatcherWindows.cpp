#include "tray/TrayHostWatcher.h"

#include <QCursor>
#include <QMetaObject>
#include <QSystemTrayIcon>
#include <string_view>
#include <windows.h>
// After windows.h, which it needs.
// clang-format off
#include <commctrl.h>
// clang-format on

namespace {

/// The message Qt's notification-area icon is told about the mouse with
/// (MYWM_NOTIFYICON in Qt 6.4's qwindowssystemtrayicon.cpp), with the mouse
/// message in the low word of lParam (NOTIFYICON_VERSION_4). Qt acts on the
/// release only (WM_CONTEXTMENU); the press is heard here.
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

// The shell tells the icon's window of the mouse with a sent message (Wine's
// explorer uses SendNotifyMessage), which never passes Qt's native event
// filters: the window itself is listened to.
LRESULT CALLBACK listen(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                        DWORD_PTR data)
{
    if (message == kQtTrayCallback && LOWORD(lParam) == WM_RBUTTONDOWN) {
        auto *watcher = reinterpret_cast<TrayHostWatcher *>(data);
        const QPoint at = QCursor::pos();
        // Opened once the shell's message is done with.
        QMetaObject::invokeMethod(
            watcher, [watcher, at] { emit watcher->rightPressed(at); }, Qt::QueuedConnection);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, listen, kSubclassId);
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

// Windows' notification area is always there.
TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
    , m_owner(QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0)
{}

TrayHostWatcher::~TrayHostWatcher()
{
    forEachQtTrayWindow([](HWND window) { RemoveWindowSubclass(window, listen, kSubclassId); });
}

bool TrayHostWatcher::isPossible() const
{
    return true;
}

bool TrayHostWatcher::reportsRightPress() const
{
    return true;
}

void TrayHostWatcher::iconShown()
{
    // Qt makes a new window each time its icon is shown; listening again to
    // one already listened to changes nothing.
    forEachQtTrayWindow([this](HWND window) {
        SetWindowSubclass(window, listen, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    });
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray &, void *, qintptr *)
{
    return false;
}

void TrayHostWatcher::follow(quint32)
{}

quint32 TrayHostWatcher::currentOwner() const
{
    return m_owner;
}
