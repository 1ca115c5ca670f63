// A resident program runs for weeks: ten thousand refreshes and a thousand
// times the floating window loaded and unloaded leave its memory where it
// was.
#include "address/AddressRefresh.h"
#include "address/SystemAddressSource.h"
#include "commands/Commands.h"
#include "support/ProgramStart.h"

#include <QFile>
#include <QTest>

namespace {

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void memorySettlesUnderLongUse();
};

void SoakTest::memorySettlesUnderLongUse()
{
#if !defined(Q_OS_LINUX)
    QSKIP("Reads /proc/self/status");
#endif
    ScratchSettings scratch;
    SystemAddressSource source;
    auto frmIP = startProgram(scratch, source);
    Commands &commands = frmIP->commands();
    const auto cycle = [&] {
        frmIP->tray().mnuFloatingMenuYes->trigger();
        commands.mnuFloatingMenuNo_Click();
        // What the event loop does between a person's clicks.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    // Warm up, so what is measured is growth, not first use.
    for (int i = 0; i < 200; ++i)
        frmIP->refresh().tmrUpdate_Timer();
    for (int i = 0; i < 50; ++i)
        cycle();
    QCoreApplication::processEvents();
    const long start = residentKb();

    for (int i = 0; i < 10000; ++i)
        frmIP->refresh().tmrUpdate_Timer();
    for (int i = 0; i < 1000; ++i)
        cycle();
    QCoreApplication::processEvents();
    const long end = residentKb();

    qInfo() << "resident memory" << start << "KiB before," << end << "KiB after";
    QVERIFY(start > 0);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine, so resident memory
    // says nothing here; LeakSanitizer checks for leaks at the end instead.
    return;
#endif
    QVERIFY2(end - start <= 1024, qPrintable(QString("grew by %1 KiB").arg(end - start)));
    QVERIFY(!frmIP->floating().isVisible());
}

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
