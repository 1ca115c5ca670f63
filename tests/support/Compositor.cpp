#include "support/Compositor.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>
#include <functional>
#include <unistd.h>

Compositor::Compositor(Kind kind, const QString &scratch)
    : m_kind(kind)
    , m_scratch(scratch)
    , m_runtime(scratch + QStringLiteral("/wayland-runtime"))
{
    QDir().mkpath(m_runtime);
    QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Compositor::~Compositor()
{
    for (QProcess *tool : {&m_keyboard, &m_pointer}) {
        tool->kill();
        tool->waitForFinished();
    }
    // Let it end XWayland and give its display back.
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished();
    m_bus.kill();
    m_bus.waitForFinished();
}

void Compositor::setEnvironment(const QProcessEnvironment &environment)
{
    m_environment = environment;
    // Its runtime folder too: dconf tells of changed settings there.
    if (environment.contains("XDG_RUNTIME_DIR"))
        m_runtime = environment.value("XDG_RUNTIME_DIR");
}

bool Compositor::start()
{
    QProcessEnvironment environment = m_environment;
    environment.insert("XDG_RUNTIME_DIR", m_runtime);
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    const QString &scratch = m_scratch;
    const QString displayFile = scratch + QStringLiteral("/xwayland-display");
    QFile::remove(displayFile);
    QStringList command;
    if (m_kind == Kind::Weston || m_kind == Kind::WestonXWayland) {
        m_socket = QStringLiteral("kestrune-test");
        command = QStringList{"weston", "--backend=headless-backend.so", "--socket=" + m_socket,
                              "--idle-time=0", "--shell=desktop-shell.so"};
        if (m_kind == Kind::WestonXWayland)
            command << "--xwayland";
    } else if (m_kind == Kind::Sway || m_kind == Kind::SwayXWayland) {
        const QString config = scratch + QStringLiteral("/sway.config");
        QFile file(config);
        const QByteArray settings = m_kind == Kind::Sway
                                        ? QByteArray("xwayland disable\n")
                                        : "xwayland enable\nexec sh -c \"echo \\$DISPLAY > " +
                                              QFile::encodeName(displayFile) + "\"\n";
        if (!file.open(QIODevice::WriteOnly) || file.write(settings) < 0)
            return false;
        file.close();
        environment.insert("WLR_BACKENDS", "headless");
        environment.insert("WLR_RENDERER", "pixman");
        environment.insert("WLR_LIBINPUT_NO_DEVICES", "1");
        // Sway will not run as root (it could take root back): as root, it
        // runs as another user in a user namespace of its own.
        command = QStringList{"sway", "-c", config};
        if (::geteuid() == 0)
            command =
                QStringList{"unshare", "--user", "--map-user=1000", "--map-group=1000"} + command;
    } else {
        // A whole desktop's: a home of its own, software rendering, and buses.
        m_socket = QStringLiteral("kestrune-test");
        environment.insert("HOME", scratch + QStringLiteral("/home"));
        environment.insert("LIBGL_ALWAYS_SOFTWARE", "1");
        if (!QDir().mkpath(environment.value("HOME")))
            return false;
        // Alone, for windows only, rather than in a desktop of the test's own.
        const bool alone = !environment.contains("DBUS_SESSION_BUS_ADDRESS");
        if (alone) {
            m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
            if (!m_bus.waitForStarted() ||
                !QTest::qWaitFor([this] { return m_bus.canReadLine(); }, 10000))
                return false;
            const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
            environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
            environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
        }
        if (m_kind == Kind::GnomeShell) {
            command =
                QStringList{"gnome-shell",       "--wayland", "--headless",
                            "--virtual-monitor", "1280x800",  "--wayland-display=" + m_socket};
        }
        if (m_kind == Kind::GnomeShell && alone) {
            // In a session mode of its own that does not start in the
            // overview, where windows take no pointer.
            const QString modes = scratch + QStringLiteral("/modes");
            QFile mode(modes + QStringLiteral("/gnome-shell/modes/test.json"));
            if (!QDir().mkpath(modes + QStringLiteral("/gnome-shell/modes")) ||
                !mode.open(QIODevice::WriteOnly) ||
                mode.write(R"({"parentMode": "user", "hasOverview": false})") < 0)
                return false;
            mode.close();
            environment.insert(
                "XDG_DATA_DIRS",
                modes + u':' + environment.value("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
            command << "--mode=test";
        } else if (m_kind == Kind::KWin) {
            // Debian gives kwin_wayland a file capability (cap_sys_resource):
            // where the bounding set lacks it (a container), exec fails with
            // EPERM. A copy has none. It runs its last argument once
            // XWayland is up, in XWayland's environment.
            const QString kwin = scratch + QStringLiteral("/kwin_wayland");
            QFile script(scratch + QStringLiteral("/announce"));
            if ((!QFile::exists(kwin) && !QFile::copy("/usr/bin/kwin_wayland", kwin)) ||
                !script.open(QIODevice::WriteOnly))
                return false;
            script.write("#!/bin/sh\necho \"$DISPLAY\" > \"$0.part\" && mv \"$0.part\" " +
                         QFile::encodeName(displayFile) + "\n");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            command = QStringList{kwin,       "--virtual", "--width",        "1280",
                                  "--height", "800",       "--xwayland",     "--no-lockscreen",
                                  "--socket", m_socket,    script.fileName()};
        }
    }
    m_environment = environment;
    m_process.setProcessEnvironment(environment);
    m_process.start(command.takeFirst(), command);
    // Sway names its socket itself: the first one in the folder.
    const QDeadlineTimer deadline(m_kind == Kind::KWin || m_kind == Kind::GnomeShell ? 60000
                                                                                     : 20000);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        if (m_socket.isEmpty()) {
            const QStringList sockets = QDir(m_runtime).entryList({"wayland-*"}, QDir::System);
            if (!sockets.isEmpty())
                m_socket = sockets.constFirst();
        }
        if ((m_kind == Kind::SwayXWayland || m_kind == Kind::KWin) && m_xDisplay.isEmpty()) {
            QFile display(displayFile);
            if (display.open(QIODevice::ReadOnly))
                m_xDisplay = QString::fromLocal8Bit(display.readAll().trimmed());
        }
        if ((m_kind == Kind::WestonXWayland || m_kind == Kind::GnomeShell) &&
            m_xDisplay.isEmpty()) {
            // They say so in their logs (weston's XWayland starts with the
            // first X client); mutter's admits only the holders of its file.
            m_log += QString::fromLocal8Bit(m_process.readAll());
            const QRegularExpressionMatch listening =
                QRegularExpression("xserver listening on display (:\\d+)|"
                                   "Using public X11 display (:\\d+)")
                    .match(m_log);
            const QStringList auth =
                QDir(m_runtime).entryList({".mutter-Xwaylandauth.*"}, QDir::Hidden | QDir::Files);
            if (listening.hasMatch() && (m_kind != Kind::GnomeShell || !auth.isEmpty())) {
                m_xDisplay = listening.captured(1) + listening.captured(2);
                if (!auth.isEmpty())
                    m_xAuthority = m_runtime + u'/' + auth.constFirst();
            }
        }
        const bool xReady = m_kind == Kind::Weston || m_kind == Kind::Sway || !m_xDisplay.isEmpty();
        if (xReady && !m_socket.isEmpty() && QFile::exists(m_runtime + u'/' + m_socket))
            return true;
        // Also lets what it prints come in.
        m_process.waitForReadyRead(20);
    }
    return false;
}

bool Compositor::addKeyboard()
{
    // A seat gets a keyboard with the first virtual one, and a client is
    // given it with a key already down: that key would be lost. One that
    // lives as long as the compositor, typing nothing, makes every later
    // one's keys arrive whole.
    m_keyboard.setProcessEnvironment(toolEnvironment());
    m_keyboard.start("wtype", {"-s", "3600000", "-k", "Shift_L"});
    return m_keyboard.waitForStarted();
}

QProcessEnvironment Compositor::toolEnvironment() const
{
    QProcessEnvironment environment = m_environment;
    environment.insert("XDG_RUNTIME_DIR", m_runtime);
    environment.insert("WAYLAND_DISPLAY", m_socket);
    return environment;
}

QString Compositor::output()
{
    m_log += QString::fromLocal8Bit(m_process.readAll());
    return m_log;
}

QHash<QString, QString> Compositor::clientEnvironment() const
{
    return {{"QT_QPA_PLATFORM", "wayland"},
            {"WAYLAND_DISPLAY", m_socket},
            {"XDG_RUNTIME_DIR", m_runtime},
            {"DISPLAY", QString()}};
}

QString Compositor::clipboard() const
{
    QProcess paste;
    paste.setProcessEnvironment(toolEnvironment());
    paste.start("wl-paste", {"--no-newline"});
    if (!paste.waitForFinished(5000)) {
        paste.kill();
        paste.waitForFinished();
    }
    return QString::fromUtf8(paste.readAllStandardOutput());
}

namespace {

/// What swaymsg printed for @p arguments to the sway whose runtime folder
/// @p runtime is; empty when it failed.
QByteArray swaymsg(QProcessEnvironment environment, const QString &runtime,
                   const QStringList &arguments)
{
    const QStringList sockets = QDir(runtime).entryList({"sway-ipc.*.sock"}, QDir::System);
    if (sockets.isEmpty())
        return {};
    environment.insert("SWAYSOCK", runtime + u'/' + sockets.constFirst());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start("swaymsg", QStringList{"--raw"} + arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

/// Every view in sway's tree, tiled or floating: its title and where it is.
QList<std::pair<QString, QRect>> views(const QJsonObject &tree)
{
    QList<std::pair<QString, QRect>> found;
    const std::function<void(const QJsonObject &)> walk = [&](const QJsonObject &node) {
        if (node.contains("shell")) {
            const QJsonObject rect = node.value("rect").toObject();
            found.append({node.value("name").toString(),
                          QRect(rect.value("x").toInt(), rect.value("y").toInt(),
                                rect.value("width").toInt(), rect.value("height").toInt())});
        }
        for (const char *children : {"nodes", "floating_nodes"})
            for (const QJsonValue &child : node.value(QLatin1String(children)).toArray())
                walk(child.toObject());
    };
    walk(tree);
    return found;
}

} // namespace

QStringList Compositor::windowTitles() const
{
    QStringList titles;
    const auto tree = swaymsg(toolEnvironment(), m_runtime, {"-t", "get_tree"});
    for (const auto &[title, place] : views(QJsonDocument::fromJson(tree).object()))
        titles << title;
    return titles;
}

QRect Compositor::windowGeometry(const QString &title) const
{
    const auto tree = swaymsg(toolEnvironment(), m_runtime, {"-t", "get_tree"});
    for (const auto &[name, place] : views(QJsonDocument::fromJson(tree).object())) {
        if (name == title)
            return place;
    }
    return {};
}

bool Compositor::addPointer()
{
    // Absolute moves are in the whole layout's extent.
    QRect layout;
    const auto outputs = swaymsg(toolEnvironment(), m_runtime, {"-t", "get_outputs"});
    for (const QJsonValue &output : QJsonDocument::fromJson(outputs).array()) {
        const QJsonObject rect = output.toObject().value("rect").toObject();
        layout |= QRect(rect.value("x").toInt(), rect.value("y").toInt(),
                        rect.value("width").toInt(), rect.value("height").toInt());
    }
    m_layout = layout.size();
    m_pointer.setProcessEnvironment(toolEnvironment());
    m_pointer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_pointer.start(QStringLiteral(KESTRUNE_VIRTUAL_POINTER), {});
    return !m_layout.isEmpty() && m_pointer.waitForStarted() && movePointer(layout.center());
}

namespace {

/// Has @p tool do @p request, one line, and waits for its "ok".
bool ask(QProcess &tool, const QByteArray &request)
{
    if (tool.write(request + '\n') < 0)
        return false;
    const QDeadlineTimer deadline(10000);
    while (!tool.canReadLine()) {
        if (deadline.hasExpired() || !tool.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return tool.readLine().trimmed() == "ok";
}

} // namespace

bool Compositor::movePointer(QPoint at)
{
    return ask(m_pointer, QStringLiteral("move %1 %2 %3 %4")
                              .arg(at.x())
                              .arg(at.y())
                              .arg(m_layout.width())
                              .arg(m_layout.height())
                              .toLatin1());
}

bool Compositor::setButton(int button, bool down)
{
    return ask(m_pointer, (down ? "press " : "release ") + QByteArray::number(button));
}

QImage Compositor::screenshot(const QRect &area) const
{
    QProcess grim;
    grim.setProcessEnvironment(toolEnvironment());
    grim.start("grim", {"-t", "ppm", "-g",
                        QStringLiteral("%1,%2 %3x%4")
                            .arg(area.x())
                            .arg(area.y())
                            .arg(area.width())
                            .arg(area.height()),
                        "-"});
    if (!grim.waitForFinished(10000)) {
        grim.kill();
        grim.waitForFinished();
        return {};
    }
    return QImage::fromData(grim.readAllStandardOutput(), "PPM");
}

bool Compositor::command(const QString &command) const
{
    return !swaymsg(toolEnvironment(), m_runtime, {command}).isEmpty();
}

bool Compositor::type(const QStringList &keys) const
{
    QStringList arguments;
    for (const QString &key : keys)
        arguments << "-k" << key;
    QProcess wtype;
    wtype.setProcessEnvironment(toolEnvironment());
    wtype.start("wtype", arguments);
    return wtype.waitForFinished(10000) && wtype.exitStatus() == QProcess::NormalExit &&
           wtype.exitCode() == 0;
}
