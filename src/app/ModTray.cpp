#include "app/ModTray.h"

#include "address/SystemAddressSource.h"
#include "app/FrmIP.h"
#include "app/SingleInstance.h"
#include "floating/FrmFloatingIP.h"
#include "platform/TerminationSignals.h"
#include "platform/WindowSystem.h"
#include "settings/AppSettings.h"
#include "ui/Accessibility.h"

#include <QApplication>
#include <QByteArray>
#include <cstdio>
#include <optional>

namespace modTray {
namespace {

/// The answer to --help or --version (or -h, -v), when asked: given before
/// anything of the GUI starts, so that no display is needed.
std::optional<QByteArray> informationAskedFor(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--version" || argument == "-v")
            return QByteArrayLiteral("IP " KESTRUNE_VERSION "\n");
        if (argument == "--help" || argument == "-h") {
            return QByteArrayLiteral(
                "Usage: IP\n"
                "Shows this computer's local IPv4 address, behind an icon in the notification\n"
                "area. IP takes no options: everything is done from its windows and its menu.\n"
                "\n"
                "  -h, --help     show this help and end\n"
                "  -v, --version  show the version and end\n");
        }
    }
    return std::nullopt;
}

} // namespace

int Main(int argc, char *argv[])
{
    if (const std::optional<QByteArray> answer = informationAskedFor(argc, argv)) {
        std::fwrite(answer->constData(), 1, size_t(answer->size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    WindowSystem::CommandLine commandLine(argc, argv);
    QApplication app(commandLine.argc(), commandLine.argv());
    QApplication::setApplicationName(QStringLiteral("IP"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrune.IP"));
    // Hidden behind the tray icon the program keeps running.
    QApplication::setQuitOnLastWindowClosed(false);
    Accessibility::install({&FrmIP::staticMetaObject, &FrmFloatingIP::staticMetaObject});

    // Started again in the same session: the running copy shows itself.
    SingleInstance instance;
    if (!instance.claim())
        return 0;

    const AppSettings settings;
    SystemAddressSource wskIP;
    FrmIP frmIP(settings, wskIP);
    QObject::connect(&frmIP, &FrmIP::ended, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&instance, &SingleInstance::showRequested, &frmIP, &FrmIP::showFromOutside);
    // Asked to end by the session or from a terminal: the same ending as
    // quitting, without the question.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &frmIP, &FrmIP::Form_Terminate);
    if (!frmIP.staysHiddenAtStart())
        frmIP.show();
    return QApplication::exec();
}

} // namespace modTray
