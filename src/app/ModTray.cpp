#include "app/ModTray.h"

#include "address/SystemAddressSource.h"
#include "app/FrmIP.h"
#include "platform/TerminationSignals.h"
#include "platform/WindowSystem.h"
#include "settings/AppSettings.h"

#include <QApplication>

namespace modTray {

int Main(int argc, char *argv[])
{
    WindowSystem::choose(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("IP"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrune.IP"));
    // Hidden behind the tray icon the program keeps running.
    QApplication::setQuitOnLastWindowClosed(false);

    const AppSettings settings;
    SystemAddressSource wskIP;
    FrmIP frmIP(settings, wskIP);
    QObject::connect(&frmIP, &FrmIP::ended, &app, [] { QCoreApplication::exit(0); });
    // Asked to end by the session or from a terminal: the same ending as
    // quitting, without the question.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &frmIP, &FrmIP::Form_Terminate);
    if (!frmIP.staysHiddenAtStart())
        frmIP.show();
    return QApplication::exec();
}

} // namespace modTray
