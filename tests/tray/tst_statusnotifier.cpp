// A notification area on the session bus (the StatusNotifierItem protocol)
// that starts after the program: the icon reaches it, its menu works, and
// the window comes back when it goes. The host here is the test's own
// watcher, on a private session bus, on a connection of its own.
#include "commands/Commands.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"
#include "support/StatusNotifier.h"
#include "support/TrayHost.h"
#include "support/XTools.h"
#include "tray/TrayIcon.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMenu>
#include <QTest>
#include <functional>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

/// The watcher's side of the protocol, as a panel implements it.
class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    bool hostRegistered() const { return m_hostRegistered; }
    QStringList items() const { return m_items; }
    int protocolVersion() const { return 0; }

    QStringList m_items;
    bool m_hostRegistered = true;
    /// Items to drop as soon as they are registered, as GNOME Shell's
    /// AppIndicator extension may, naming each as it does.
    int m_drops = 0;
    std::function<void(const QDBusMessage &)> m_send;

public slots:
    void RegisterStatusNotifierItem(const QString &service)
    {
        m_items.append(service);
        if (m_drops > 0) {
            --m_drops;
            m_send(QDBusMessage::createSignal("/StatusNotifierWatcher", kWatcher,
                                              "StatusNotifierItemUnregistered")
                   << service + "@/StatusNotifierItem");
        }
    }
    void RegisterStatusNotifierHost(const QString &) {}
};

class StatusNotifierTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aHostThatStartsLaterGetsTheIcon();
    void theItemFollowsWhatTheWatcherSays();

private:
    bool startWatcher();
    void stopWatcher();
    /// A property of the item, read over the bus as the host reads it.
    QVariant itemProperty(const QString &name);

    QDBusConnection m_host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "host");
    FakeWatcher m_watcher;
};

void StatusNotifierTest::initTestCase()
{
    QVERIFY2(m_host.isConnected(), "needs a session bus (dbus-run-session)");
    QVERIFY(!TrayHost::isAvailable());
    m_watcher.m_send = [this](const QDBusMessage &message) { m_host.send(message); };
    QVERIFY(m_host.registerObject("/StatusNotifierWatcher", &m_watcher,
                                  QDBusConnection::ExportAllSlots |
                                      QDBusConnection::ExportAllProperties));
}

bool StatusNotifierTest::startWatcher()
{
    return m_host.registerService(kWatcher);
}

void StatusNotifierTest::stopWatcher()
{
    m_host.unregisterService(kWatcher);
}

QVariant StatusNotifierTest::itemProperty(const QString &name)
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(m_watcher.m_items.constLast(), "/StatusNotifierItem",
                                       "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.kde.StatusNotifierItem") << name;
    QDBusPendingCall call = m_host.asyncCall(get);
    if (!QTest::qWaitFor([&call] { return call.isFinished(); }) || call.isError())
        return {};
    return call.reply().arguments().value(0).value<QDBusVariant>().variant();
}

void StatusNotifierTest::aHostThatStartsLaterGetsTheIcon()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QVERIFY(!frmIP->tray().isReachable());

    // The panel starts: the icon registers, with its tooltip and images.
    QVERIFY(startWatcher());
    QTRY_COMPARE(m_watcher.m_items.size(), 1);
    QVERIFY(frmIP->tray().isReachable());
    QCOMPARE(itemProperty("Status").toString(), QString("Active"));
    QCOMPARE(StatusNotifier::toolTipTitle(itemProperty("ToolTip").value<QDBusArgument>()),
             TrayIcon::toolTip());
    QCOMPARE(StatusNotifier::imageWidths(itemProperty("IconPixmap").value<QDBusArgument>()),
             QList<int>({16, 32, 48}));

    // A right click asks for the menu at the pointer; Floating > Yes works.
    QMenu *menu = frmIP->tray().mnuRMBClick();
    QDBusMessage contextMenu =
        QDBusMessage::createMethodCall(m_watcher.m_items.constLast(), "/StatusNotifierItem",
                                       "org.kde.StatusNotifierItem", "ContextMenu");
    contextMenu << 600 << 400;
    m_host.asyncCall(contextMenu);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->geometry().topLeft(), QPoint(600, 400));
    for (const char *key : {"Down", "Down", "Down", "Right", "Return"})
        QVERIFY(XTools::key(key));
    QTRY_VERIFY(frmIP->floating().isVisible());

    // The panel goes while the window is hidden: the window comes back.
    frmIP->commands().cmdHide_Click();
    stopWatcher();
    QTRY_VERIFY(frmIP->isVisible());
    QVERIFY(!frmIP->tray().isReachable());

    // And it comes back: the icon registers again.
    QVERIFY(startWatcher());
    QTRY_COMPARE(m_watcher.m_items.size(), 2);
    QTRY_VERIFY(frmIP->tray().isReachable());
}

void StatusNotifierTest::theItemFollowsWhatTheWatcherSays()
{
    stopWatcher();
    m_watcher.m_items.clear();
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    // Dropped twice by the watcher just after registering: it registers
    // again until it is kept.
    m_watcher.m_drops = 2;
    QVERIFY(startWatcher());
    QTRY_COMPARE(m_watcher.m_items.size(), 3);
    QTRY_VERIFY(frmIP->tray().isReachable());

    // The watcher tells of its lost host only by the property: the hidden
    // window comes back.
    frmIP->commands().cmdHide_Click();
    QVERIFY(!frmIP->isVisible());
    m_watcher.m_hostRegistered = false;
    m_host.send(QDBusMessage::createSignal("/StatusNotifierWatcher",
                                           "org.freedesktop.DBus.Properties", "PropertiesChanged")
                << kWatcher << QVariantMap{{"IsStatusNotifierHostRegistered", false}}
                << QStringList());
    QTRY_VERIFY(frmIP->isVisible());
    QVERIFY(!frmIP->tray().isReachable());
    stopWatcher();
}

QTEST_MAIN(StatusNotifierTest)
#include "tst_statusnotifier.moc"
