#include "address/AddressRefresh.h"
#include "app/CloseQuestion.h"
#include "app/FrmIP.h"
#include "commands/Commands.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"
#include "support/ScratchSettings.h"
#include "support/TrayHost.h"
#include "support/XTools.h"
#include "tray/TrayIcon.h"
#include "ui/LinkLabel.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Key = AppSettings::Key;

class FrmIPTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstRunShowsTheWindowAndLoadsTheFloatingWindowHidden();
    void floatingOnAtStart();
    void startupFlags_data();
    void startupFlags();
    void layoutIsFixed();
    void startsOnAStoreFullOfJunk();
    void screenReaderReadsTheAddress();
    void refreshWritesBothLabels();
    void failingReadOnATickKeepsTheLabel();
    void minimisingHidesWithoutStoringVis();
    void hidingAndShowingKeepsItsPlace_data();
    void hidingAndShowingKeepsItsPlace();
    void closeAnsweredYesHides();
    void closeAnsweredNoShutsDown();
    void closeFromTheWindowManagerAsks();
    void closeQuestionDefaultsToHide();
    void destroyingTheWindowShutsDownWithoutAsking();
    void positionIsStoredWhenTheFloatingWindowIsNotLoaded();
};

void FrmIPTest::initTestCase()
{
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::isAvailable(), 10000);
}

void FrmIPTest::init()
{
    CloseQuestion::clearNextAnswer();
}

void FrmIPTest::firstRunShowsTheWindowAndLoadsTheFloatingWindowHidden()
{
    TestRun run({}, "192.168.1.20");
    auto &[scratch, source, frmIP] = run;

    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QCOMPARE(frmIP->windowTitle(), QString("Kestrune's IP Tool"));
    QCOMPARE(frmIP->txtIP()->text(), QString("192.168.1.20"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating On"));
    QVERIFY(frmIP->floating().isLoaded());
    QVERIFY(!frmIP->floating().get().isVisible());
    QCOMPARE(frmIP->floating().get().currentIP(), QString("192.168.1.20"));
    QVERIFY(frmIP->tray().isShown());
    QVERIFY(frmIP->refresh().tmrUpdate().isActive());
    // Loading writes nothing.
    QVERIFY(!QFile::exists(scratch.file()));
}

void FrmIPTest::floatingOnAtStart()
{
    ScratchSettings scratch;
    scratch.set(Key::Float, "YES");
    scratch.set(Key::X, "1500");
    scratch.set(Key::Y, "3000");
    const QByteArray before = scratch.fileContents();
    FakeAddressSource source;
    auto frmIP = startProgram(scratch, source);

    FrmFloatingIP &floating = frmIP->floating().get();
    // Shown after the main window, which keeps the focus all the same.
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    QTRY_COMPARE(QGuiApplication::focusWindow(), frmIP->windowHandle());
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating Off"));
    QTRY_COMPARE(floating.screenPosition(), QPoint(100, 200));
    QVERIFY(floating.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(floating.currentIP(), QString("10.1.2.3"));
    QCOMPARE(scratch.fileContents(), before);
}

void FrmIPTest::startupFlags_data()
{
    QTest::addColumn<QString>("floatText");
    QTest::addColumn<QString>("visText");
    QTest::addColumn<bool>("floatingShown");
    QTest::addColumn<bool>("mainShown");
    QTest::newRow("Vis NO") << ""
                            << "NO" << false << false;
    QTest::newRow("Vis NO, Float YES") << "YES"
                                       << "NO" << true << false;
    QTest::newRow("Vis No") << ""
                            << "No" << false << true;
    QTest::newRow("Vis no") << ""
                            << "no" << false << true;
    QTest::newRow("Vis YES") << ""
                             << "YES" << false << true;
    QTest::newRow("Float yes") << "yes"
                               << "" << false << true;
    QTest::newRow("Float No") << "No"
                              << "" << false << true;
    QTest::newRow("Float no") << "no"
                              << "" << false << true;
}

void FrmIPTest::startupFlags()
{
    QFETCH(QString, floatText);
    QFETCH(QString, visText);
    QFETCH(bool, floatingShown);
    QFETCH(bool, mainShown);
    ScratchSettings scratch;
    scratch.set(Key::Float, floatText);
    scratch.set(Key::Vis, visText);
    FakeAddressSource source;
    auto frmIP = startProgram(scratch, source);

    QCOMPARE(frmIP->isVisible(), mainShown);
    QCOMPARE(frmIP->floating().get().isVisible(), floatingShown);
    QCOMPARE(frmIP->cmdShow()->text(),
             floatingShown ? QString("Floating Off") : QString("Floating On"));
    QVERIFY(frmIP->tray().isShown());
    QCOMPARE(frmIP->txtIP()->text(), QString("10.1.2.3"));
}

void FrmIPTest::layoutIsFixed()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    QCOMPARE(frmIP->size(), QSize(218, 87));
    QCOMPARE(frmIP->minimumSize(), frmIP->maximumSize());
    QCOMPARE(frmIP->txtIP()->geometry(), QRect(8, 8, 201, 25));
    QCOMPARE(frmIP->cmdShow()->geometry(), QRect(8, 40, 89, 25));
    QCOMPARE(frmIP->cmdHide()->geometry(), QRect(96, 40, 57, 25));
    QCOMPARE(frmIP->cmdCopy()->geometry(), QRect(152, 40, 57, 25));
    QCOMPARE(frmIP->lblWebAdd()->geometry(), QRect(48, 68, 121, 17));
    QVERIFY(frmIP->txtIP()->font().bold() && frmIP->txtIP()->font().italic());
    QVERIFY(frmIP->lblWebAdd()->font().bold() && frmIP->lblWebAdd()->font().underline());
    QCOMPARE(frmIP->lblWebAdd()->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    QCOMPARE(frmIP->lblWebAdd()->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(frmIP->cmdHide()->text(), QString("Hide"));
    QCOMPARE(frmIP->cmdCopy()->text(), QString("Copy"));

    // Tab order: Copy, Floating, Hide, the link, and round again.
    QTRY_VERIFY(frmIP->cmdCopy()->hasFocus());
    for (QWidget *next :
         QWidgetList{frmIP->cmdShow(), frmIP->cmdHide(), frmIP->lblWebAdd(), frmIP->cmdCopy()}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(next->hasFocus());
    }
}

void FrmIPTest::startsOnAStoreFullOfJunk()
{
    ScratchSettings scratch;
    const QByteArray junk(
        "\x00\xff\xfe[IP\n\x01=\x02\n[IP]\nFloat=\"YES\nVis=N\xc3\x96\nX=nan\nY=1e30\n", 43);
    scratch.writeFile(junk);
    FakeAddressSource source;
    auto frmIP = startProgram(scratch, source);
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QCOMPARE(frmIP->txtIP()->text(), QString("10.1.2.3"));
    QVERIFY(!frmIP->floating().isVisible());
    QCOMPARE(frmIP->floating().get().pos(), QPoint(0, 0));

    frmIP->commands().cmdHide_Click();
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    QVERIFY(scratch.fileContents().startsWith(QByteArray("\x00\xff\xfe[IP\n", 7)));
}

void FrmIPTest::screenReaderReadsTheAddress()
{
    TestRun run({}, "192.168.1.20");
    auto &[scratch, source, frmIP] = run;
    auto name = [](QObject *object) {
        return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
    };
    QCOMPARE(name(frmIP.get()), QString("Kestrune's IP Tool"));
    QCOMPARE(name(frmIP->txtIP()), QString("192.168.1.20"));
    QVERIFY(!QAccessible::queryAccessibleInterface(frmIP->txtIP())
                 ->text(QAccessible::Description)
                 .isEmpty());
    QCOMPARE(name(frmIP->cmdShow()), QString("Floating On"));
    QCOMPARE(name(frmIP->cmdHide()), QString("Hide"));
    QCOMPARE(name(frmIP->cmdCopy()), QString("Copy"));
    QCOMPARE(name(frmIP->lblWebAdd()), Commands::webAddress());
    auto *floatingLabel = frmIP->floating().get().findChild<QLabel *>("lblCurrentIP");
    QCOMPARE(name(floatingLabel), QString("192.168.1.20"));

    source.setAddress(QStringLiteral("10.0.0.7"));
    frmIP->refresh().tmrUpdate_Timer();
    QCOMPARE(name(frmIP->txtIP()), QString("10.0.0.7"));
    QCOMPARE(name(floatingLabel), QString("10.0.0.7"));
}

void FrmIPTest::refreshWritesBothLabels()
{
    TestRun run({}, "10.0.0.1");
    auto &[scratch, source, frmIP] = run;
    source.setAddress(QStringLiteral("10.0.0.2"));
    frmIP->refresh().tmrUpdate_Timer();
    QCOMPARE(frmIP->txtIP()->text(), QString("10.0.0.2"));
    QCOMPARE(frmIP->floating().get().currentIP(), QString("10.0.0.2"));
    QCOMPARE(source.closes, 1);
}

void FrmIPTest::failingReadOnATickKeepsTheLabel()
{
    TestRun run({}, "10.0.0.1");
    auto &[scratch, source, frmIP] = run;
    source.setAddress(QStringLiteral("10.0.0.2"));
    source.queue({std::nullopt});
    frmIP->refresh().tmrUpdate_Timer();
    QCOMPARE(frmIP->txtIP()->text(), QString("10.0.0.1"));
    QCOMPARE(frmIP->floating().get().currentIP(), QString("10.0.0.2"));
    QVERIFY(!frmIP->hasEnded());
    frmIP->refresh().tmrUpdate_Timer();
    QCOMPARE(frmIP->txtIP()->text(), QString("10.0.0.2"));
}

void FrmIPTest::minimisingHidesWithoutStoringVis()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    QVERIFY(XTools::minimize(frmIP->winId()));
    QTRY_VERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString());
    QVERIFY(frmIP->tray().isShown());
    QVERIFY(!frmIP->hasEnded());
}

void FrmIPTest::hidingAndShowingKeepsItsPlace_data()
{
    QTest::addColumn<bool>("minimise");
    QTest::newRow("Hide") << false;
    QTest::newRow("minimise") << true;
}

void FrmIPTest::hidingAndShowingKeepsItsPlace()
{
    QFETCH(bool, minimise);
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    // Moved by the window manager, as a title-bar drag does.
    const WId id = frmIP->winId();
    const QPoint first = XTools::geometry(id).topLeft();
    QVERIFY(XTools::run("wmctrl", {"-i", "-r", QString::number(id), "-e", "0,700,500,-1,-1"}));
    QTRY_VERIFY(XTools::geometry(id).topLeft() != first);
    const QRect moved = XTools::geometry(id);

    for (int round = 0; round < 2; ++round) {
        if (minimise)
            QVERIFY(XTools::minimize(id));
        else
            frmIP->commands().cmdHide_Click();
        QTRY_VERIFY(!frmIP->isVisible());
        frmIP->commands().mnuRMBClickShow_Click();
        QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
        QTRY_COMPARE(XTools::geometry(id), moved);
    }
}

void FrmIPTest::closeAnsweredYesHides()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    const int asked = CloseQuestion::timesAsked();
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::HideInstead);
    frmIP->Form_Unload();
    QCOMPARE(CloseQuestion::timesAsked(), asked + 1);
    QVERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    QVERIFY(frmIP->tray().isShown());
    QVERIFY(!frmIP->hasEnded());
    QVERIFY(frmIP->refresh().tmrUpdate().isActive());
}

void FrmIPTest::closeAnsweredNoShutsDown()
{
    TestRun run({{Key::Float, "YES"}, {Key::X, "-1200"}, {Key::Y, "4320"}});
    auto &[scratch, source, frmIP] = run;
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    floating.move(30, 40);
    QTRY_COMPARE(floating.screenPosition(), QPoint(30, 40));

    QSignalSpy ended(frmIP.get(), &FrmIP::ended);
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
    QCOMPARE(ended.count(), 1);
    QVERIFY(frmIP->hasEnded());
    QVERIFY(!frmIP->tray().isShown());
    QCOMPARE(scratch.text(Key::X), QString("450"));
    QCOMPARE(scratch.text(Key::Y), QString("600"));
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    QCOMPARE(scratch.text(Key::Vis), QString());

    // Nothing of the program acts after the end, its destruction included.
    const QByteArray atEnd = scratch.fileContents();
    frmIP->Form_Unload();
    frmIP.reset();
    QCOMPARE(scratch.fileContents(), atEnd);
    QCOMPARE(ended.count(), 1);
}

void FrmIPTest::closeFromTheWindowManagerAsks()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    // The window manager's own close command, as its close button gives it.
    const int asked = CloseQuestion::timesAsked();
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::HideInstead);
    QVERIFY(XTools::closeWindow(frmIP->winId()));
    QTRY_COMPARE(CloseQuestion::timesAsked(), asked + 1);
    QTRY_VERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    QVERIFY(!frmIP->hasEnded());
}

void FrmIPTest::closeQuestionDefaultsToHide()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));

    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    int buttons = 0;
    bool answered = false;
    // Whatever goes wrong below, the question goes within ten seconds, so
    // that the test fails rather than hangs.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    guard.start(10000);
    QTimer::singleShot(0, this, [&] {
        QVERIFY(QTest::qWaitFor(
            [] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }));
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = int(box->standardButtons());
        QVERIFY(QTest::qWaitForWindowActive(box));
        answered = true;
        QTest::keyClick(box, Qt::Key_Return);
    });
    frmIP->Form_Unload();
    QVERIFY(answered);

    QCOMPARE(title, QString("Are you sure?"));
    QCOMPARE(text, QString("Are you sure, Do you just want to hide me instead?"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, int(QMessageBox::Yes | QMessageBox::No));
    QVERIFY(!frmIP->isVisible());
    QVERIFY(!frmIP->hasEnded());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
}

void FrmIPTest::destroyingTheWindowShutsDownWithoutAsking()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    const int asked = CloseQuestion::timesAsked();
    frmIP.reset();
    QCOMPARE(CloseQuestion::timesAsked(), asked);
    QCOMPARE(scratch.text(Key::X), QString("0"));
    QCOMPARE(scratch.text(Key::Y), QString("0"));
}

void FrmIPTest::positionIsStoredWhenTheFloatingWindowIsNotLoaded()
{
    TestRun run({{Key::X, "300"}, {Key::Y, "4320.5"}});
    auto &[scratch, source, frmIP] = run;
    frmIP->floating().unload();
    QVERIFY(!frmIP->floating().isLoaded());

    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
    // Loaded again, hidden, from the store: the same place is written back.
    QCOMPARE(scratch.text(Key::X), QString("300"));
    QCOMPARE(scratch.text(Key::Y), QString("4320"));
}

QTEST_MAIN(FrmIPTest)
#include "tst_frmip.moc"
