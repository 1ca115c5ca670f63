#include "app/ModTray.h"

#include "address/SystemAddressSource.h"
#include "app/FrmIP.h"
#include "settings/AppSettings.h"

#include <QApplication>

namespace modTray {

int Main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("IP"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrunes IP Tool"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    // Hidden behind the tray icon the program keeps running.
    QApplication::setQuitOnLastWindowClosed(false);

    const AppSettings settings;
    SystemAddressSource wskIP;
    FrmIP frmIP(settings, wskIP);
    QObject::connect(&frmIP, &FrmIP::ended, &app, [] { QCoreApplication::exit(0); });
    if (!frmIP.staysHiddenAtStart())
        frmIP.show();
    return QApplication::exec();
}

} // namespace modTray
