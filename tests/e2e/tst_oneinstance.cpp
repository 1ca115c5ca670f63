// One copy of the real program per session: a second start shows the first
// copy and ends, a copy killed outright blocks no later start, and copies
// started at the same moment end as one.
#include "Session.h"
#include "support/XTools.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class OneInstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void aSecondStartShowsTheFirstCopy();
    void aKilledCopyBlocksNoStart();
    void copiesStartedTogetherEndAsOne();

private:
    QTemporaryDir m_scratch;
};

void OneInstanceTest::aSecondStartShowsTheFirstCopy()
{
    Session first(m_scratch.filePath("second-start"));
    QVERIFY(first.start());
    QTRY_VERIFY_WITH_TIMEOUT(first.trayIcon() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(first.mainWindow() != 0, 10000);
    QVERIFY(XTools::minimize(first.mainWindow()));
    QTRY_COMPARE(first.mainWindow(), WId(0));

    Session second(m_scratch.filePath("second-start"));
    QVERIFY(second.start());
    QVERIFY(second.waitForEnd());
    // Shown as the tray's Visible > Yes shows it.
    QTRY_VERIFY_WITH_TIMEOUT(first.mainWindow() != 0, 10000);
    QCOMPARE(first.setting("Vis"), QString("YES"));
    QVERIFY(first.isRunning());
    QVERIFY(first.signal(SIGTERM));
    QVERIFY(first.waitForEnd());
}

void OneInstanceTest::aKilledCopyBlocksNoStart()
{
    Session killed(m_scratch.filePath("killed"));
    QVERIFY(killed.start());
    QTRY_VERIFY_WITH_TIMEOUT(killed.trayIcon() != 0, 10000);
    QVERIFY(killed.signal(SIGKILL));
    QVERIFY(killed.waitForExit());

    Session next(m_scratch.filePath("killed"));
    QVERIFY(next.start());
    QTRY_VERIFY_WITH_TIMEOUT(next.mainWindow() != 0, 10000);
    QVERIFY(next.isRunning());
    QVERIFY(next.signal(SIGTERM));
    QVERIFY(next.waitForEnd());
}

void OneInstanceTest::copiesStartedTogetherEndAsOne()
{
    Session a(m_scratch.filePath("together"));
    Session b(m_scratch.filePath("together"));
    QVERIFY(a.start());
    QVERIFY(b.start());
    // One of them hands over and ends; the other one runs on.
    QTRY_VERIFY_WITH_TIMEOUT(a.isRunning() != b.isRunning(), 10000);
    Session &running = a.isRunning() ? a : b;
    Session &ended = a.isRunning() ? b : a;
    QCOMPARE(ended.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(running.mainWindow() != 0, 10000);
    QVERIFY(running.signal(SIGTERM));
    QVERIFY(running.waitForEnd());
}

QTEST_GUILESS_MAIN(OneInstanceTest)
#include "tst_oneinstance.moc"
