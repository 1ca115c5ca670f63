// The real IP answers --help and --version without a display, and ends.
#include <QProcess>
#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void informationWithoutADisplay_data();
    void informationWithoutADisplay();
};

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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    ip.setProcessEnvironment(environment);
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

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
