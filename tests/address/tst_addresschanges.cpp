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
#include <QSignalSpy>
#include <QTest>

namespace {

bool ip(const QString &command)
{
    return XTools::run("ip", command.split(' ', Qt::SkipEmptyParts));
}

} // namespace

class AddressChangesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bothLabelsFollowEachChange();
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
    QCOMPARE(frmIP->txtIP->text(), QString("127.0.0.1"));
    const auto both = [&] {
        const QString main = frmIP->txtIP->text();
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

    // Put v2 back for the tests after this one.
    QVERIFY(ip("link add v2 type veth peer name v3"));
    QVERIFY(ip("link set v2 up"));
    QVERIFY(ip("link set v3 up"));
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
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
