#include "address/AddressChooser.h"
#include "address/SystemAddressSource.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <optional>

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

/// What the kernel says through iproute2: the source address of the route
/// to the same public destination; empty without such a route, no value
/// without iproute2's `ip` to ask.
std::optional<QString> kernelRouteSource()
{
    QProcess route;
    route.start(QStringLiteral("ip"), {"-4", "route", "get", "1.1.1.1"});
    if (!route.waitForStarted(10000))
        return std::nullopt;
    if (!route.waitForFinished(10000) || route.exitCode() != 0)
        return QString();
    const QRegularExpression src(QStringLiteral(R"(\bsrc (\d+\.\d+\.\d+\.\d+))"));
    return src.match(QString::fromUtf8(route.readAllStandardOutput())).captured(1);
}

} // namespace

class AddressChooserTest : public QObject
{
    Q_OBJECT

private slots:
    void routeSourceWinsOverInterfaces_data();
    void routeSourceWinsOverInterfaces();
    void withoutDefaultRoutePhysicalBeatsVirtual();
    void withoutDefaultRouteFirstInterfaceThatIsUp();
    void linkLocalIsNeverChosen();
    void onlyLoopbackGivesLoopback();
    void nothingAtAllGivesLoopback();
    void virtualNames_data();
    void virtualNames();
    void realSourceAgreesWithTheKernel();
};

void AddressChooserTest::routeSourceWinsOverInterfaces_data()
{
    QTest::addColumn<std::optional<std::uint32_t>>("routeSource");
    QTest::addColumn<QString>("chosen");
    // The interfaces: eth0 10.0.0.5, then wlan0 192.168.1.20.
    QTest::newRow("a second address of the interface")
        << std::optional(ip(10, 0, 0, 6)) << "10.0.0.6";
    QTest::newRow("a VPN's address") << std::optional(ip(100, 64, 3, 2)) << "100.64.3.2";
    QTest::newRow("no route") << std::optional<std::uint32_t>() << "10.0.0.5";
    QTest::newRow("link-local source") << std::optional(ip(169, 254, 1, 1)) << "10.0.0.5";
    QTest::newRow("loopback source") << std::optional(ip(127, 0, 0, 1)) << "10.0.0.5";
    QTest::newRow("no source") << std::optional(0u) << "10.0.0.5";
}

void AddressChooserTest::routeSourceWinsOverInterfaces()
{
    QFETCH(std::optional<std::uint32_t>, routeSource);
    QFETCH(QString, chosen);
    NetworkTables tables;
    tables.interfaces = {loopback(), up("eth0", {ip(10, 0, 0, 5)}),
                         up("wlan0", {ip(192, 168, 1, 20)})};
    tables.routeSource = routeSource;
    QCOMPARE(AddressChooser::choose(tables), chosen);
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

void AddressChooserTest::realSourceAgreesWithTheKernel()
{
    SystemAddressSource source;
    source.close();
    const std::optional<QString> address = source.localIP();
    QVERIFY(address.has_value());
    QVERIFY2(
        QRegularExpression(R"(^\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}$)").match(*address).hasMatch(),
        qPrintable(*address));

    const std::optional<QString> kernel = kernelRouteSource();
    if (!kernel)
        QSKIP("No iproute2 `ip` command here to ask for the route to compare with");
    if (kernel->isEmpty())
        QSKIP("This machine has no route to the internet to compare with");
    QCOMPARE(*address, *kernel);
}

QTEST_GUILESS_MAIN(AddressChooserTest)
#include "tst_addresschooser.moc"
