// The real program under the panels people use, each started by the test
// with the settings the harness laid out: xfce4-panel's status tray, on the
// test's own session bus, and tint2's taskbar.
#include "Session.h"
#include "support/Panel.h"
#include "support/Popups.h"
#include "support/StatusNotifier.h"
#include "support/XTools.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

/// A property read over the session bus as a panel reads it.
QVariant busProperty(const QString &service, const QString &path, const QString &interface,
                     const QString &name)
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Get");
    get << interface << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

/// The items registered with the panel's watcher, as "service/path".
QStringList registeredItems()
{
    return busProperty(kWatcher, "/StatusNotifierWatcher", kWatcher,
                       "RegisteredStatusNotifierItems")
        .toStringList();
}

struct Item
{
    QString service;
    QString path;
};

Item itemAt(const QString &registered)
{
    const qsizetype slash = registered.indexOf('/');
    if (slash < 0)
        return {registered, QStringLiteral("/StatusNotifierItem")};
    return {registered.left(slash), registered.mid(slash)};
}

QString toolTipTitle(const Item &item)
{
    return StatusNotifier::toolTipTitle(
        busProperty(item.service, item.path, "org.kde.StatusNotifierItem", "ToolTip")
            .value<QDBusArgument>());
}

/// The captions of a com.canonical.dbusmenu layout, (ia{sv}av), depth first.
void collectCaptions(const QDBusArgument &node, QStringList &captions)
{
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    if (properties.contains("label"))
        captions.append(properties.value("label").toString());
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        collectCaptions(child.variant().value<QDBusArgument>(), captions);
    }
    node.endArray();
    node.endStructure();
}

/// The item's menu as the panel reads it to draw it.
QStringList menuCaptions(const Item &item)
{
    const QString menu = busProperty(item.service, item.path, "org.kde.StatusNotifierItem", "Menu")
                             .value<QDBusObjectPath>()
                             .path();
    QDBusMessage getLayout =
        QDBusMessage::createMethodCall(item.service, menu, "com.canonical.dbusmenu", "GetLayout");
    getLayout << 0 << -1 << QStringList{"label"};
    const QDBusMessage reply = QDBusConnection::sessionBus().call(getLayout, QDBus::Block, 5000);
    QStringList captions;
    if (reply.arguments().size() == 2)
        collectCaptions(reply.arguments().at(1).value<QDBusArgument>(), captions);
    return captions;
}

bool watcherPresent()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kWatcher);
}

/// Where our item sits in xfce4-panel: the status tray plugin's own window,
/// taken into the panel's. Its icons are squares (square-icons in its settings),
/// so with our item the only one in it, it is square once the item is drawn.
QRect itemArea(const Panel &panel)
{
    const QRect strip = XTools::geometry(panel.window());
    const QStringList plugs =
        XTools::output("xdotool", {"search", "--onlyvisible", "--classname", "^wrapper-2.0$"})
            .split('\n', Qt::SkipEmptyParts);
    for (const QString &plug : plugs) {
        const QRect area = XTools::geometry(plug.toULongLong());
        if (strip.contains(area) && area.width() >= area.height() &&
            area.width() < 2 * area.height())
            return area;
    }
    return {};
}

/// The task buttons tint2 draws in @p panel: runs of columns holding the
/// buttons' colour (tint2rc), left of the notification area.
int taskButtons(const QRect &panel)
{
    const QImage image = XTools::screenshot(panel.adjusted(0, 0, -120, 0));
    int buttons = 0;
    bool inButton = false;
    for (int x = 0; x < image.width(); ++x) {
        bool red = false;
        for (int y = 0; y < image.height() && !red; ++y)
            red = image.pixel(x, y) == qRgb(0xff, 0, 0);
        buttons += red && !inButton;
        inButton = red;
    }
    return image.isNull() ? -1 : buttons;
}

} // namespace

class HostsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void xfce4PanelShowsTheItemAndItsMenu();
    void tint2ListsTheMainWindowButNotTheFloatingWindow();

private:
    /// Opens the menu of the item in the panel with a real right press.
    bool openPanelMenu(const Panel &panel);
    void report(Session &session, Panel &panel);

    QTemporaryDir m_scratch;
    int m_pressSpot = 0;
};

void HostsTest::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a session bus (dbus-run-session)");
}

void HostsTest::cleanup()
{
    XTools::key("Escape");
}

void HostsTest::report(Session &session, Panel &panel)
{
    if (!QTest::currentTestFailed())
        return;
    QFile settings(session.settingsFile());
    if (settings.open(QIODevice::ReadOnly))
        qWarning().noquote() << "settings file:\n" << settings.readAll();
    qWarning().noquote() << "program output:\n" << session.output();
    qWarning().noquote() << "panel output:\n" << panel.output();
}

bool HostsTest::openPanelMenu(const Panel &panel)
{
    const QRect area = itemArea(panel);
    if (area.isEmpty())
        return false;
    const int before = XTools::topLevelWindowCount();
    return Popups::openWithRightPress(
        [this, area] { return XTools::pressSpot(area, m_pressSpot++); },
        [before] { return XTools::topLevelWindowCount() > before; });
}

void HostsTest::xfce4PanelShowsTheItemAndItsMenu()
{
    Panel panel("xfce4-panel", {});
    QVERIFY(panel.start());
    QTRY_VERIFY_WITH_TIMEOUT(
        busProperty(kWatcher, "/StatusNotifierWatcher", kWatcher, "IsStatusNotifierHostRegistered")
            .toBool(),
        20000);
    QVERIFY(registeredItems().isEmpty());

    Session s(m_scratch.filePath("xfce4-panel"));
    auto failed = qScopeGuard([&] { report(s, panel); });
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);

    // The icon registers with the panel's watcher, titled as ours.
    QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 10000);
    const QString registered = registeredItems().constFirst();
    const Item item = itemAt(registered);
    QCOMPARE(toolTipTitle(item), QString("System Tray"));
    QCOMPARE(menuCaptions(item),
             QStringList({"Copy", "Visible", "Yes", "No", "Floating", "Yes", "No", "Quit"}));

    // A right press on it in the panel opens the menu there; Floating > Yes.
    QTRY_VERIFY_WITH_TIMEOUT(!itemArea(panel).isEmpty(), 10000);
    QVERIFY(openPanelMenu(panel));
    for (const char *key : {"Down", "Down", "Down", "Right", "Return"})
        QVERIFY(XTools::key(key));
    QTRY_VERIFY_WITH_TIMEOUT(s.floatingWindow() != 0, 10000);
    QCOMPARE(s.frameless(s.floatingWindow()).size(), QSize(153, 22));
    QTRY_VERIFY(XTools::property(s.floatingWindow(), "_NET_FRAME_EXTENTS").endsWith("0, 0, 0, 0"));
    QTRY_COMPARE(s.setting("Float"), QString("YES"));

    // Visible > No hides the main window; the panel dies: it comes back.
    QVERIFY(openPanelMenu(panel));
    for (const char *key : {"Down", "Down", "Right", "Down", "Return"})
        QVERIFY(XTools::key(key));
    QTRY_COMPARE_WITH_TIMEOUT(s.mainWindow(), WId(0), 10000);
    QVERIFY(panel.kill());
    QTRY_VERIFY_WITH_TIMEOUT(!watcherPresent(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);

    // Started again, the panel has the icon again, and its menu: the same
    // item, registered anew, not one made after the old one was dropped.
    QVERIFY(panel.start());
    QTRY_COMPARE_WITH_TIMEOUT(registeredItems(), QStringList{registered}, 20000);
    QCOMPARE(toolTipTitle(item), QString("System Tray"));
    QTRY_VERIFY_WITH_TIMEOUT(!itemArea(panel).isEmpty(), 10000);
    QVERIFY(openPanelMenu(panel));
    QVERIFY(XTools::key("Escape"));

    QVERIFY(s.signal(SIGTERM));
    QVERIFY(s.waitForEnd());
    failed.dismiss();
}

void HostsTest::tint2ListsTheMainWindowButNotTheFloatingWindow()
{
    Panel panel("tint2", {});
    QVERIFY(panel.start());
    const QRect strip = XTools::geometry(panel.window());

    // Floating on, main window hidden, from the last run.
    Session s(m_scratch.filePath("tint2"));
    auto failed = qScopeGuard([&] { report(s, panel); });
    QFile settings(s.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[IP]\nFloat=YES\nVis=NO\n");
    settings.close();
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.floatingWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);
    // tint2 lists what the window manager lists; the floating window is there.
    QTRY_VERIFY(XTools::output("xprop", {"-root", "_NET_CLIENT_LIST"})
                    .contains("0x" + QString::number(s.floatingWindow(), 16)));

    // The main window shown from the tray gets a button: tint2 has looked at
    // the whole list by then, and the floating window has none.
    QVERIFY(s.trayMenu({"Down", "Down", "Right", "Return"}));
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(taskButtons(strip) >= 1, 10000);
    QCOMPARE(taskButtons(strip), 1);

    // Hidden again: no button, with the floating window still up.
    QVERIFY(s.trayMenu({"Down", "Down", "Right", "Down", "Return"}));
    QTRY_COMPARE_WITH_TIMEOUT(s.mainWindow(), WId(0), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(taskButtons(strip), 0, 10000);
    QVERIFY(s.floatingWindow() != 0);

    QVERIFY(s.signal(SIGTERM));
    QVERIFY(s.waitForEnd());
    failed.dismiss();
}

QTEST_GUILESS_MAIN(HostsTest)
#include "tst_hosts.moc"
