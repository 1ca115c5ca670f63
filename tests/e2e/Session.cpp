#include "Session.h"

#include "settings/IniDocument.h"
#include "support/Popups.h"
#include "support/XTools.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

Session::Session(QString configHome)
    : m_configHome(std::move(configHome))
{
    QDir().mkpath(m_configHome);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Session::~Session()
{
    const bool ended = m_process.state() == QProcess::NotRunning;
    if (!ended) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // A failed test says how each of its copies ended and what it printed
    // (a sanitizer's report, a lost X connection).
    if (QTest::currentTestFailed() && !m_process.program().isEmpty()) {
        qWarning().noquote()
            << "The copy in" << m_configHome
            << (ended ? QStringLiteral("had ended, exit code %1").arg(m_process.exitCode())
                      : QStringLiteral("was still running"))
            << "and printed:\n"
            << output();
    }
}

bool Session::start(const QList<int> &ignored)
{
    m_process.setChildProcessModifier([ignored, limit = m_fileLimit] {
        for (const int signalNumber : ignored)
            ::signal(signalNumber, SIG_IGN);
        if (limit > 0) {
            const rlimit files = {rlim_t(limit), rlim_t(limit)};
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", m_configHome);
    environment.remove("QT_QPA_PLATFORM");
    if (!m_display.isEmpty())
        environment.insert("DISPLAY", m_display);
    for (auto it = m_environment.cbegin(); it != m_environment.cend(); ++it) {
        if (it.value().isNull())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(KESTRUNE_IP_BINARY), m_arguments);
    return m_process.waitForStarted(10000);
}

bool Session::waitForEnd()
{
    return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 10000) &&
           m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool Session::waitForExit()
{
    return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 10000);
}

bool Session::signal(int signalNumber)
{
    return isRunning() && ::kill(pid_t(m_process.processId()), signalNumber) == 0;
}

bool Session::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString Session::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}

namespace {

QList<WId> search(qint64 pid, const QStringList &criteria)
{
    QStringList arguments{"search", "--all", "--onlyvisible", "--pid", QString::number(pid)};
    arguments += criteria;
    QList<WId> windows;
    const QStringList lines = XTools::output("xdotool", arguments).split('\n', Qt::SkipEmptyParts);
    for (const QString &line : lines)
        windows.append(line.toULongLong());
    return windows;
}

WId first(const QList<WId> &windows)
{
    return windows.isEmpty() ? 0 : windows.constFirst();
}

} // namespace

WId Session::mainWindow() const
{
    return isRunning() ? first(search(pid(), {"--name", "^Kestrune's IP Tool$"})) : 0;
}

WId Session::floatingWindow() const
{
    return isRunning() ? first(search(pid(), {"--name", "^Form2$"})) : 0;
}

WId Session::questionWindow() const
{
    return isRunning() ? first(search(pid(), {"--name", "^Are you sure\\?$"})) : 0;
}

int Session::visibleWindowCount() const
{
    return isRunning() ? int(search(pid(), {"--name", ".*"}).size()) : 0;
}

WId Session::trayIcon() const
{
    if (!isRunning())
        return 0;
    // Our icon is a small square window of class "IP" (22x22 in most
    // trays, 16x16 in i3bar's, 24x24 in Budgie's) that the tray host has taken in: a child of
    // its window, not of the root window.
    const QString tree = XTools::output("xwininfo", {"-root", "-tree"});
    static const QRegularExpression line(
        QStringLiteral(R"(^\s+(0x[0-9a-f]+) .*\("IP" "IP"\)\s+(\d+)x(\d+)\+)"),
        QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(tree); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (match.captured(2) != match.captured(3) || match.captured(2).toInt() > 48)
            continue;
        const WId window = match.captured(1).toULongLong(nullptr, 16);
        const QString info =
            XTools::output("xwininfo", {"-children", "-id", QString::number(window)});
        if (!info.section("Parent window id:", 1, 1)
                 .section('\n', 0, 0)
                 .contains("(the root window)") &&
            XTools::output("xwininfo", {"-id", QString::number(window)}).contains("IsViewable"))
            return window;
    }
    return 0;
}

QRect Session::frameless(WId window) const
{
    return XTools::geometry(window);
}

bool Session::clickMainWindow(int left, int top, int width, int height)
{
    const WId window = mainWindow();
    if (!window)
        return false;
    const QRect client = XTools::geometry(window);
    const QPoint at = client.topLeft() + QPoint((left + width / 2) / 15, (top + height / 2) / 15);
    return XTools::movePointer(at) && XTools::click(1);
}

bool Session::openPopup(std::function<QPoint()> spot, const QStringList &keys)
{
    const int before = visibleWindowCount();
    if (!Popups::openWithRightPress(spot, [&] { return visibleWindowCount() > before; }))
        return false;
    for (const QString &key : keys) {
        if (!XTools::key(key))
            return false;
    }
    return true;
}

bool Session::trayMenu(const QStringList &keys)
{
    const WId icon = trayIcon();
    if (!icon)
        return false;
    const QRect area = XTools::geometry(icon);
    // Presses far enough apart never make a double click.
    return openPopup(
        [this, area] {
            const int spot = m_pressSpot++;
            return XTools::pressSpot(area, spot);
        },
        keys);
}

bool Session::floatingPopup(const QStringList &keys)
{
    const WId window = floatingWindow();
    if (!window)
        return false;
    const QRect area = XTools::geometry(window);
    return openPopup(
        [this, area] {
            const int spot = m_pressSpot++;
            return area.topLeft() + QPoint(20 + 20 * (spot % 5), 11);
        },
        keys);
}

QString Session::settingsFile() const
{
    return m_configHome + QStringLiteral("/Kestrune.conf");
}

QString Session::setting(const QString &key) const
{
    QFile file(settingsFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return IniDocument::parse(file.readAll()).value(QStringLiteral("IP"), key).value_or(QString());
}
