// The real IP answers --help and --version without a display, and ends;
// without a window system to show its windows on it says so, and ends.
#include <QProcess>
#include <QTest>
#include <unistd.h>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void informationWithoutADisplay_data();
    void informationWithoutADisplay();
    void helpWithStandardOutputClosed();
    void noWindowSystem_data();
    void noWindowSystem();

private:
    /// The environment without any display or platform chosen.
    static QProcessEnvironment noDisplay();
};

QProcessEnvironment CommandLineTest::noDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    return environment;
}

void CommandLineTest::informationWithoutADisplay_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("--version") << "--version"
                               << "IP 1.0.0";
    QTest::newRow("-v") << "-v"
                        << "IP 1.0.0";
    QTest::newRow("--help") << "--help"
                            << "Usage: IP";
    QTest::newRow("-h") << "-h"
                        << "Usage: IP";
}

void CommandLineTest::informationWithoutADisplay()
{
    QFETCH(QString, argument);
    QFETCH(QString, firstLine);
    QProcess ip;
    ip.setProcessEnvironment(noDisplay());
    ip.start(QStringLiteral(KESTRUNE_IP_BINARY), {argument});
    QVERIFY(ip.waitForFinished(10000));
    QCOMPARE(ip.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ip.exitCode(), 0);
    const QString out = QString::fromUtf8(ip.readAllStandardOutput());
    QCOMPARE(out.section('\n', 0, 0), firstLine);
    if (firstLine.startsWith("Usage"))
        QVERIFY(out.contains("takes no options"));
    QCOMPARE(ip.readAllStandardError(), QByteArray());
}

void CommandLineTest::helpWithStandardOutputClosed()
{
    QProcess ip;
    ip.setProcessEnvironment(noDisplay());
    ip.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    ip.start(QStringLiteral(KESTRUNE_IP_BINARY), {"--help"});
    QVERIFY(ip.waitForFinished(10000));
    QCOMPARE(ip.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ip.exitCode(), 1);
    QVERIFY(ip.readAllStandardError().startsWith("Usage: IP\n"));
}

void CommandLineTest::noWindowSystem_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("said");
    QTest::newRow("no display") << QStringList() << QString()
                                << "IP: cannot start: no display to show the window on "
                                   "(DISPLAY is not set)\n";
    QTest::newRow("a display nobody serves")
        << QStringList{"-display", ":9999"} << QString()
        << "IP: cannot start: no display to show the window on "
           "(could not connect to display :9999)\n";
    QTest::newRow("no such window system")
        << QStringList{"-platform", "bogus"} << QString(":0")
        << "IP: cannot start: there is no window system \"bogus\" to show the window on\n";
    // Too little memory for Qt to fail in a way that ends. (AddressSanitizer
    // needs terabytes of it to start at all.)
#if !defined(__SANITIZE_ADDRESS__)
    QTest::newRow("ulimit -v 110000")
        << QStringList{"ulimit -v 110000"} << QString(":0")
        << "IP: cannot start: 110000 KiB of address space is too little (ulimit -v); it needs "
           "196608 KiB\n";
#endif
    // Qt's platform starts, but has nothing to show a window on.
    QTest::newRow("no framebuffer")
        << QStringList{"-platform", "linuxfb:fb=/nonexistent"} << QString()
        << "IP: cannot start: no screen to show the window on (Cannot create window: no screens "
           "available)\n";
}

void CommandLineTest::noWindowSystem()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, display);
    QFETCH(QString, said);
    QProcess ip;
    QProcessEnvironment environment = noDisplay();
    if (!display.isEmpty())
        environment.insert("DISPLAY", display);
    ip.setProcessEnvironment(environment);
    if (arguments.value(0).startsWith("ulimit"))
        ip.start("sh", {"-c", arguments.constFirst() + " && exec \"$0\"", KESTRUNE_IP_BINARY});
    else
        ip.start(QStringLiteral(KESTRUNE_IP_BINARY), arguments);
    QVERIFY(ip.waitForFinished(10000));
    // Ended, not aborted: no core.
    QCOMPARE(ip.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ip.exitCode(), 1);
    // After what Qt said first, if anything.
    const QString error = QString::fromLocal8Bit(ip.readAllStandardError());
    QVERIFY2(error.endsWith(said) && error.count("IP: ") == 1, qPrintable(error));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
