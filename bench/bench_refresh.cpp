// What one refresh costs: the whole tick (a close and two reads, both labels
// written) and one address read, against a bare getifaddrs() call, the
// least any reader of the interface list pays.
#include "address/AddressRefresh.h"
#include "address/SystemAddressSource.h"

#include <QLabel>
#include <QTest>
#include <ifaddrs.h>

class RefreshBenchmark : public QObject
{
    Q_OBJECT

private slots:
    void floorGetifaddrs();
    void oneAddressRead();
    void wholeTick();
};

void RefreshBenchmark::floorGetifaddrs()
{
    QBENCHMARK
    {
        ifaddrs *list = nullptr;
        if (getifaddrs(&list) == 0)
            freeifaddrs(list);
    }
}

void RefreshBenchmark::oneAddressRead()
{
    SystemAddressSource source;
    QBENCHMARK
    {
        const auto address = source.localIP();
        Q_UNUSED(address);
    }
}

void RefreshBenchmark::wholeTick()
{
    SystemAddressSource source;
    QLabel txtIP;
    QLabel lblCurrentIP;
    AddressRefresh refresh(
        source, [&](const QString &text) { txtIP.setText(text); },
        [&](const QString &text) { lblCurrentIP.setText(text); });
    QBENCHMARK
    {
        refresh.tmrUpdate_Timer();
    }
}

QTEST_MAIN(RefreshBenchmark)
#include "bench_refresh.moc"
