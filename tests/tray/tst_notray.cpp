#include "app/CloseQuestion.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"
#include "support/TrayHost.h"
#include "support/XTools.h"
#include "tray/TrayIcon.h"

#include <QLabel>
#include <QTest>

using Key = AppSettings::Key;

/// A desktop that starts without a notification area.
class NoTrayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowShowsWhateverVisSays();
    void minimisingKeepsTheWindowOnTheTaskbar();
    void hidingMinimisesInstead_data();
    void hidingMinimisesInstead();
    void iconDocksWhenATrayHostAppearsAndAgainAfterItRestarts();
    void aHiddenWindowComesBackWhenTheTrayGoes_data();
    void aHiddenWindowComesBackWhenTheTrayGoes();
};

void NoTrayTest::initTestCase()
{
    QVERIFY(!TrayHost::isAvailable());
}

void NoTrayTest::windowShowsWhateverVisSays()
{
    TestRun run({{Key::Vis, "NO"}});
    auto &[scratch, source, frmIP] = run;
    // Shown once it is known that there is no notification area.
    QTRY_VERIFY(frmIP->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QCOMPARE(frmIP->txtIP()->text(), QString("10.1.2.3"));
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
}

void NoTrayTest::minimisingKeepsTheWindowOnTheTaskbar()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QVERIFY(XTools::minimize(frmIP->winId()));
    QTRY_VERIFY(frmIP->isMinimized());
    // Once everything the minimise set off has run, it is still there.
    bool settled = false;
    QMetaObject::invokeMethod(
        qApp, [&settled] { settled = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(settled);
    QVERIFY(frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString());
}

void NoTrayTest::hidingMinimisesInstead_data()
{
    QTest::addColumn<bool>("question");
    QTest::newRow("Hide") << false;
    QTest::newRow("close answered Yes") << true;
}

void NoTrayTest::hidingMinimisesInstead()
{
    QFETCH(bool, question);
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    if (question) {
        CloseQuestion::setNextAnswer(CloseQuestion::Answer::HideInstead);
        frmIP->Form_Unload();
    } else {
        frmIP->commands().cmdHide_Click();
    }
    // On the taskbar, to come back from; the choice is stored all the same.
    QTRY_VERIFY(frmIP->isMinimized());
    QVERIFY(frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
}

void NoTrayTest::iconDocksWhenATrayHostAppearsAndAgainAfterItRestarts()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QCOMPARE(TrayHost::dockedIconWindow(), WId(0));

    TrayHost host;
    QVERIFY(host.start());
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::dockedIconWindow() != 0, 10000);

    host.stop();
    QTRY_VERIFY(!TrayHost::isAvailable());
    QVERIFY(host.start());
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::dockedIconWindow() != 0, 10000);
}

void NoTrayTest::aHiddenWindowComesBackWhenTheTrayGoes_data()
{
    QTest::addColumn<bool>("minimised");
    QTest::newRow("hidden at start") << false;
    QTest::newRow("minimised") << true;
}

void NoTrayTest::aHiddenWindowComesBackWhenTheTrayGoes()
{
    QFETCH(bool, minimised);
    TrayHost host;
    QVERIFY(host.start());
    ScratchSettings scratch;
    scratch.set(Key::Vis, minimised ? "YES" : "NO");
    FakeAddressSource source;
    auto frmIP = startProgram(scratch, source);
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::dockedIconWindow() != 0, 10000);
    if (minimised) {
        QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
        QVERIFY(XTools::minimize(frmIP->winId()));
    }
    QTRY_VERIFY(!frmIP->isVisible());

    host.stop();
    QTRY_VERIFY(frmIP->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QVERIFY(!frmIP->isMinimized());
    // Nothing is stored: the next start still follows Vis.
    QCOMPARE(scratch.text(Key::Vis), minimised ? QString("YES") : QString("NO"));
}

QTEST_MAIN(NoTrayTest)
#include "tst_notray.moc"
