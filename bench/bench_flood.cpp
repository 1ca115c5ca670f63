// What a flood of address changes costs: 20,000 addresses added in one
// `ip -batch`, first with nobody listening (the baseline), then while the
// change listener and the refresh run here. The batch's last line moves the
// default route's preferred source, so the label has a final address to
// show. Runs in a network namespace of its own (bench/run.sh starts it under
// `unshare --net`).
//
// Prints: flood_baseline_s=... flood_s=... flood_cpu_s=... flood_core_share=...
//         flood_final_ms=... flood_refreshes=... addresses=...
#include "address/AddressChangeWatcher.h"
#include "address/AddressRefresh.h"
#include "address/SystemAddressSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kAddresses = 20000;

bool ip(const QString &command)
{
    return QProcess::execute(QStringLiteral("ip"), command.split(' ')) == 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Sets up an interface pair and writes the batch for it.
bool prepare(const QString &link, QTemporaryFile &batch)
{
    if (!ip(QStringLiteral("link add %1 type veth peer name %1p").arg(link)) ||
        !ip(QStringLiteral("link set %1 up").arg(link)) ||
        !ip(QStringLiteral("link set %1p up").arg(link)) ||
        !ip(QStringLiteral("addr add 10.250.0.2/16 dev %1").arg(link)) ||
        !ip(QStringLiteral("addr add 10.250.0.3/16 dev %1").arg(link)) ||
        !ip(QStringLiteral("route replace default via 10.250.0.1 dev %1 src 10.250.0.2")
                .arg(link)) ||
        !batch.open())
        return false;
    for (int i = 0; i < kAddresses; ++i)
        batch.write(QStringLiteral("address add 10.%1.%2.%3/32 dev %4p\n")
                        .arg(100 + i / 65536)
                        .arg((i / 256) % 256)
                        .arg(i % 256)
                        .arg(link)
                        .toLatin1());
    batch.write(QStringLiteral("route replace default via 10.250.0.1 dev %1 src 10.250.0.3\n")
                    .arg(link)
                    .toLatin1());
    return batch.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!ip("link set lo up")) {
        std::fprintf(stderr, "needs a network namespace of its own (unshare --net)\n");
        return 1;
    }

    // The baseline: nobody listens.
    QTemporaryFile baselineBatch;
    if (!prepare(QStringLiteral("base"), baselineBatch))
        return 1;
    QElapsedTimer clock;
    clock.start();
    if (QProcess::execute(QStringLiteral("ip"), {"-batch", baselineBatch.fileName()}) != 0)
        return 1;
    const double baselineSeconds = clock.nsecsElapsed() / 1e9;
    if (!ip("link del base"))
        return 1;

    // The same flood while the program's listener and refresh run.
    QTemporaryFile batch;
    if (!prepare(QStringLiteral("flood"), batch))
        return 1;
    SystemAddressSource source;
    QString label;
    int refreshes = 0;
    QElapsedTimer sinceEnd;
    double finalMs = -1;
    QEventLoop loop;
    AddressRefresh refresh(
        source,
        [&](const QString &text) {
            ++refreshes;
            label = text;
            if (text == QLatin1String("10.250.0.3") && sinceEnd.isValid() && finalMs < 0) {
                finalMs = sinceEnd.nsecsElapsed() / 1e6;
                loop.quit();
            }
        },
        [](const QString &) {});
    refresh.showInitial();
    AddressChangeWatcher watcher;
    QObject::connect(&watcher, &AddressChangeWatcher::changed, &refresh,
                     &AddressRefresh::tmrUpdate_Timer);

    QProcess flood;
    double floodSeconds = 0;
    double cpu = 0;
    QObject::connect(&flood, &QProcess::finished, &loop, [&] {
        floodSeconds = clock.nsecsElapsed() / 1e9;
        cpu = cpuSeconds() - cpu;
        sinceEnd.start();
        if (label == QLatin1String("10.250.0.3")) {
            finalMs = 0;
            loop.quit();
        }
    });
    QTimer::singleShot(0, &loop, [&] {
        cpu = cpuSeconds();
        clock.start();
        flood.start(QStringLiteral("ip"), {"-batch", batch.fileName()});
    });
    QTimer::singleShot(600000, &loop, [&] { loop.exit(1); });
    if (loop.exec() != 0 || finalMs < 0) {
        std::fprintf(stderr, "the final address was not shown\n");
        return 1;
    }
    std::printf("flood_baseline_s=%.2f flood_s=%.2f flood_cpu_s=%.3f flood_core_share=%.3f "
                "flood_final_ms=%.1f flood_refreshes=%d addresses=%d\n",
                baselineSeconds, floodSeconds, cpu, cpu / floodSeconds, finalMs, refreshes,
                kAddresses);
    return 0;
}
