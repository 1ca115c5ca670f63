// Exits 0 once the X display has a notification area that Qt can dock an
// icon into, 1 when it has none. Used by the session scripts to wait for
// the tray host before anything starts that needs it.
#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    return QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1;
}
