#include "app/ModTray.h"

#include "address/SystemAddressSource.h"
#include "app/FrmIP.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "app/WindowSystem.h"
#include "floating/FrmFloatingIP.h"
#include "platform/SessionBus.h"
#include "settings/AppSettings.h"
#include "ui/Accessibility.h"

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
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

/// Writes @p text to @p stream; whether all of it got there.
bool writeAll(std::FILE *stream, const QByteArray &text)
{
    return std::fwrite(text.constData(), 1, size_t(text.size()), stream) == size_t(text.size()) &&
           std::fflush(stream) == 0;
}

/// While the application is being made: Qt's messages are held back, and a
/// window system that cannot be had ends the program with one line that says
/// so, instead of Qt's abort. Afterwards the messages held back go where they
/// would have gone.
class StartMessages
{
public:
    StartMessages() { s_previous = qInstallMessageHandler(&StartMessages::handle); }
    ~StartMessages()
    {
        qInstallMessageHandler(s_previous);
        const std::lock_guard lock(s_mutex);
        for (const auto &[type, context, message] : std::as_const(s_held))
            s_previous(
                type,
                QMessageLogContext(context.file, context.line, context.function, context.category),
                message);
        s_held.clear();
    }
    StartMessages(const StartMessages &) = delete;
    StartMessages &operator=(const StartMessages &) = delete;

private:
    struct Held
    {
        QtMsgType type;
        struct
        {
            const char *file;
            int line;
            const char *function;
            const char *category;
        } context;
        QString message;
    };

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        // Qt's threads (the session bus's among them) may say something too.
        const std::lock_guard lock(s_mutex);
        if (type != QtFatalMsg) {
            s_held.append(
                {type, {context.file, context.line, context.function, context.category}, message});
            return;
        }
        writeAll(stderr, "IP: cannot start: " + whatIsMissing(message).toLocal8Bit() + '\n');
        std::_Exit(1);
    }

    static QString whatIsMissing(const QString &fatal)
    {
        for (const Held &held : std::as_const(s_held)) {
            if (held.message.contains(QLatin1String("Could not find the Qt platform plugin")))
                return QStringLiteral("there is no window system \"%1\" to show the window on")
                    .arg(held.message.section(u'"', 1, 1));
        }
        const QString unreachable = QStringLiteral("could not connect to display");
        for (const Held &held : std::as_const(s_held)) {
            const QString display = held.message.section(unreachable, 1).trimmed();
            if (held.message.contains(unreachable) && !display.isEmpty())
                return QStringLiteral("no display to show the window on (%1 %2)")
                    .arg(unreachable, display);
        }
        if (qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return QStringLiteral("no display to show the window on (DISPLAY is not set)");
        return QStringLiteral("no display to show the window on (%1)")
            .arg(fatal.section(u'\n', 0, 0).trimmed());
    }

    static inline std::mutex s_mutex;
    static inline QtMessageHandler s_previous = nullptr;
    static inline QList<Held> s_held;
};

/// Once the application is made, a fatal message from Qt (a window it
/// cannot make: the linuxfb platform without a framebuffer) ends the
/// program with a line of its own and exit code 1 too, instead of Qt's
/// abort and core dump; every other message goes where it would have gone.
class FatalMessages
{
public:
    FatalMessages() { s_previous = qInstallMessageHandler(&FatalMessages::handle); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type != QtFatalMsg) {
            if (s_previous)
                s_previous(type, context, message);
            return;
        }
        const QString qt = message.section(u'\n', 0, 0).trimmed();
        const QString said =
            qt.contains(QLatin1String("no screens available"))
                ? QStringLiteral("cannot start: no screen to show the window on (%1)")
                : QStringLiteral("cannot go on (%1)");
        writeAll(stderr, "IP: " + said.arg(qt).toLocal8Bit() + '\n');
        std::_Exit(1);
    }

    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

int Main(int argc, char *argv[])
{
    if (const std::optional<QByteArray> answer = informationAskedFor(argc, argv)) {
        if (writeAll(stdout, *answer))
            return 0;
        // Standard output is closed or full: what it could not take goes to
        // standard error, which says why it came there.
        writeAll(stderr, *answer);
        return 1;
    }

    if (const QString why = WindowSystem::whyTooLittleAddressSpace(); !why.isEmpty()) {
        writeAll(stderr, "IP: cannot start: " + why.toLocal8Bit() + '\n');
        return 1;
    }
    WindowSystem::makeRoomForDescriptors();
    TerminationSignals::reserve();
    // Under way while the application is made; nothing here waits for it.
    SessionBus::startConnecting();
    WindowSystem::CommandLine commandLine(argc, argv);
    std::optional<StartMessages> starting(std::in_place);
    QApplication app(commandLine.argc(), commandLine.argv());
    starting.reset();
    const FatalMessages fatal;
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
    if (const QString why = instance.whyNotTheOnlyCopy(); !why.isEmpty())
        writeAll(stderr, "IP: cannot make sure it runs only once in this session (" +
                             why.toLocal8Bit() + "); another start will run another copy.\n");

    // Usually ready long before; a stopped bus delays the window by this.
    SessionBus::prepareAccessibility(std::chrono::milliseconds(500));
    const AppSettings settings;
    // A change that cannot be saved is said, never dropped in silence.
    settings.reportTroubleTo(
        [](const QString &message) { writeAll(stderr, "IP: " + message.toLocal8Bit() + '\n'); });
    SystemAddressSource wskIP;
    std::optional<FrmIP> frmIP(std::in_place, settings, wskIP);
    QObject::connect(&*frmIP, &FrmIP::ended, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&instance, &SingleInstance::showRequested, &*frmIP, &FrmIP::showFromOutside);
    QObject::connect(&instance, &SingleInstance::replaced, &*frmIP, [&frmIP] {
        writeAll(stderr, "IP: another copy runs in this session now; this one ends.\n");
        frmIP->Form_Terminate();
    });
    // Asked to end by the session or from a terminal: the same ending as
    // quitting, without the question.
    std::optional<TerminationSignals> termination(std::in_place);
    QObject::connect(&*termination, &TerminationSignals::received, &*frmIP, &FrmIP::Form_Terminate);
    if (!frmIP->staysHiddenAtStart())
        frmIP->show();
    const int exitCode = QApplication::exec();

    // With the windows gone, and what they and the signals held, one more
    // try for changes still waiting; one lost makes the ending a failure.
    frmIP.reset();
    termination.reset();
    settings.saveWhatWaits(std::chrono::milliseconds(200));
    const QString unsaved = settings.unsavedChanges();
    if (unsaved.isEmpty())
        return exitCode;
    writeAll(stderr, "IP: ended without saving " + unsaved.toLocal8Bit() + ".\n");
    return 1;
}

} // namespace modTray
