// The address follows the network at once: in a private network namespace
// the test adds, changes and removes interfaces, addresses and routes, and
// both labels follow without waiting for the minute's tick.
#include "address/AddressChangeWatcher.h"
#include "address/AddressRefresh.h"
#include "address/SystemAddressSource.h"
#include "app/CloseQuestion.h"
#include "app/FrmIP.h"
#include "support/ProgramStart.h"
#include "support/XTools.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

namespace {

bool ip(const QString &command)
{
    return XTools::run("ip", command.split(' ', Qt::SkipEmptyParts));
}

/// The source address iproute2 reports for traffic to the internet.
QString kernelRouteSource()
{
    const QString route = XTools::output("ip", {"-4", "route", "get", "1.1.1.1"});
    const qsizetype at = route.indexOf(QLatin1String(" src "));
    return at < 0 ? QString() : route.mid(at + 5).section(' ', 0, 0).trimmed();
}

} // namespace

class AddressChangesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bothLabelsFollowEachChange();
    void addressIsWhereTrafficLeavesFrom_data();
    void addressIsWhereTrafficLeavesFrom();
    void aBurstRefreshesOncePerWindowNotOncePerChange();
    void theMinuteTickStaysAsItIs();
};

void AddressChangesTest::initTestCase()
{
    if (qEnvironmentVariableIsSet("KESTRUNE_NO_PRIVATE_NETWORK"))
        QSKIP("No private network namespace can be made here");
    // A namespace of our own has nothing but a loopback interface.
    const QString links = XTools::output("ip", {"-o", "link"});
    QVERIFY2(links.count('\n') == 1 && links.contains(": lo:"), qPrintable(links));
    QVERIFY(ip("link set lo up"));
    QVERIFY(ip("link add v0 type veth peer name v1"));
    QVERIFY(ip("link add v2 type veth peer name v3"));
    QVERIFY(ip("link add v4 type veth peer name v5"));
    for (const char *link : {"v0", "v1", "v2", "v3", "v4", "v5"})
        QVERIFY(ip(QStringLiteral("link set %1 up").arg(link)));
}

void AddressChangesTest::bothLabelsFollowEachChange()
{
    ScratchSettings scratch;
    SystemAddressSource source;
    auto frmIP = startProgram(scratch, source);
    QVERIFY(frmIP->addressChanges().isListening());
    QCOMPARE(frmIP->txtIP()->text(), QString("127.0.0.1"));
    const auto both = [&] {
        const QString main = frmIP->txtIP()->text();
        return main == frmIP->floating().get().currentIP() ? main : QString("(labels differ)");
    };

    // An address on an interface, no route: the interface's address.
    QVERIFY(ip("addr add 10.200.0.2/24 dev v0"));
    QTRY_COMPARE_WITH_TIMEOUT(both(), QString("10.200.0.2"), 10000);

    // A default route through another interface: that one's address.
    QVERIFY(ip("addr add 10.201.0.5/24 dev v2"));
    QVERIFY(ip("route add default via 10.201.0.1 dev v2"));
    QTRY_COMPARE_WITH_TIMEOUT(both(), QString("10.201.0.5"), 10000);

    // The default route moves.
    QVERIFY(ip("route replace default via 10.200.0.1 dev v0"));
    QTRY_COMPARE_WITH_TIMEOUT(both(), QString("10.200.0.2"), 10000);

    // The address itself changes (a lease with another address, say).
    QVERIFY(ip("addr del 10.200.0.2/24 dev v0"));
    QVERIFY(ip("addr add 10.200.0.77/24 dev v0"));
    QVERIFY(ip("route replace default via 10.200.0.1 dev v0"));
    QTRY_COMPARE_WITH_TIMEOUT(both(), QString("10.200.0.77"), 10000);

    // The route goes away, then the interface under the other address.
    QVERIFY(ip("route del default"));
    QVERIFY(ip("addr del 10.200.0.77/24 dev v0"));
    QTRY_COMPARE_WITH_TIMEOUT(both(), QString("10.201.0.5"), 10000);
    QVERIFY(ip("link del v2"));
    QTRY_COMPARE_WITH_TIMEOUT(both(), QString("127.0.0.1"), 10000);

    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
}

void AddressChangesTest::addressIsWhereTrafficLeavesFrom_data()
{
    QTest::addColumn<QStringList>("setUp");
    QTest::addColumn<QString>("address");
    // Each case on interfaces of its own: w0 and w2 (with their peers).
    QStringList pair;
    for (const char *link : {"w0", "w2"}) {
        pair << QStringLiteral("link add %1 type veth peer name %1p").arg(link)
             << QStringLiteral("link set %1 up").arg(link)
             << QStringLiteral("link set %1p up").arg(link);
    }
    QTest::newRow("the default route's preferred source")
        << pair + QStringList{"addr add 10.20.30.40/24 dev w0", "addr add 10.20.30.50/24 dev w0",
                              "route replace default via 10.20.30.1 dev w0 src 10.20.30.50"}
        << "10.20.30.50";
    QTest::newRow("a VPN's routes over the default route")
        << pair + QStringList{"addr add 10.20.31.7/24 dev w2", "addr add 10.8.0.2/24 dev w0",
                              "route replace default via 10.20.31.1 dev w2",
                              "route add 0.0.0.0/1 via 10.8.0.1 dev w0",
                              "route add 128.0.0.0/1 via 10.8.0.1 dev w0"}
        << "10.8.0.2";
    QTest::newRow("policy routing into a table of its own")
        << pair + QStringList{"addr add 10.20.32.7/24 dev w2", "addr add 10.9.0.2/24 dev w0",
                              "route replace default via 10.20.32.1 dev w2",
                              "route add default via 10.9.0.1 dev w0 table 100",
                              "rule add lookup 100 priority 100"}
        << "10.9.0.2";
}

void AddressChangesTest::addressIsWhereTrafficLeavesFrom()
{
    QFETCH(QStringList, setUp);
    QFETCH(QString, address);
    const auto cleanUp = qScopeGuard([] {
        ip("rule del priority 100");
        ip("link del w0");
        ip("link del w2");
    });
    for (const QString &command : std::as_const(setUp))
        QVERIFY2(ip(command), qPrintable(command));
    // The kernel itself agrees with the case.
    QCOMPARE(kernelRouteSource(), address);

    SystemAddressSource source;
    QCOMPARE(source.localIP(), std::optional(address));
}

void AddressChangesTest::aBurstRefreshesOncePerWindowNotOncePerChange()
{
    QLabel label;
    SystemAddressSource source;
    AddressRefresh refresh(
        source, [&](const QString &text) { label.setText(text); }, [](const QString &) {});
    AddressChangeWatcher watcher;
    QVERIFY(watcher.isListening());
    QObject::connect(&watcher, &AddressChangeWatcher::changed, &refresh,
                     &AddressRefresh::tmrUpdate_Timer);
    QSignalSpy reports(&watcher, &AddressChangeWatcher::changed);

    // A hundred address changes a few milliseconds apart (each one on its
    // own, no two read together), then a route to settle on.
    QString script = QStringLiteral(
        "for i in $(seq 1 100); do ip addr add 10.202.0.$i/32 dev v0; sleep 0.005; done; ");
    script += QStringLiteral(
        "ip addr add 10.203.0.9/24 dev v4; ip route replace default via 10.203.0.1 dev v4");
    QElapsedTimer burst;
    burst.start();
    QVERIFY(XTools::run("sh", {"-c", script}));
    const qint64 lasted = burst.elapsed();

    // The last state shows, and the burst cost one refresh a window at most.
    QTRY_COMPARE_WITH_TIMEOUT(label.text(), QString("10.203.0.9"), 10000);
    const qint64 windows = lasted / AddressChangeWatcher::kBurstWindowMs + 2;
    qInfo() << "102 changes over" << lasted << "ms:" << reports.count() << "refreshes";
    QVERIFY(reports.count() >= 1);
    QVERIFY2(reports.count() <= windows && reports.count() < 51,
             qPrintable(QStringLiteral("%1 refreshes in %2 ms").arg(reports.count()).arg(lasted)));
}

void AddressChangesTest::theMinuteTickStaysAsItIs()
{
    ScratchSettings scratch;
    SystemAddressSource source;
    auto frmIP = startProgram(scratch, source);
    QCOMPARE(frmIP->refresh().tmrUpdate().interval(), 60000);
    QVERIFY(frmIP->refresh().tmrUpdate().isActive());
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
}

QTEST_MAIN(AddressChangesTest)
#include "tst_addresschanges.moc"
