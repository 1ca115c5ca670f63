// The program as its users meet it: the real binary in its own process on
// an X display with a window manager and a tray host, driven through the
// pointer, the keyboard, the tray icon and the clipboard, and judged by
// what the window system shows and what the settings file holds.
#include "Session.h"
#include "support/Compositor.h"
#include "support/XTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

namespace {

// The main window's controls, as laid out (twips, inside the window).
struct Control
{
    int left, top, width, height;
};
constexpr Control cmdShow{120, 600, 1335, 375};
constexpr Control cmdHide{1440, 600, 855, 375};
constexpr Control cmdCopy{2280, 600, 855, 375};
constexpr Control lblWebAdd{720, 1020, 1815, 255};

const QStringList trayCopy{"Down", "Return"};
const QStringList trayVisibleYes{"Down", "Down", "Right", "Return"};
const QStringList trayFloatingYes{"Down", "Down", "Down", "Right", "Return"};
const QStringList trayQuit{"Up", "Return"};
const QStringList popupCopy{"Down", "Return"};
const QStringList popupHide{"Down", "Down", "Return"};

/// The source address the kernel picks for the default route.
QString kernelAddress()
{
    bool ok = false;
    const QString route = XTools::output("ip", {"-o", "-4", "route", "get", "1.1.1.1"}, &ok);
    const auto match =
        QRegularExpression(QStringLiteral(R"(\bsrc (\d+\.\d+\.\d+\.\d+))")).match(route);
    return ok && match.hasMatch() ? match.captured(1) : QString();
}

/// @p program's output, run on another X display than the test's.
QString onDisplay(const QString &display, const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    return process.waitForFinished(10000) ? QString::fromUtf8(process.readAllStandardOutput())
                                          : QString();
}

} // namespace

class JourneysTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunThenQuit();
    void floatingWindowOnOffDraggedAndBackNextTime();
    void hiddenAtTheNextStartUntilShownFromTheTray();
    void closeFromTheWindowManagerThenQuitFromTheTray();
    void copyByKeysButtonsAndMenus();
    void minimiseHidesAndTheNextStartShows();
    void startedBeforeTheWindowManager_data();
    void startedBeforeTheWindowManager();
    void floatingWindowIsInNoWindowSwitcher_data();
    void floatingWindowIsInNoWindowSwitcher();
    void floatingWindowKeepsItsSizeLayerAndPlace_data();
    void floatingWindowKeepsItsSizeLayerAndPlace();
    void hiddenWhileTheWindowManagerRestarts();

private:
    std::unique_ptr<Session> newSession();
    /// Starts the journey's own X server, and @p windowManager on it with
    /// the environment it leaves in @p environment; the display, or empty
    /// when either did not come up.
    QString startDesktop(QProcess &wm, QProcessEnvironment &environment,
                         const QStringList &windowManager);
    /// Quits through the tray menu, answering No: the process ends.
    void quit(Session &session);
    void snapshot(const QString &moment);

    QTemporaryDir m_scratch;
    QString m_artefacts;
    std::unique_ptr<Session> m_session;
    /// A journey's own X server: ended after the session, so that a failed
    /// journey's copy is still seen as it was.
    std::unique_ptr<QProcess> m_server;
    /// Or a Wayland compositor, its XWayland the journey's X server.
    std::unique_ptr<Compositor> m_compositor;
    int m_sessionCount = 0;
};

void JourneysTest::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    m_artefacts = QStringLiteral(KESTRUNE_ARTEFACTS);
    QDir(m_artefacts).removeRecursively();
    QDir().mkpath(m_artefacts);
}

void JourneysTest::init()
{
    XTools::movePointer({5, 5});
}

void JourneysTest::cleanup()
{
    if (QTest::currentTestFailed() && m_session) {
        snapshot(QStringLiteral("FAILED"));
        qWarning().noquote() << "What the failing journey saw:"
                             << "\n  process running:" << m_session->isRunning()
                             << "\n  main window:" << m_session->mainWindow()
                             << "\n  floating window:" << m_session->floatingWindow()
                             << "\n  close question:" << m_session->questionWindow()
                             << "\n  tray icon:" << m_session->trayIcon()
                             << "\n  clipboard:" << XTools::clipboard();
        QFile settings(m_session->settingsFile());
        if (settings.open(QIODevice::ReadOnly))
            qWarning().noquote() << "  settings file:\n" << settings.readAll();
    }
    XTools::key("Escape");
    m_session.reset();
    m_compositor.reset();
    qunsetenv("XAUTHORITY");
    if (m_server) {
        m_server->kill();
        m_server->waitForFinished();
        m_server.reset();
    }
}

std::unique_ptr<Session> JourneysTest::newSession()
{
    // Each journey has a settings folder of its own, shared by its restarts.
    return std::make_unique<Session>(m_scratch.filePath(QTest::currentTestFunction()));
}

QString JourneysTest::startDesktop(QProcess &wm, QProcessEnvironment &environment,
                                   const QStringList &windowManager)
{
    static const QHash<QString, Compositor::Kind> compositors = {
        {"sway", Compositor::Kind::SwayXWayland},
        {"weston", Compositor::Kind::WestonXWayland},
        {"kwin_wayland", Compositor::Kind::KWin},
        {"gnome-shell --wayland", Compositor::Kind::GnomeShell}};
    if (const auto kind = compositors.find(windowManager.join(' ')); kind != compositors.end()) {
        // The compositor's own X11 window manager, in XWayland.
        m_compositor =
            std::make_unique<Compositor>(*kind, m_scratch.filePath(windowManager.constFirst()));
        if (!m_compositor->start()) {
            qWarning().noquote() << windowManager.constFirst()
                                 << "did not come up:" << m_compositor->output();
            return {};
        }
        // Admitted by mutter's XWayland with its file, by the others without.
        qputenv("XAUTHORITY", m_compositor->xAuthority().toLocal8Bit());
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", m_compositor->xDisplay());
        return m_compositor->xDisplay();
    }
    m_server = std::make_unique<QProcess>();
    const QString display = XTools::startServer(*m_server, m_scratch.filePath("display"));
    if (display.isEmpty())
        return {};
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    environment.insert("NO_AT_BRIDGE", "1");
    wm.setProcessEnvironment(environment);
    wm.setProcessChannelMode(QProcess::MergedChannels);
    QStringList command = windowManager;
    // Openbox 3.6.1 announces itself before it has finished starting, and a
    // window mapped meanwhile may land in its own event queue, seen only
    // when the next X event comes (none does in a test): its startup
    // command says when it is done.
    const QString started = m_scratch.filePath("openbox-started");
    QFile::remove(started);
    if (command == QStringList{"openbox"})
        command << "--startup"
                << "touch " + started;
    wm.start(command.takeFirst(), command);
    const bool up = QTest::qWaitFor(
        [&] {
            return onDisplay(display, "xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"})
                       .contains("window id") &&
                   (windowManager != QStringList{"openbox"} || QFile::exists(started));
        },
        30000);
    if (!up)
        qWarning().noquote() << windowManager.join(' ') << "did not come up:" << wm.readAll();
    return up ? display : QString();
}

void JourneysTest::snapshot(const QString &moment)
{
    const QString name = QStringLiteral("%1-%2.png").arg(QTest::currentTestFunction(), moment);
    XTools::run("import", {"-window", "root", QDir(m_artefacts).filePath(name)});
}

void JourneysTest::quit(Session &session)
{
    QVERIFY(session.trayMenu(trayQuit));
    QTRY_VERIFY_WITH_TIMEOUT(session.questionWindow() != 0, 10000);
    // Over to No, and press it.
    QVERIFY(XTools::key("Tab"));
    QVERIFY(XTools::key("space"));
    QVERIFY2(session.waitForEnd(), qPrintable(session.output()));
    QTRY_COMPARE(session.trayIcon(), WId(0));
}

void JourneysTest::firstRunThenQuit()
{
    m_session = newSession();
    Session &s = *m_session;
    // The browser is a stand-in that notes what it was asked to open, and
    // whether it was given a session bus (there is none here).
    const QString opener = m_scratch.filePath("bin/xdg-open");
    [[maybe_unused]] const QString opened = opener + ".noted";
    QVERIFY(QDir().mkpath(QFileInfo(opener).path()));
    QFile script(opener);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\nprintf '%s %s\\n' \"$*\" \"${DBUS_SESSION_BUS_ADDRESS-unset}\" > \"$0.tmp\"\n"
        "mv \"$0.tmp\" \"$0.noted\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    s.setEnvironment("PATH", QFileInfo(opener).path() + ':' + qEnvironmentVariable("PATH"));
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);
    QCOMPARE(s.floatingWindow(), WId(0));
    snapshot("started");

    // The address it shows is the one the kernel uses; Copy hands it over.
    QVERIFY(XTools::setClipboard("nothing yet"));
    QVERIFY(s.clickMainWindow(cmdCopy.left, cmdCopy.top, cmdCopy.width, cmdCopy.height));
    QTRY_VERIFY(XTools::clipboard() != "nothing yet");
    const QString shown = XTools::clipboard();
    const QString kernel = kernelAddress();
    QCOMPARE(shown, kernel.isEmpty() ? QString("127.0.0.1") : kernel);
    QVERIFY(!QFile::exists(s.settingsFile()));

#if !defined(__SANITIZE_ADDRESS__)
    // GCC 12's AddressSanitizer takes none of its locks across fork(): a
    // child forked while another thread allocates can hang before it runs
    // the opener. The opener is tried without the sanitizers only.
    QVERIFY(s.clickMainWindow(lblWebAdd.left, lblWebAdd.top, lblWebAdd.width, lblWebAdd.height));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), 10000);
    QFile noted(opened);
    QVERIFY(noted.open(QIODevice::ReadOnly));
    QCOMPARE(noted.readAll(), QByteArray("https://kestrune.com/ unset\n"));
#endif

    quit(s);
    QCOMPARE(s.setting("X"), QString("0"));
    QCOMPARE(s.setting("Y"), QString("0"));
    QCOMPARE(s.setting("Float"), QString());
    QCOMPARE(s.setting("Vis"), QString());
}

void JourneysTest::floatingWindowOnOffDraggedAndBackNextTime()
{
    m_session = newSession();
    Session &s = *m_session;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);

    // On from the button: at the top left corner on a first run.
    QVERIFY(s.clickMainWindow(cmdShow.left, cmdShow.top, cmdShow.width, cmdShow.height));
    QTRY_VERIFY(s.floatingWindow() != 0);
    QCOMPARE(s.setting("Float"), QString("YES"));
    QTRY_COMPARE(s.frameless(s.floatingWindow()).topLeft(), QPoint(0, 0));

    // Dragged with the pointer: the grabbed point stays under it.
    const QPoint grab(30, 11);
    QVERIFY(XTools::movePointer(grab));
    QVERIFY(XTools::pressButton(1));
    QVERIFY(XTools::movePointer(grab + QPoint(1, 1)));
    for (int step = 1; step <= 10; ++step)
        QVERIFY(XTools::movePointer(grab + QPoint(1 + 30 * step, 1 + 20 * step)));
    QVERIFY(XTools::releaseButton(1));
    const QPoint dragged(301, 201);
    QTRY_COMPARE(s.frameless(s.floatingWindow()).topLeft(), dragged);
    snapshot("dragged");

    // Off from the button, on from the tray, Hide from its own popup.
    QVERIFY(s.clickMainWindow(cmdShow.left, cmdShow.top, cmdShow.width, cmdShow.height));
    QTRY_COMPARE(s.floatingWindow(), WId(0));
    QCOMPARE(s.setting("Float"), QString("no"));
    QCOMPARE(s.setting("X"), QString::number(dragged.x() * 15));
    QCOMPARE(s.setting("Y"), QString::number(dragged.y() * 15));

    QVERIFY(s.trayMenu(trayFloatingYes));
    QTRY_VERIFY(s.floatingWindow() != 0);
    QCOMPARE(s.setting("Float"), QString("YES"));
    QTRY_COMPARE(s.frameless(s.floatingWindow()).topLeft(), dragged);

    QVERIFY(s.floatingPopup(popupHide));
    QTRY_COMPARE(s.floatingWindow(), WId(0));
    QTRY_COMPARE(s.setting("Float"), QString("No"));

    // On again, then quit: the next start brings it back where it was.
    QVERIFY(s.clickMainWindow(cmdShow.left, cmdShow.top, cmdShow.width, cmdShow.height));
    QTRY_VERIFY(s.floatingWindow() != 0);
    quit(s);
    QCOMPARE(s.setting("Float"), QString("YES"));

    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.floatingWindow() != 0, 10000);
    QTRY_COMPARE(s.frameless(s.floatingWindow()).topLeft(), dragged);
    snapshot("back-next-time");
    quit(s);
}

void JourneysTest::hiddenAtTheNextStartUntilShownFromTheTray()
{
    m_session = newSession();
    Session &s = *m_session;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);

    QVERIFY(s.clickMainWindow(cmdHide.left, cmdHide.top, cmdHide.width, cmdHide.height));
    QTRY_COMPARE(s.mainWindow(), WId(0));
    QCOMPARE(s.setting("Vis"), QString("NO"));
    // Asked with no window of its own shown, the question still carries the
    // program's icon.
    QVERIFY(s.trayMenu(trayQuit));
    QTRY_VERIFY_WITH_TIMEOUT(s.questionWindow() != 0, 10000);
    const QString icon =
        XTools::output("xprop", {"-id", QString::number(s.questionWindow()), "_NET_WM_ICON"});
    QVERIFY2(icon.contains("Icon (16 x 16)"), qPrintable(icon.left(200)));
    QVERIFY(XTools::key("Tab"));
    QVERIFY(XTools::key("space"));
    QVERIFY2(s.waitForEnd(), qPrintable(s.output()));

    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);
    QCOMPARE(s.mainWindow(), WId(0));
    QCOMPARE(s.floatingWindow(), WId(0));
    snapshot("only-the-icon");

    QVERIFY(s.trayMenu(trayVisibleYes));
    QTRY_VERIFY(s.mainWindow() != 0);
    QTRY_COMPARE(s.setting("Vis"), QString("YES"));
    quit(s);
}

void JourneysTest::closeFromTheWindowManagerThenQuitFromTheTray()
{
    m_session = newSession();
    Session &s = *m_session;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);

    QVERIFY(XTools::closeWindow(s.mainWindow()));
    QTRY_VERIFY_WITH_TIMEOUT(s.questionWindow() != 0, 10000);
    snapshot("question");
    QVERIFY(XTools::key("Return"));
    QTRY_COMPARE(s.mainWindow(), WId(0));
    QTRY_COMPARE(s.setting("Vis"), QString("NO"));
    QVERIFY(s.isRunning());
    QVERIFY(s.trayIcon() != 0);

    quit(s);
    QCOMPARE(s.setting("Vis"), QString("NO"));
    QCOMPARE(s.setting("X"), QString("0"));
    QCOMPARE(s.setting("Y"), QString("0"));
}

void JourneysTest::copyByKeysButtonsAndMenus()
{
    m_session = newSession();
    Session &s = *m_session;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);
    QVERIFY(XTools::run("xdotool", {"windowactivate", "--sync", QString::number(s.mainWindow())}));
    const QString kernel = kernelAddress();
    const QString address = kernel.isEmpty() ? QString("127.0.0.1") : kernel;

    // Copy has the focus first; Tab moves to Floating, to Hide, then to the
    // link.
    for (int control = 0; control < 4; ++control) {
        QVERIFY(XTools::setClipboard("marker"));
        QVERIFY(XTools::key("ctrl+c"));
        QTRY_COMPARE(XTools::clipboard(), address);
        QVERIFY(XTools::key("Tab"));
    }

    // Hidden and shown again from the tray, Copy still has the focus: Space
    // copies, it does not turn the floating window on.
    QVERIFY(s.trayMenu({"Down", "Down", "Right", "Down", "Return"}));
    QTRY_COMPARE(s.mainWindow(), WId(0));
    QVERIFY(s.trayMenu(trayVisibleYes));
    QTRY_VERIFY(s.mainWindow() != 0);
    QVERIFY(XTools::run("xdotool", {"windowactivate", "--sync", QString::number(s.mainWindow())}));
    QVERIFY(XTools::setClipboard("marker"));
    QVERIFY(XTools::key("space"));
    QTRY_COMPARE(XTools::clipboard(), address);
    QCOMPARE(s.floatingWindow(), WId(0));

    // Ctrl+Shift+C copies nothing: once the tray menu has opened after it,
    // the keys have been handled.
    QVERIFY(XTools::setClipboard("marker"));
    QVERIFY(XTools::key("ctrl+shift+c"));
    QVERIFY(s.trayMenu({"Escape"}));
    QCOMPARE(XTools::clipboard(), QString("marker"));

    QVERIFY(s.trayMenu(trayCopy));
    QTRY_COMPARE(XTools::clipboard(), address);

    QVERIFY(s.clickMainWindow(cmdShow.left, cmdShow.top, cmdShow.width, cmdShow.height));
    QTRY_VERIFY(s.floatingWindow() != 0);
    QVERIFY(XTools::setClipboard("marker"));
    QVERIFY(s.floatingPopup(popupCopy));
    QTRY_COMPARE(XTools::clipboard(), address);
    quit(s);
}

void JourneysTest::minimiseHidesAndTheNextStartShows()
{
    m_session = newSession();
    Session &s = *m_session;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);

    QVERIFY(XTools::minimize(s.mainWindow()));
    QTRY_COMPARE(s.mainWindow(), WId(0));
    QCOMPARE(s.setting("Vis"), QString());
    quit(s);

    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    snapshot("shown-again");
    quit(s);
}

namespace {

/// Whether the window titled @p title on @p display has a frame from the
/// window manager, with its title bar on the screen.
bool titleBarOnScreen(const QString &display, const QString &title)
{
    const QString id =
        onDisplay(display, "xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$'})
            .section('\n', 0, 0);
    if (id.isEmpty())
        return false;
    const QString extents = onDisplay(display, "xprop", {"-id", id, "_NET_FRAME_EXTENTS"});
    const QStringList frame = extents.section('=', 1).split(',');
    const QString info = onDisplay(display, "xwininfo", {"-id", id});
    const int clientTop =
        info.section("Absolute upper-left Y:", 1).section('\n', 0, 0).trimmed().toInt();
    return frame.size() == 4 && clientTop - frame.at(2).trimmed().toInt() >= 0;
}

} // namespace

void JourneysTest::startedBeforeTheWindowManager_data()
{
    QTest::addColumn<QString>("windowManager");
    for (const char *wm : {"openbox", "icewm", "fluxbox", "jwm"})
        QTest::newRow(wm) << wm;
}

void JourneysTest::startedBeforeTheWindowManager()
{
    QFETCH(QString, windowManager);
    // A session that starts its programs before its window manager.
    m_server = std::make_unique<QProcess>();
    const QString display = XTools::startServer(*m_server, m_scratch.filePath("display"));
    QVERIFY(!display.isEmpty());
    m_session = newSession();
    Session &s = *m_session;
    s.setDisplay(display);
    QVERIFY(s.start());
    const QString caption = QStringLiteral("Kestrune's IP Tool");
    QTRY_VERIFY_WITH_TIMEOUT(
        !onDisplay(display, "xdotool", {"search", "--onlyvisible", "--name", '^' + caption + '$'})
             .isEmpty(),
        20000);

    const QString id =
        onDisplay(display, "xdotool", {"search", "--onlyvisible", "--name", '^' + caption + '$'})
            .section('\n', 0, 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    // The window manager's word on the window (ICCCM's WM_STATE), each time
    // it changes.
    QProcess states;
    states.setProcessEnvironment(environment);
    states.start("xprop", {"-spy", "-id", id, "WM_STATE"});
    QTRY_VERIFY(states.canReadLine());

    QProcess wm;
    wm.setProcessEnvironment(environment);
    wm.start(windowManager, {});
    QVERIFY(wm.waitForStarted());
    // It takes the window in, lets it go when the window withdraws, and
    // places it afresh when it comes back: title bar and all on the screen.
    // The close question comes with its title bar on the screen too. Each
    // look starts three X tools, which under the sanitizers takes a second
    // or more.
    constexpr int kPlacedWithinMs = 60000;
    const QRegularExpression placedAfresh(
        QStringLiteral("state: Normal.*(not found|state: Withdrawn).*state: Normal"),
        QRegularExpression::DotMatchesEverythingOption);
    QString said;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     said += QString::fromUtf8(states.readAll());
                     // xprop reads the value when told of a change: a short
                     // withdrawal may be read as Normal. Three changes after
                     // the first report, the last one Normal, are the same.
                     return placedAfresh.match(said).hasMatch() ||
                            (said.count(QLatin1String("WM_STATE")) >= 4 &&
                             said.section(QLatin1String("WM_STATE"), -1)
                                 .contains(QLatin1String("state: Normal")));
                 },
                 kPlacedWithinMs),
             qPrintable(said));
    QTRY_VERIFY_WITH_TIMEOUT(titleBarOnScreen(display, caption), kPlacedWithinMs);
    onDisplay(display, "wmctrl", {"-i", "-c", id});
    QTRY_VERIFY_WITH_TIMEOUT(titleBarOnScreen(display, "Are you sure\\?"), kPlacedWithinMs);

    QVERIFY(s.signal(SIGTERM));
    QVERIFY(s.waitForEnd());
    states.kill();
    states.waitForFinished();
    wm.terminate();
    wm.waitForFinished();
}

void JourneysTest::floatingWindowIsInNoWindowSwitcher_data()
{
    QTest::addColumn<QStringList>("windowManager");
    QTest::newRow("openbox") << QStringList{"openbox"};
    QTest::newRow("icewm") << QStringList{"icewm"};
    // xfwm4 reads its settings over a session bus.
    QTest::newRow("xfwm4") << QStringList{"dbus-run-session", "--", "xfwm4", "--compositor=off"};
}

void JourneysTest::floatingWindowIsInNoWindowSwitcher()
{
    QFETCH(QStringList, windowManager);
    QProcessEnvironment environment;
    QProcess wm;
    const QString display = startDesktop(wm, environment, windowManager);
    QVERIFY(!display.isEmpty());
    // Another program's window to switch to.
    QProcess other;
    other.setProcessEnvironment(environment);
    other.start("xmessage", {"another program"});

    m_session = newSession();
    Session &s = *m_session;
    s.setDisplay(display);
    QFile settings(s.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[IP]\nFloat=YES\n");
    settings.close();
    QVERIFY(s.start());
    const auto find = [&display](const QString &title) {
        return onDisplay(display, "xdotool", {"search", "--onlyvisible", "--name", title})
            .section('\n', 0, 0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(!find("^Form2$").isEmpty() &&
                                 !find("^Kestrune's IP Tool$").isEmpty() &&
                                 !find("^xmessage$").isEmpty(),
                             20000);
    const QString floating = QString::number(find("^Form2$").toULongLong(), 16);
    // It has no icon either (openbox writes its own default icon onto
    // every window that has none).
    if (windowManager.constFirst() != "openbox")
        QVERIFY(onDisplay(display, "xprop", {"-id", find("^Form2$"), "_NET_WM_ICON"})
                    .contains("not found"));
    onDisplay(display, "xdotool", {"windowactivate", "--sync", find("^Kestrune's IP Tool$")});

    // Alt+Tab goes from window to window, never to the floating window.
    const auto active = [&display] {
        return onDisplay(display, "xprop", {"-root", "_NET_ACTIVE_WINDOW"})
            .section('#', 1)
            .section(',', 0, 0)
            .trimmed();
    };
    for (int press = 0; press < 4; ++press) {
        const QString before = active();
        // One look at a time, and the judgement on that look: the window
        // manager may pass the focus on more than once while it switches.
        // A busy xfwm4 now and then misses a quick Alt+Tab (its switcher
        // grabs the keyboard after the keys have gone): then again.
        QString now;
        bool switched = false;
        for (int attempt = 0; attempt < 3 && !switched; ++attempt) {
            onDisplay(display, "xdotool", {"key", "alt+Tab"});
            switched = QTest::qWaitFor(
                [&] {
                    now = active();
                    return now != before;
                },
                5000);
        }
        QVERIFY(switched);
        QVERIFY2(now != "0x" + floating, qPrintable(now));
    }

    QVERIFY(s.signal(SIGTERM));
    QVERIFY(s.waitForEnd());
    other.kill();
    other.waitForFinished();
    wm.terminate();
    wm.waitForFinished();
}

namespace {

/// The window of @p display's root that holds @p window: the window
/// manager's frame round it, or the window itself.
QString topLevelOf(const QString &display, QString window)
{
    // xwininfo without a window waits for a click.
    if (window.isEmpty())
        return {};
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree = onDisplay(display, "xwininfo", {"-children", "-id", window});
        const QString parent = tree.section("Parent window id:", 1).section('\n', 0, 0).trimmed();
        if (parent.isEmpty() || parent.contains("(the root window)"))
            return window;
        window = parent.section(' ', 0, 0);
    }
    return {};
}

/// Whether @p upper stands above @p lower on @p display.
bool isAbove(const QString &display, const QString &upper, const QString &lower)
{
    // The root's children, top first.
    const QString tree = onDisplay(display, "xwininfo", {"-root", "-children"});
    const auto at = [&tree, &display](const QString &window) {
        const qulonglong frame = topLevelOf(display, window).toULongLong(nullptr, 0);
        return tree.indexOf(QRegularExpression(QStringLiteral("^\\s+0x0*%1 ").arg(frame, 0, 16),
                                               QRegularExpression::MultilineOption));
    };
    const qsizetype above = at(upper);
    const qsizetype below = at(lower);
    return above >= 0 && below >= 0 && above < below;
}

/// Where @p window is on @p display, as xwininfo says.
QRect placeOf(const QString &display, const QString &window)
{
    if (window.isEmpty())
        return {};
    const QString info = onDisplay(display, "xwininfo", {"-id", window});
    const auto number = [&info](const char *label) {
        return info.section(QLatin1String(label) + ':', 1).section('\n', 0, 0).trimmed().toInt();
    };
    return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
            number("Height")};
}

} // namespace

void JourneysTest::floatingWindowKeepsItsSizeLayerAndPlace_data()
{
    QTest::addColumn<QStringList>("windowManager");
    QTest::addColumn<bool>("overMainWindow");
    QTest::newRow("openbox") << QStringList{"openbox"} << true;
    // Debian's configuration without the programs it starts.
    QTest::newRow("i3")
        << QStringList{"sh", "-c", "grep -v '^exec' /etc/i3/config > \"$0\" && exec i3 -c \"$0\"",
                       QDir::temp().filePath(QStringLiteral("kestrune-i3-%1.config")
                                                 .arg(QCoreApplication::applicationPid()))}
        << true;
    // It frames every window, borderless ones too, with a border.
    // Its default rules move a new window off any window it would overlap.
    QTest::newRow("awesome") << QStringList{"awesome"} << false;
    // It hides utility windows of a program that is not active.
    QTest::newRow("kwin") << QStringList{"dbus-run-session", "--", "kwin_x11"} << true;
    // MATE's.
    QTest::newRow("marco") << QStringList{"dbus-run-session", "--", "marco"} << true;
    // GNOME Shell's, in a scratch home, with its session bus for the system
    // bus (it ends without one to ask logind on), in a mode of its own that
    // does not start in the overview, where windows take no pointer.
    QTest::newRow("gnome-shell")
        << QStringList{"dbus-run-session",
                       "--",
                       "sh",
                       "-c",
                       "mkdir -p \"$0/modes/gnome-shell/modes\" && echo '{\"parentMode\": "
                       "\"user\", \"hasOverview\": false}' > "
                       "\"$0/modes/gnome-shell/modes/test.json\" "
                       "&& HOME=\"$0\" XDG_DATA_DIRS=\"$0/modes:/usr/share\" "
                       "DBUS_SYSTEM_BUS_ADDRESS=\"$DBUS_SESSION_BUS_ADDRESS\" "
                       "LIBGL_ALWAYS_SOFTWARE=1 "
                       "exec gnome-shell --x11 --replace --mode=test",
                       m_scratch.filePath("gnome-shell-home")}
        << true;
    // The compositors' own, in XWayland. Not over the main window: XWayland sends
    // the test's made-up pointer by its own stacking, not the screen's.
    QTest::newRow("sway (XWayland)") << QStringList{"sway"} << false;
    QTest::newRow("weston (XWayland)") << QStringList{"weston"} << false;
    QTest::newRow("kwin_wayland (XWayland)") << QStringList{"kwin_wayland"} << false;
    QTest::newRow("gnome-shell --wayland (XWayland)")
        << QStringList{"gnome-shell", "--wayland"} << false;
}

void JourneysTest::floatingWindowKeepsItsSizeLayerAndPlace()
{
    QFETCH(QStringList, windowManager);
    QFETCH(bool, overMainWindow);
    QProcessEnvironment environment;
    QProcess wm;
    const QString display = startDesktop(wm, environment, windowManager);
    QVERIFY(!display.isEmpty());
    // XWayland's stacking order is not what the compositor shows.
    const bool xwayland = m_compositor != nullptr;

    m_session = newSession();
    Session &s = *m_session;
    s.setDisplay(display);
    const auto find = [&display, &s](const QString &title) {
        return onDisplay(display, "xdotool",
                         {"search", "--all", "--onlyvisible", "--pid", QString::number(s.pid()),
                          "--name", title})
            .section('\n', 0, 0);
    };
    const QString caption = QStringLiteral("^Kestrune's IP Tool$");
    // Over the main window where the window manager puts it; where the
    // window manager would move it off the main window, that stays hidden.
    QPoint over(300, 200);
    if (overMainWindow) {
        QVERIFY(s.start());
        QTRY_VERIFY_WITH_TIMEOUT(!find(caption).isEmpty(), 20000);
        QTRY_VERIFY(placeOf(display, find(caption)).width() > 0);
        over = placeOf(display, find(caption)).topLeft() + QPoint(20, 10);
        QVERIFY(s.signal(SIGTERM));
        QVERIFY(s.waitForEnd());
    }
    QFile settings(s.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(QStringLiteral("[IP]\nFloat=YES\nVis=%1\nX=%2\nY=%3\n")
                       .arg(overMainWindow ? "YES" : "NO")
                       .arg(over.x() * 15)
                       .arg(over.y() * 15)
                       .toLatin1());
    settings.close();

    // Its own size at the stored place (the frame's, where there is one),
    // above the main window while that is active, and above another
    // program's window mapped after it.
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(!find("^Form2$").isEmpty(), 20000);
    const QString floating = find("^Form2$");
    QTRY_COMPARE(placeOf(display, floating).size(), QSize(153, 22));
    const QPoint client = placeOf(display, floating).topLeft();
    QVERIFY2((client - over).manhattanLength() <= 2,
             qPrintable(QString("%1,%2").arg(client.x()).arg(client.y())));
    if (overMainWindow) {
        QTRY_VERIFY_WITH_TIMEOUT(!find(caption).isEmpty(), 20000);
        onDisplay(display, "xdotool", {"windowactivate", "--sync", find(caption)});
        QTRY_VERIFY(isAbove(display, floating, find(caption)));
    }
    QProcess other;
    other.setProcessEnvironment(environment);
    other.start("xmessage", {"-geometry", "600x400+0+0", "another program"});
    QString otherWindow;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(otherWindow =
              onDisplay(display, "xdotool", {"search", "--onlyvisible", "--class", "xmessage"})
                  .section('\n', 0, 0))
             .isEmpty(),
        10000);
    if (!xwayland)
        QTRY_VERIFY(isAbove(display, floating, otherWindow));
    // And stays while that program is active: KWin hides the utility
    // windows of a program that is not, a moment after it loses out.
    onDisplay(display, "xdotool", {"windowactivate", "--sync", otherWindow});
    QVERIFY(!QTest::qWaitFor(
        [&] {
            return !onDisplay(display, "xwininfo", {"-id", floating}).contains("IsViewable");
        },
        1000));
    other.kill();
    other.waitForFinished();

    // The main window hidden by the close question's Yes and shown again by
    // a second start: where it was.
    if (overMainWindow) {
        QString mainWindow;
        QTRY_VERIFY_WITH_TIMEOUT(!(mainWindow = find(caption)).isEmpty(), 10000);
        const QPoint main = placeOf(display, mainWindow).topLeft();
        onDisplay(display, "wmctrl", {"-i", "-c", mainWindow});
        QTRY_VERIFY_WITH_TIMEOUT(!find("^Are you sure\\?$").isEmpty(), 10000);
        onDisplay(display, "xdotool", {"key", "Return"});
        // Without a notification area it is minimised, and mutter keeps a
        // minimised window mapped.
        const auto shown = [&] {
            const QString window = find(caption);
            return !window.isEmpty() &&
                   !onDisplay(display, "xprop", {"-id", window, "_NET_WM_STATE"})
                        .contains("_NET_WM_STATE_HIDDEN");
        };
        QTRY_VERIFY(!shown());
        const std::unique_ptr<Session> second = newSession();
        second->setDisplay(display);
        QVERIFY(second->start());
        QVERIFY(second->waitForEnd());
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(placeOf(display, find(caption)).topLeft(), main, 15000);
    }

    // Dragged, and back at the same place after two restarts. Through
    // XWayland only under sway, where the program moves the window itself:
    // KWin and mutter move it with the compositor's pointer, which the
    // test's made-up X pointer is not, and weston 10's headless seat has no
    // pointer (XWayland 22.1 dies of the made-up one).
    QPoint dragged = client;
    if (!xwayland || windowManager == QStringList{"sway"}) {
        const QPoint grab = client + QPoint(30, 11);
        onDisplay(display, "xdotool",
                  {"mousemove", QString::number(grab.x()), QString::number(grab.y())});
        onDisplay(display, "xdotool", {"mousedown", "1"});
        for (int step = 1; step <= 10; ++step)
            onDisplay(display, "xdotool",
                      {"mousemove", QString::number(grab.x() + 5 * step),
                       QString::number(grab.y() + 4 * step)});
        onDisplay(display, "xdotool", {"mouseup", "1"});
        dragged = client + QPoint(50, 40);
        QTRY_COMPARE(placeOf(display, floating).topLeft(), dragged);
    }
    for (int restart = 0; restart < 2; ++restart) {
        QVERIFY(s.signal(SIGTERM));
        QVERIFY(s.waitForEnd());
        QVERIFY(s.start());
        QTRY_VERIFY_WITH_TIMEOUT(!find("^Form2$").isEmpty(), 20000);
        QTRY_COMPARE(placeOf(display, find("^Form2$")), QRect(dragged, QSize(153, 22)));
    }

    QVERIFY(s.signal(SIGTERM));
    QVERIFY(s.waitForEnd());
    wm.terminate();
    wm.waitForFinished();
}

void JourneysTest::hiddenWhileTheWindowManagerRestarts()
{
    // awesome is also the notification area, in its bar.
    m_server = std::make_unique<QProcess>();
    const QString display = XTools::startServer(*m_server, m_scratch.filePath("display"));
    QVERIFY(!display.isEmpty());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    QProcess wm;
    wm.setProcessEnvironment(environment);
    const auto startWindowManager = [&] {
        wm.start("awesome", {});
        return QTest::qWaitFor(
            [&] {
                return onDisplay(display, "xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"})
                    .contains("window id");
            },
            30000);
    };
    QVERIFY(startWindowManager());

    m_session = newSession();
    Session &s = *m_session;
    s.setDisplay(display);
    const auto mainWindow = [&display, &s] {
        return onDisplay(display, "xdotool",
                         {"search", "--all", "--onlyvisible", "--pid", QString::number(s.pid()),
                          "--name", "^Kestrune's IP Tool$"})
            .section('\n', 0, 0);
    };
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 20000);
    const QString id = mainWindow();
    // Minimised into the icon; then the window manager goes, the icon with
    // it, and the window comes back with nobody to frame it.
    onDisplay(display, "xdotool", {"windowminimize", id});
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().isEmpty(), 10000);
    wm.terminate();
    QVERIFY(wm.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 20000);

    // The window manager that starts again takes it in, shown.
    QVERIFY(startWindowManager());
    QTRY_VERIFY_WITH_TIMEOUT(
        onDisplay(display, "xprop", {"-id", id, "WM_STATE"}).contains("window state: Normal"),
        20000);
    QVERIFY(!onDisplay(display, "xwininfo", {"-children", "-id", id})
                 .section("Parent window id:", 1)
                 .section('\n', 0, 0)
                 .contains("(the root window)"));

    QVERIFY(s.signal(SIGTERM));
    QVERIFY(s.waitForEnd());
    wm.terminate();
    wm.waitForFinished();
}

QTEST_GUILESS_MAIN(JourneysTest)
#include "tst_journeys.moc"
