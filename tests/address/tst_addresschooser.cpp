#include "address/AddressChooser.h"
#include "address/SystemAddressSource.h"
#include "address/SystemNetworkTables.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

std::uint32_t ip(int a, int b, int c, int d)
{
    return (std::uint32_t(a) << 24) | (std::uint32_t(b) << 16) | (std::uint32_t(c) << 8) |
           std::uint32_t(d);
}

NetworkInterface up(const QString &name, QList<std::uint32_t> addresses)
{
    NetworkInterface interface;
    interface.name = name;
    interface.up = true;
    interface.ipv4 = std::move(addresses);
    return interface;
}

NetworkInterface loopback()
{
    NetworkInterface lo = up(QStringLiteral("lo"), {ip(127, 0, 0, 1)});
    lo.loopback = true;
    return lo;
}

/// What `ip` (iproute2, over netlink) says: the source address of the
/// lowest-metric default route's interface.
QString kernelDefaultRouteAddress()
{
    QProcess routes;
    routes.start(QStringLiteral("ip"), {"-o", "-4", "route", "show", "default"});
    if (!routes.waitForFinished(10000) || routes.exitCode() != 0)
        return {};
    QString bestDevice;
    qint64 bestMetric = -1;
    for (const QString &line : QString::fromUtf8(routes.readAllStandardOutput()).split('\n')) {
        const QStringList words = line.split(' ', Qt::SkipEmptyParts);
        const qsizetype dev = words.indexOf("dev");
        if (dev < 0 || dev + 1 >= words.size())
            continue;
        const qsizetype metricAt = words.indexOf("metric");
        const qint64 metric = metricAt >= 0 ? words.value(metricAt + 1).toLongLong() : 0;
        if (bestMetric < 0 || metric < bestMetric) {
            bestMetric = metric;
            bestDevice = words.at(dev + 1);
        }
    }
    if (bestDevice.isEmpty())
        return {};
    QProcess addresses;
    addresses.start(QStringLiteral("ip"), {"-o", "-4", "addr", "show", "dev", bestDevice});
    if (!addresses.waitForFinished(10000))
        return {};
    const QRegularExpression inet(QStringLiteral(R"(inet (\d+\.\d+\.\d+\.\d+)/)"));
    const auto match = inet.match(QString::fromUtf8(addresses.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

class AddressChooserTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultRouteWinsOverInterfaceOrder();
    void lowestMetricWins();
    void defaultRouteOnAVirtualBridgeStillWins();
    void defaultRouteWithoutUsableAddressFallsBack();
    void withoutDefaultRoutePhysicalBeatsVirtual();
    void withoutDefaultRouteFirstInterfaceThatIsUp();
    void linkLocalIsNeverChosen();
    void onlyLoopbackGivesLoopback();
    void nothingAtAllGivesLoopback();
    void virtualNames_data();
    void virtualNames();
    void procRouteTable();
    void realSourceAgreesWithTheKernel();
};

void AddressChooserTest::defaultRouteWinsOverInterfaceOrder()
{
    NetworkTables tables;
    tables.interfaces = {loopback(), up("eth0", {ip(10, 0, 0, 5)}),
                         up("wlan0", {ip(192, 168, 1, 20)})};
    tables.defaultRoutes = {{"wlan0", 600}};
    QCOMPARE(AddressChooser::choose(tables), QString("192.168.1.20"));
}

void AddressChooserTest::lowestMetricWins()
{
    NetworkTables tables;
    tables.interfaces = {up("eth0", {ip(10, 0, 0, 5)}), up("wlan0", {ip(192, 168, 1, 20)})};
    tables.defaultRoutes = {{"wlan0", 600}, {"eth0", 100}};
    QCOMPARE(AddressChooser::choose(tables), QString("10.0.0.5"));
    tables.defaultRoutes = {{"eth0", 700}, {"wlan0", 600}};
    QCOMPARE(AddressChooser::choose(tables), QString("192.168.1.20"));
}

void AddressChooserTest::defaultRouteOnAVirtualBridgeStillWins()
{
    NetworkTables tables;
    tables.interfaces = {up("eth0", {ip(10, 0, 0, 5)}), up("br-1a2b", {ip(172, 18, 0, 1)})};
    tables.defaultRoutes = {{"br-1a2b", 0}};
    QCOMPARE(AddressChooser::choose(tables), QString("172.18.0.1"));
}

void AddressChooserTest::defaultRouteWithoutUsableAddressFallsBack()
{
    NetworkTables tables;
    NetworkInterface down = up("eth0", {ip(10, 0, 0, 5)});
    down.up = false;
    tables.interfaces = {down, up("ppp0", {}), up("wlan0", {ip(192, 168, 1, 20)})};
    tables.defaultRoutes = {{"eth0", 0}, {"ppp0", 5}, {"gone0", 1}};
    QCOMPARE(AddressChooser::choose(tables), QString("192.168.1.20"));
}

void AddressChooserTest::withoutDefaultRoutePhysicalBeatsVirtual()
{
    NetworkTables tables;
    tables.interfaces = {loopback(), up("docker0", {ip(172, 17, 0, 1)}),
                         up("virbr0", {ip(192, 168, 122, 1)}), up("enp3s0", {ip(10, 1, 1, 9)})};
    QCOMPARE(AddressChooser::choose(tables), QString("10.1.1.9"));

    // A platform that knows an interface is virtual says so itself.
    tables.interfaces[3].virtualHint = true;
    QCOMPARE(AddressChooser::choose(tables), QString("172.17.0.1"));
}

void AddressChooserTest::withoutDefaultRouteFirstInterfaceThatIsUp()
{
    NetworkTables tables;
    NetworkInterface down = up("eth0", {ip(10, 0, 0, 5)});
    down.up = false;
    tables.interfaces = {down, up("eth1", {ip(10, 0, 1, 5), ip(10, 0, 1, 6)}),
                         up("eth2", {ip(10, 0, 2, 5)})};
    QCOMPARE(AddressChooser::choose(tables), QString("10.0.1.5"));
}

void AddressChooserTest::linkLocalIsNeverChosen()
{
    NetworkTables tables;
    tables.interfaces = {up("eth0", {ip(169, 254, 7, 7)}),
                         up("eth1", {ip(169, 254, 8, 8), ip(10, 9, 8, 7)})};
    tables.defaultRoutes = {{"eth0", 0}};
    QCOMPARE(AddressChooser::choose(tables), QString("10.9.8.7"));

    tables.interfaces = {up("eth0", {ip(169, 254, 7, 7)})};
    QCOMPARE(AddressChooser::choose(tables), QString("127.0.0.1"));
}

void AddressChooserTest::onlyLoopbackGivesLoopback()
{
    NetworkTables tables;
    tables.interfaces = {loopback()};
    QCOMPARE(AddressChooser::choose(tables), QString("127.0.0.1"));
}

void AddressChooserTest::nothingAtAllGivesLoopback()
{
    QCOMPARE(AddressChooser::choose(NetworkTables{}), QString("127.0.0.1"));
}

void AddressChooserTest::virtualNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isVirtual");
    for (const char *name : {"docker0", "br-5f2e9c", "veth12ab", "virbr0", "vmnet8", "vboxnet0"})
        QTest::newRow(name) << name << true;
    for (const char *name : {"eth0", "enp3s0", "wlan0", "wlp2s0", "tun0", "bridge", "lo"})
        QTest::newRow(name) << name << false;
}

void AddressChooserTest::virtualNames()
{
    QFETCH(QString, name);
    QFETCH(bool, isVirtual);
    QCOMPARE(AddressChooser::isVirtualName(name), isVirtual);
}

void AddressChooserTest::procRouteTable()
{
    const QByteArray text =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t000200C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "down0\t00000000\t0101A8C0\t0002\t0\t0\t1\t00000000\t0\t0\t0\n"
        "junk line\n";
    const QList<DefaultRoute> routes = SystemNetworkTables::parseProcRoutes(text);
    QCOMPARE(routes.size(), 2);
    QCOMPARE(routes.at(0).interfaceName, QString("eth0"));
    QCOMPARE(routes.at(0).metric, 100u);
    QCOMPARE(routes.at(1).interfaceName, QString("wlan0"));
    QCOMPARE(routes.at(1).metric, 600u);
}

void AddressChooserTest::realSourceAgreesWithTheKernel()
{
    SystemAddressSource source;
    source.close();
    const std::optional<QString> address = source.localIP();
    QVERIFY(address.has_value());
    QVERIFY2(
        QRegularExpression(R"(^\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}$)").match(*address).hasMatch(),
        qPrintable(*address));

    const QString kernel = kernelDefaultRouteAddress();
    if (kernel.isEmpty())
        QSKIP("This machine has no default route to compare with");
    QCOMPARE(*address, kernel);
}

QTEST_GUILESS_MAIN(AddressChooserTest)
#include "tst_addresschooser.moc"
