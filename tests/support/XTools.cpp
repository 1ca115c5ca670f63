#include "support/XTools.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <xcb/xcb.h>

namespace XTools {

namespace {

xcb_connection_t *ownConnection()
{
    // A test without windows of its own has nothing to send.
    auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!gui || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = gui->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

void sync(xcb_connection_t *connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

void syncOwnConnection()
{
    if (xcb_connection_t *connection = ownConnection())
        sync(connection);
}

std::shared_ptr<void> focusElsewhere()
{
    xcb_connection_t *connection = ownConnection();
    if (!connection)
        return {};
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    // Unmanaged, so that the window manager leaves its focus alone.
    const uint32_t overrideRedirect = 1;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      &overrideRedirect);
    xcb_map_window(connection, window);
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    sync(connection);
    return std::shared_ptr<void>(new xcb_window_t(window), [connection](void *held) {
        const auto *focused = static_cast<xcb_window_t *>(held);
        xcb_destroy_window(connection, *focused);
        sync(connection);
        delete focused;
    });
}

QString output(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.start(program, arguments);
    // Keep serving our own events meanwhile: the other program may be
    // waiting for us, to hand it our clipboard for instance.
    const bool finished =
        QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 15000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool run(const QString &program, const QStringList &arguments)
{
    bool ok = false;
    output(program, arguments, &ok);
    return ok;
}

QString property(WId window, const QString &name)
{
    return output(QStringLiteral("xprop"), {"-id", QString::number(window), name}).trimmed();
}

QRect geometry(WId window)
{
    const QString info = output(QStringLiteral("xwininfo"), {"-id", QString::number(window)});
    auto number = [&](const QString &label) {
        const QRegularExpression re(QRegularExpression::escape(label) +
                                    QStringLiteral(R"(:\s*(-?\d+))"));
        return re.match(info).captured(1).toInt();
    };
    return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
            number("Height")};
}

int topLevelWindowCount()
{
    return int(output(QStringLiteral("xdotool"),
                      {"search", "--all", "--onlyvisible", "--maxdepth", "1", "--name", ".*"})
                   .split('\n', Qt::SkipEmptyParts)
                   .size());
}

QImage screenshot(const QRect &area)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("screen.png"));
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(area.width())
                             .arg(area.height())
                             .arg(area.x())
                             .arg(area.y());
    if (!run(QStringLiteral("import"), {"-window", "root", "-crop", crop, file}))
        return {};
    return QImage(file);
}

QPoint pressSpot(const QRect &area, int n)
{
    return area.topLeft() + QPoint(3 + 7 * (n % 3), 3 + 7 * ((n / 3) % 3));
}

bool movePointer(QPoint global)
{
    return run(QStringLiteral("xdotool"),
               {"mousemove", QString::number(global.x()), QString::number(global.y())});
}

bool pressButton(int button)
{
    return run(QStringLiteral("xdotool"), {"mousedown", QString::number(button)});
}

bool releaseButton(int button)
{
    return run(QStringLiteral("xdotool"), {"mouseup", QString::number(button)});
}

bool click(int button)
{
    return run(QStringLiteral("xdotool"), {"click", QString::number(button)});
}

bool key(const QString &keys)
{
    return run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", keys});
}

bool closeWindow(WId window)
{
    return run(QStringLiteral("wmctrl"), {"-i", "-c", QString::number(window)});
}

bool destroyWindow(WId window)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool destroyed =
        !xcb_connection_has_error(connection) &&
        !xcb_request_check(connection,
                           xcb_destroy_window_checked(connection, xcb_window_t(window)));
    xcb_disconnect(connection);
    return destroyed;
}

bool minimize(WId window)
{
    return run(QStringLiteral("xdotool"), {"windowminimize", QString::number(window)});
}

QString clipboard()
{
    return output(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
}

bool setClipboard(const QString &text)
{
    QProcess process;
    process.start(QStringLiteral("xclip"), {"-i", "-selection", "clipboard"});
    process.write(text.toUtf8());
    process.closeWriteChannel();
    // xclip stays behind to serve the selection; it has taken it once it
    // has forked and the first process has ended.
    return QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 15000) &&
           process.exitCode() == 0;
}

QString startServer(QProcess &server, const QString &scratchFile)
{
    QFile::remove(scratchFile);
    // -noreset: without it the server resets whenever its last client
    // leaves (a test's xprop, say), and refuses whoever connects meanwhile
    // ("Can't open display"), such as the window manager just started.
    server.start("sh",
                 {"-c", "exec Xvfb -displayfd 3 -nolisten tcp -noreset 3>\"$0\"", scratchFile});
    // The server writes the digits and the newline separately: only a line
    // with its newline is the whole number (":1" may be the start of ":10").
    QFile number(scratchFile);
    QByteArray line;
    const auto whole = [&number, &line] {
        if (!number.open(QIODevice::ReadOnly))
            return false;
        line = number.readAll();
        number.close();
        return line.endsWith('\n');
    };
    if (!server.waitForStarted() || !QTest::qWaitFor(whole, 10000))
        return {};
    return ':' + QString::fromLatin1(line).trimmed();
}

} // namespace XTools
