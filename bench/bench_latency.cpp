// How soon the label shows a new address: 50 times, the address of an
// interface is replaced (one ioctl, done when it returns) and the time until
// the refresh writes the new text into the label is taken. Runs in a network
// namespace of its own (bench/run.sh starts it under `unshare --net`).
//
// Prints: latency_median_ms=... latency_max_ms=... changes=50
#include "address/AddressChangeWatcher.h"
#include "address/AddressRefresh.h"
#include "address/SystemAddressSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool run(const QString &command)
{
    return QProcess::execute(QStringLiteral("ip"), command.split(' ')) == 0;
}

bool setAddress(int fd, const char *interface, const QString &address)
{
    ifreq request{};
    std::strncpy(request.ifr_name, interface, IFNAMSIZ - 1);
    auto *in = reinterpret_cast<sockaddr_in *>(&request.ifr_addr);
    in->sin_family = AF_INET;
    inet_pton(AF_INET, address.toLatin1().constData(), &in->sin_addr);
    return ioctl(fd, SIOCSIFADDR, &request) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!run("link set lo up") || !run("link add bench0 type veth peer name bench1") ||
        !run("link set bench0 up") || !run("link set bench1 up")) {
        std::fprintf(stderr, "needs a network namespace of its own (unshare --net)\n");
        return 1;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);

    SystemAddressSource source;
    QString expected;
    QElapsedTimer sinceChange;
    double latencyMs = -1;
    QEventLoop loop;
    AddressRefresh refresh(
        source,
        [&](const QString &text) {
            if (text == expected && latencyMs < 0) {
                latencyMs = sinceChange.nsecsElapsed() / 1e6;
                loop.quit();
            }
        },
        [](const QString &) {});
    AddressChangeWatcher watcher;
    QObject::connect(&watcher, &AddressChangeWatcher::changed, &refresh,
                     &AddressRefresh::tmrUpdate_Timer);

    // One deadline a change, started afresh each time.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    giveUp.setInterval(10000);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, [&] { loop.exit(1); });

    std::vector<double> latencies;
    for (int i = 0; i < 50; ++i) {
        expected = QStringLiteral("10.210.%1.2").arg(i);
        latencyMs = -1;
        // Far enough apart that each change is a burst of its own.
        QTimer::singleShot(3 * AddressChangeWatcher::kBurstWindowMs, &loop, [&] {
            if (!setAddress(fd, "bench0", expected))
                loop.exit(1);
            sinceChange.start();
        });
        giveUp.start();
        if (loop.exec() != 0 || latencyMs < 0) {
            std::fprintf(stderr, "change %d was not shown\n", i);
            return 1;
        }
        latencies.push_back(latencyMs);
    }
    close(fd);
    std::sort(latencies.begin(), latencies.end());
    const double median = (latencies[24] + latencies[25]) / 2;
    std::printf("latency_median_ms=%.2f latency_max_ms=%.2f changes=%zu\n", median,
                latencies.back(), latencies.size());
    return 0;
}
