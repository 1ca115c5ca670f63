#include "address/AddressRefresh.h"
#include "app/CloseQuestion.h"
#include "commands/Commands.h"
#include "floating/FloatIpMenu.h"
#include "support/FakeAddressSource.h"
#include "support/Popups.h"
#include "support/ProgramStart.h"
#include "support/TrayHost.h"
#include "support/XTools.h"
#include "tray/TrayIcon.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using Key = AppSettings::Key;

namespace {

/// Starts the program with the floating window on at the stored place.
std::unique_ptr<FrmIPTestSeam> startFloating(const ScratchSettings &scratch, AddressSource &source,
                                             const QString &x = {}, const QString &y = {})
{
    scratch.set(Key::Float, "YES");
    if (!x.isNull())
        scratch.set(Key::X, x);
    if (!y.isNull())
        scratch.set(Key::Y, y);
    return startProgram(scratch, source);
}

QPoint centreOf(const QWidget &widget)
{
    return widget.mapToGlobal(widget.rect().center());
}

/// The floating window's centre where the X server has it: Qt's own idea of
/// where the frameless window stands can stay at the frame's corner.
QPoint centreOnScreen(const FrmFloatingIP &floating)
{
    return floating.screenPosition() + floating.rect().center();
}

/// Clicks @p action of an open @p menu with the real pointer.
bool clickMenuItem(QMenu &menu, QAction *action)
{
    const QPoint at = menu.mapToGlobal(menu.actionGeometry(action).center());
    return XTools::movePointer(at) && XTools::click(1);
}

} // namespace

class FloatingWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void windowManagerSeesABorderlessTopmostWindow();
    void layout();
    void firstRunStandsAtTheOrigin();
    void storedPositionIsRestored_data();
    void storedPositionIsRestored();
    void aPlaceOnNoScreenOutlivesARunThatNeverShowedIt();
    void leftDragMovesTheWindowAndTheNewPlaceIsStored();
    void theGrabbedPointStaysUnderThePointer_data();
    void theGrabbedPointStaysUnderThePointer();
    void aWindowLoadedAgainShowsTheAddressAtOnce();
    void pressWithoutMovementOrOtherButtonsDoesNotMove();
    void rightPressOpensThePopupAtThePointer();
    void popupHideUnloadsAndTheNextRefreshReloadsHidden();
    void popupCopyCopiesTheAddress();
    void closingStoresThePositionDestroyingToo();
};

void FloatingWindowTest::initTestCase()
{
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::isAvailable(), 10000);
}

void FloatingWindowTest::cleanup()
{
    XTools::releaseButton(1);
    XTools::releaseButton(2);
    XTools::releaseButton(3);
}

void FloatingWindowTest::windowManagerSeesABorderlessTopmostWindow()
{
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, "1500", "3000");
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));

    const WId id = floating.winId();
    QTRY_VERIFY(XTools::property(id, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    const QString type = XTools::property(id, "_NET_WM_WINDOW_TYPE");
    const QString state = XTools::property(id, "_NET_WM_STATE");
    // A utility window, transient for nothing (tiling window managers
    // centre such a window over the program's others), kept out of
    // taskbars, pagers and the window switcher.
    QVERIFY2(type.contains("_NET_WM_WINDOW_TYPE_UTILITY"), qPrintable(type));
    QVERIFY(XTools::property(id, "WM_TRANSIENT_FOR").contains("not found"));
    QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR") &&
                 state.contains("_NET_WM_STATE_SKIP_PAGER"),
             qPrintable(state));
    QTRY_COMPARE(XTools::property(id, "_NET_FRAME_EXTENTS"),
                 QString("_NET_FRAME_EXTENTS(CARDINAL) = 0, 0, 0, 0"));
    QTRY_COMPARE(XTools::geometry(id), QRect(100, 200, 153, 22));
}

void FloatingWindowTest::layout()
{
    ScratchSettings scratch;
    FakeAddressSource source(QStringLiteral("172.16.254.123"));
    auto frmIP = startFloating(scratch, source);
    FrmFloatingIP &floating = frmIP->floating().get();
    QCOMPARE(floating.size(), QSize(153, 22));
    QCOMPARE(floating.windowTitle(), QString("Form2"));
    auto *label = floating.findChild<QLabel *>("lblCurrentIP");
    QVERIFY(label);
    QCOMPARE(label->geometry(), QRect(8, 3, 137, 17));
    QCOMPARE(label->text(), QString("172.16.254.123"));
    QVERIFY(label->font().bold());
    QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
    auto *border = floating.findChild<QWidget *>("shpBorder");
    QVERIFY(border);
    QCOMPARE(border->geometry(), floating.rect());
    QVERIFY(border->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Its label reads the placeholder until the first write.
    FrmFloatingIP fresh(scratch.floatingPlace());
    QCOMPARE(fresh.currentIP(), QString("255.255.255.255"));
    fresh.endHandlers();
}

void FloatingWindowTest::firstRunStandsAtTheOrigin()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    frmIP->commands().cmdShow_Click();
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), QPoint(0, 0));
}

void FloatingWindowTest::storedPositionIsRestored_data()
{
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QPoint>("expected");
    // Whether quitting leaves the stored text as it was (the window stands
    // elsewhere only because it could not be shown there).
    QTest::addColumn<bool>("textKept");
    // The screen is 1280x800, the window 153x22.
    const auto row = [](const char *name, const char *x, const char *y, QPoint expected,
                        bool kept) { QTest::newRow(name) << x << y << expected << kept; };
    row("stored", "1500", "3000", QPoint(100, 200), false);
    row("X not a number", "abc", "300", QPoint(0, 20), false);
    // Partly beyond an edge: where it was left, as long as a grip of it
    // (16 by 8) is on the screen.
    row("half the width beyond the left", "-1140", "0", QPoint(-76, 0), false);
    row("partly beyond the left", "-1200", "300", QPoint(-80, 20), false);
    row("partly beyond the top left", "-600", "-150", QPoint(-40, -10), false);
    row("partly beyond the right", "18000", "4500", QPoint(1200, 300), false);
    // Less than that: in just far enough, and the text stays.
    row("a sliver at the right", "19185", "4500", QPoint(1264, 300), true);
    row("left of every screen", "-3000", "1500", QPoint(-137, 100), true);
    row("on no screen", "300000", "300000", QPoint(1264, 792), true);
    // A huge number is a place, the farthest there is.
    row("eight nines", "99999999", "99999999", QPoint(1264, 792), true);
    row("overflowing", "1e30", "-1e30", QPoint(1264, -14), true);
    row("nan and inf", "nan", "inf", QPoint(0, 0), false);
}

void FloatingWindowTest::storedPositionIsRestored()
{
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QPoint, expected);
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, x, y);
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    // Where the program asks the window manager to put it; a place partly
    // off screen is the window manager's to keep or to adjust.
    const QStringList asked = XTools::property(floating.winId(), "WM_NORMAL_HINTS")
                                  .section("user specified location:", 1, 1)
                                  .section('\n', 0, 0)
                                  .split(',');
    QCOMPARE(QPoint(asked.value(0).toInt(), asked.value(1).toInt()), expected);
    QFETCH(bool, textKept);
    if (!textKept) {
        QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), expected);
        QCOMPARE(floating.screenPosition(), expected);
    }
    // Restoring alone rewrites nothing.
    QCOMPARE(scratch.text(Key::X), x);
    QCOMPARE(scratch.text(Key::Y), y);

    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
    QCOMPARE(scratch.text(Key::X), textKept ? x : QString::number(expected.x() * 15));
    QCOMPARE(scratch.text(Key::Y), textKept ? y : QString::number(expected.y() * 15));
}

void FloatingWindowTest::aPlaceOnNoScreenOutlivesARunThatNeverShowedIt()
{
    TestRun run({{Key::X, "30000"}, {Key::Y, "30000"}});
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
    QCOMPARE(scratch.text(Key::X), QString("30000"));
    QCOMPARE(scratch.text(Key::Y), QString("30000"));
}

void FloatingWindowTest::theGrabbedPointStaysUnderThePointer_data()
{
    QTest::addColumn<QPoint>("firstMotion");
    QTest::newRow("a pixel") << QPoint(1, 1);
    QTest::newRow("30 pixels at once") << QPoint(30, 0);
    QTest::newRow("far and diagonal at once") << QPoint(90, 70);
}

void FloatingWindowTest::theGrabbedPointStaysUnderThePointer()
{
    QFETCH(QPoint, firstMotion);
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, "1500", "1500");
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), QPoint(100, 100));

    const QPoint grab(130, 110);
    QVERIFY(XTools::movePointer(grab));
    QVERIFY(XTools::pressButton(1));
    QVERIFY(XTools::movePointer(grab + firstMotion));
    QTRY_VERIFY(floating.isBeingDragged());
    QPoint pointer = grab + firstMotion;
    for (int step = 0; step < 6; ++step)
        QVERIFY(XTools::movePointer(pointer += QPoint(15, 10)));
    QVERIFY(XTools::releaseButton(1));
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), pointer - QPoint(30, 10));
}

void FloatingWindowTest::aWindowLoadedAgainShowsTheAddressAtOnce()
{
    ScratchSettings scratch;
    FakeAddressSource source(QStringLiteral("10.11.12.13"));
    auto frmIP = startFloating(scratch, source);
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    // Off and on again with the button, as quickly as a person clicks.
    for (int click = 0; click < 2; ++click) {
        QVERIFY(XTools::movePointer(centreOf(*frmIP->cmdShow())));
        QVERIFY(XTools::click(1));
        QTRY_COMPARE(frmIP->floating().isVisible(), click == 1);
    }
    QCOMPARE(frmIP->floating().get().currentIP(), QString("10.11.12.13"));
}

void FloatingWindowTest::leftDragMovesTheWindowAndTheNewPlaceIsStored()
{
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, "1500", "1500");
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), QPoint(100, 100));

    // Grab it on the label, as a person would. The window manager takes
    // over from the first movement, a pixel away, and the grabbed point
    // follows the pointer from there.
    const QPoint grab(120, 110);
    QVERIFY(XTools::movePointer(grab));
    QVERIFY(XTools::pressButton(1));
    QVERIFY(XTools::movePointer(grab + QPoint(1, 1)));
    QTRY_VERIFY(floating.isBeingDragged());
    for (int step = 1; step <= 10; ++step)
        QVERIFY(XTools::movePointer(grab + QPoint(1 + 18 * step, 1 + 13 * step)));
    QVERIFY(XTools::releaseButton(1));

    const QPoint moved(100 + 181, 100 + 131);
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), moved);
    QTRY_COMPARE(floating.screenPosition(), moved);

    // And once more, back towards where it came from.
    const QPoint grabAgain = moved + QPoint(20, 10);
    QVERIFY(XTools::movePointer(grabAgain));
    QVERIFY(XTools::pressButton(1));
    QVERIFY(XTools::movePointer(grabAgain - QPoint(1, 1)));
    QTRY_VERIFY(floating.isBeingDragged());
    for (int step = 1; step <= 5; ++step)
        QVERIFY(XTools::movePointer(grabAgain - QPoint(1 + 10 * step, 1 + 10 * step)));
    QVERIFY(XTools::releaseButton(1));
    const QPoint movedBack = moved - QPoint(51, 51);
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), movedBack);
    QTRY_COMPARE(floating.screenPosition(), movedBack);
    // Left there, it is stored, once the window manager's move has come to
    // rest.
    QTRY_COMPARE(scratch.text(Key::X), QString::number(movedBack.x() * 15));
    QCOMPARE(scratch.text(Key::Y), QString::number(movedBack.y() * 15));
    floating.move(moved);
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), moved);

    // Unloading stores where it is, and so does the shut-down.
    frmIP->commands().cmdShow_Click();
    QVERIFY(!frmIP->floating().isLoaded());
    QCOMPARE(scratch.text(Key::X), QString::number(moved.x() * 15));
    QCOMPARE(scratch.text(Key::Y), QString::number(moved.y() * 15));
    scratch.set(Key::X, "0");
    scratch.set(Key::Y, "0");
    frmIP->commands().cmdShow_Click();
    FrmFloatingIP &shown = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&shown));
    QTRY_COMPARE(XTools::geometry(shown.winId()).topLeft(), QPoint(0, 0));
    shown.move(moved);
    QTRY_COMPARE(XTools::geometry(shown.winId()).topLeft(), moved);
    QTRY_COMPARE(shown.screenPosition(), moved);
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
    QCOMPARE(scratch.text(Key::X), QString::number(moved.x() * 15));
    QCOMPARE(scratch.text(Key::Y), QString::number(moved.y() * 15));
}

void FloatingWindowTest::pressWithoutMovementOrOtherButtonsDoesNotMove()
{
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, "3000", "3000");
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    const QPoint start(200, 200);
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), start);

    QVERIFY(XTools::movePointer(centreOnScreen(floating)));
    QVERIFY(XTools::click(1));

    // Left and right held together do not drag either.
    const QPoint inside = floating.rect().center();
    QMouseEvent both(QEvent::MouseMove, QPointF(inside + QPoint(30, 30)),
                     QPointF(floating.mapToGlobal(inside + QPoint(30, 30))), Qt::NoButton,
                     Qt::LeftButton | Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&floating, &both);
    QVERIFY(!floating.isBeingDragged());

    // The middle button held while moving does nothing.
    QVERIFY(XTools::pressButton(2));
    QVERIFY(XTools::movePointer(centreOnScreen(floating) + QPoint(60, 40)));
    QVERIFY(XTools::releaseButton(2));

    // Something visible to wait on: the events above have all arrived once
    // a later click has opened the popup.
    QVERIFY(
        Popups::openWithRightPress(frmIP->mnuFloatIp(), [&] { return centreOnScreen(floating); }));
    frmIP->mnuFloatIp().close();
    QCOMPARE(floating.screenPosition(), start);
    QCOMPARE(XTools::geometry(floating.winId()).topLeft(), start);
}

void FloatingWindowTest::rightPressOpensThePopupAtThePointer()
{
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, "4500", "4500");
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), QPoint(300, 300));

    FloatIpMenu &menu = frmIP->mnuFloatIp();
    const QList<QAction *> items = menu.actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0)->text(), QString("Copy"));
    QCOMPARE(items.at(1)->text(), QString("Hide"));
    for (QAction *item : items) {
        QVERIFY(item->isEnabled() && !item->isCheckable() && item->shortcut().isEmpty());
    }

    // On the label and on the frame alike: the menu's corner at the pointer.
    for (const QPoint at : {QPoint(375, 311), QPoint(300, 300), QPoint(452, 321)}) {
        QVERIFY(XTools::movePointer(at));
        QVERIFY(XTools::pressButton(3));
        QTRY_VERIFY(menu.isVisible());
        QCOMPARE(menu.geometry().topLeft(), at);
        QCOMPARE(menu.windowHandle()->transientParent(), floating.windowHandle());
        QVERIFY(XTools::releaseButton(3));
        QVERIFY(XTools::key("Escape"));
        QTRY_VERIFY(!menu.isVisible());
    }
    // A right click on Hide hides nothing; the menu stays.
    QVERIFY(XTools::pressButton(3));
    QTRY_VERIFY(menu.isVisible());
    QVERIFY(XTools::releaseButton(3));
    const auto pointAt = [&menu](QAction *item) {
        return XTools::movePointer(menu.mapToGlobal(menu.actionGeometry(item).center())) &&
               QTest::qWaitFor([&menu, item] { return menu.activeAction() == item; });
    };
    QVERIFY(pointAt(menu.mnuFloatIpHide));
    QVERIFY(XTools::click(3));
    QVERIFY(pointAt(menu.mnuFloatIpCopy));
    QVERIFY(menu.isVisible());
    QVERIFY(XTools::key("Escape"));
    QTRY_VERIFY(!menu.isVisible());
    QVERIFY(frmIP->floating().isVisible());
}

void FloatingWindowTest::popupHideUnloadsAndTheNextRefreshReloadsHidden()
{
    ScratchSettings scratch;
    FakeAddressSource source;
    auto frmIP = startFloating(scratch, source, "3000", "1500");
    FrmFloatingIP *floating = &frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(floating));
    QTRY_COMPARE(XTools::geometry(floating->winId()).topLeft(), QPoint(200, 100));

    QVERIFY(
        Popups::openWithRightPress(frmIP->mnuFloatIp(), [&] { return centreOnScreen(*floating); }));
    QVERIFY(clickMenuItem(frmIP->mnuFloatIp(), frmIP->mnuFloatIp().mnuFloatIpHide));
    QTRY_VERIFY(!frmIP->floating().isLoaded());
    QCOMPARE(scratch.text(Key::Float), QString("No"));
    QCOMPARE(scratch.text(Key::X), QString("3000"));
    QCOMPARE(scratch.text(Key::Y), QString("1500"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating Off"));

    source.setAddress(QStringLiteral("10.20.30.40"));
    frmIP->refresh().tmrUpdate_Timer();
    QVERIFY(frmIP->floating().isLoaded());
    floating = &frmIP->floating().get();
    QVERIFY(!floating->isVisible());
    QCOMPARE(floating->pos(), QPoint(200, 100));
    QCOMPARE(floating->currentIP(), QString("10.20.30.40"));
}

void FloatingWindowTest::popupCopyCopiesTheAddress()
{
    ScratchSettings scratch;
    FakeAddressSource source(QStringLiteral("10.9.8.7"));
    auto frmIP = startFloating(scratch, source, "1500", "1500");
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));
    QTRY_COMPARE(XTools::geometry(floating.winId()).topLeft(), QPoint(100, 100));
    QVERIFY(XTools::setClipboard(QStringLiteral("before")));
    QTRY_COMPARE(XTools::clipboard(), QString("before"));

    QVERIFY(
        Popups::openWithRightPress(frmIP->mnuFloatIp(), [&] { return centreOnScreen(floating); }));
    QVERIFY(clickMenuItem(frmIP->mnuFloatIp(), frmIP->mnuFloatIp().mnuFloatIpCopy));
    QTRY_VERIFY(!frmIP->mnuFloatIp().isVisible());
    QTRY_COMPARE(XTools::clipboard(), QString("10.9.8.7"));
    QVERIFY(floating.isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
}

void FloatingWindowTest::closingStoresThePositionDestroyingToo()
{
    ScratchSettings scratch;
    {
        FrmFloatingIP floating(scratch.floatingPlace());
        floating.move(-30, 45);
        floating.close();
        QCOMPARE(scratch.text(Key::X), QString("-450"));
        QCOMPARE(scratch.text(Key::Y), QString("675"));
    }
    {
        FrmFloatingIP floating(scratch.floatingPlace());
        QCOMPARE(floating.pos(), QPoint(-30, 45));
        floating.move(12, 34);
    }
    QCOMPARE(scratch.text(Key::X), QString("180"));
    QCOMPARE(scratch.text(Key::Y), QString("510"));
}

QTEST_MAIN(FloatingWindowTest)
#include "tst_floating.moc"
