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
#include "ui/LinkLabel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Key = AppSettings::Key;

namespace {

QPoint centreOf(const QWidget *widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

bool clickWidget(const QWidget *widget)
{
    return XTools::movePointer(centreOf(widget)) && XTools::click(1);
}

/// Opens the tray menu with a real right press on the docked icon, at a
/// spot of its own.
bool openTrayMenu(TrayIcon &tray, int &spot)
{
    return Popups::openWithRightPress(*tray.mnuRMBClick(), [&tray, &spot] {
        return XTools::pressSpot(TrayHost::systemTrayIcon(tray)->geometry(), spot++);
    });
}

/// Chooses an item of an open menu (and of its submenu) with the pointer.
bool choose(QMenu *menu, QAction *item)
{
    QMenu *const top = menu;
    QMenu *owner = qobject_cast<QMenu *>(item->parent());
    if (owner && owner != menu) {
        // A click on the item opens its submenu at once, no hover delay.
        QAction *submenuItem = owner->menuAction();
        if (!XTools::movePointer(menu->mapToGlobal(menu->actionGeometry(submenuItem).center())) ||
            !XTools::click(1))
            return false;
        if (!QTest::qWaitFor([owner] { return owner->isVisible(); }))
            return false;
        menu = owner;
    }
    const QPoint at = menu->mapToGlobal(menu->actionGeometry(item).center());
    // Done once the whole menu has closed again.
    return XTools::movePointer(at) && XTools::click(1) &&
           QTest::qWaitFor([top] { return !top->isVisible(); });
}

/// Counts the Ctrl+C presses that reach a window or any of its children.
class KeyCounter : public QObject
{
public:
    explicit KeyCounter(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }
    ~KeyCounter() override { qApp->removeEventFilter(this); }

    int ctrlC = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::KeyPress && widget && widget->window() == m_window) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_C && key->modifiers() == Qt::ControlModifier)
                ++ctrlC;
        }
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void floatingTable_data();
    void floatingTable();
    void captionFollowsOnlyTheButton();
    void mainWindowTable();
    void showRestoresAMinimisedWindow();
    void buttonsThroughThePointer();
    void trayMenuThroughThePointer();
    void trayMenuStaysOpenWhenTheFocusLeavesMeanwhile();
    void copyPutsTheLabelTextOnTheClipboard();
    void ctrlCWithEachButtonFocused_data();
    void ctrlCWithEachButtonFocused();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void otherKeysDoNotCopy_data();
    void otherKeysDoNotCopy();
    void ctrlCDoesNothingWhileHiddenOrInTheFloatingWindow();
    void quitAsksFirst_data();
    void quitAsksFirst();
    void webAddressOpensThroughTheUrlHandler();

private:
    QTemporaryDir m_bin;
    int m_traySpot = 0;
};

void CommandsTest::initTestCase()
{
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::isAvailable(), 10000);

    // A stand-in URL handler that notes what it was asked to open.
    const QString handler = m_bin.filePath("xdg-open");
    QFile script(handler);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args.tmp\"\n"
                 "mv \"$0.args.tmp\" \"$0.args\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", (m_bin.path() + ':' + qEnvironmentVariable("PATH")).toLocal8Bit());
}

void CommandsTest::init()
{
    XTools::movePointer({640, 400});
}

void CommandsTest::cleanup()
{
    XTools::run("setxkbmap", {"-layout", "us"});
}

void CommandsTest::floatingTable_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<bool>("onBefore");
    QTest::addColumn<bool>("onAfter");
    QTest::addColumn<QString>("floatWritten");
    QTest::addColumn<QString>("captionAfter"); // empty: unchanged

    QTest::newRow("cmdShow off") << "cmdShow" << false << true << "YES"
                                 << "Floating Off";
    QTest::newRow("cmdShow on") << "cmdShow" << true << false << "no"
                                << "Floating On";
    QTest::newRow("Floating Yes, off") << "FloatingYes" << false << true << "YES"
                                       << "";
    QTest::newRow("Floating Yes, on") << "FloatingYes" << true << true << "YES"
                                      << "";
    QTest::newRow("Floating No, off") << "FloatingNo" << false << false << "No"
                                      << "";
    QTest::newRow("Floating No, on") << "FloatingNo" << true << false << "No"
                                     << "";
    QTest::newRow("popup Hide") << "FloatIpHide" << true << false << "No"
                                << "";
    QTest::newRow("Quit, on") << "Quit" << true << false << ""
                              << "";
    QTest::newRow("Quit, off") << "Quit" << false << false << ""
                               << "";
}

void CommandsTest::floatingTable()
{
    QFETCH(QString, handler);
    QFETCH(bool, onBefore);
    QFETCH(bool, onAfter);
    QFETCH(QString, floatWritten);
    QFETCH(QString, captionAfter);

    ScratchSettings scratch;
    scratch.set(Key::Float, onBefore ? "YES" : "no");
    scratch.set(Key::X, "1500");
    scratch.set(Key::Y, "750");
    FakeAddressSource source;
    auto frmIP = startProgram(scratch, source);
    Commands &commands = frmIP->commands();
    QCOMPARE(frmIP->floating().isVisible(), onBefore);
    if (onBefore) {
        // Moved, as the user moves it, for the unload to store.
        FrmFloatingIP &floating = frmIP->floating().get();
        QVERIFY(
            XTools::run("xdotool", {"windowmove", QString::number(floating.winId()), "140", "60"}));
        QTRY_COMPARE(floating.screenPosition(), QPoint(140, 60));
    }
    const QString captionBefore = frmIP->cmdShow()->text();
    scratch.set(Key::Float, "untouched");

    if (handler == "cmdShow")
        commands.cmdShow_Click();
    else if (handler == "FloatingYes")
        frmIP->tray().mnuFloatingMenuYes->trigger();
    else if (handler == "FloatingNo")
        commands.mnuFloatingMenuNo_Click();
    else if (handler == "FloatIpHide")
        frmIP->mnuFloatIp().mnuFloatIpHide->trigger();
    else if (handler == "Quit") {
        CloseQuestion::setNextAnswer(CloseQuestion::Answer::HideInstead);
        commands.mnuQuit_Click();
    }

    QCOMPARE(frmIP->floating().isVisible(), onAfter);
    if (!onAfter)
        QVERIFY(!frmIP->floating().isLoaded() || !onBefore);
    QCOMPARE(scratch.text(Key::Float),
             floatWritten.isEmpty() ? QString("untouched") : floatWritten);
    QCOMPARE(frmIP->cmdShow()->text(), captionAfter.isEmpty() ? captionBefore : captionAfter);
    if (onAfter && !onBefore)
        QCOMPARE(frmIP->floating().get().screenPosition(), QPoint(100, 50));
    // Every unload stores where the window stood; nothing else does.
    const bool unloaded = onBefore && !onAfter;
    QCOMPARE(scratch.text(Key::X), unloaded ? QString("2100") : QString("1500"));
    QCOMPARE(scratch.text(Key::Y), unloaded ? QString("900") : QString("750"));
}

void CommandsTest::captionFollowsOnlyTheButton()
{
    TestRun run({{Key::Float, "YES"}});
    auto &[scratch, source, frmIP] = run;
    Commands &commands = frmIP->commands();
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating Off"));

    // Off from the tray: the caption stays; the button then acts on what it
    // sees, a hidden window, and shows it.
    commands.mnuFloatingMenuNo_Click();
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating Off"));
    commands.cmdShow_Click();
    QVERIFY(frmIP->floating().isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating Off"));

    // Off by the button, on from the tray: "Floating On" stays; a click then
    // turns the window off.
    commands.cmdShow_Click();
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating On"));
    frmIP->tray().mnuFloatingMenuYes->trigger();
    QVERIFY(frmIP->floating().isVisible());
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating On"));
    commands.cmdShow_Click();
    QVERIFY(!frmIP->floating().isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("no"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating On"));

    // A refresh after an unload loads the window again, hidden.
    frmIP->refresh().tmrUpdate_Timer();
    QVERIFY(frmIP->floating().isLoaded());
    QVERIFY(!frmIP->floating().isVisible());
}

void CommandsTest::mainWindowTable()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    Commands &commands = frmIP->commands();

    commands.cmdHide_Click();
    QVERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));

    commands.mnuRMBClickShow_Click();
    QVERIFY(frmIP->isVisible());
    QVERIFY(!frmIP->isMinimized());
    QCOMPARE(scratch.text(Key::Vis), QString("YES"));

    frmIP->tray().mnuRMBClickHide->trigger();
    QVERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));

    // Nothing of this touches the tray icon, the floating window or the timer.
    QVERIFY(frmIP->tray().isShown());
    QVERIFY(frmIP->refresh().tmrUpdate().isActive());
    QVERIFY(!frmIP->hasEnded());
}

void CommandsTest::showRestoresAMinimisedWindow()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QVERIFY(XTools::minimize(frmIP->winId()));
    QTRY_VERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString());

    frmIP->commands().mnuRMBClickShow_Click();
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    QTRY_VERIFY(!frmIP->isMinimized());
    QCOMPARE(scratch.text(Key::Vis), QString("YES"));
    QTRY_VERIFY(XTools::property(frmIP->winId(), "_NET_WM_STATE").indexOf("HIDDEN") < 0);
}

void CommandsTest::buttonsThroughThePointer()
{
    TestRun run({}, "10.0.0.42");
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowActive(frmIP.get()));

    QVERIFY(clickWidget(frmIP->cmdShow()));
    QTRY_VERIFY(frmIP->floating().isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating Off"));

    QVERIFY(clickWidget(frmIP->cmdShow()));
    QTRY_VERIFY(!frmIP->floating().isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("no"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating On"));

    QVERIFY(XTools::setClipboard(QStringLiteral("something else")));
    QVERIFY(clickWidget(frmIP->cmdCopy()));
    QTRY_COMPARE(XTools::clipboard(), QString("10.0.0.42"));

    QVERIFY(clickWidget(frmIP->cmdHide()));
    QTRY_VERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
}

void CommandsTest::trayMenuStaysOpenWhenTheFocusLeavesMeanwhile()
{
    TestRun run({}, "10.0.0.43");
    auto &[scratch, source, frmIP] = run;
    QTRY_VERIFY(TrayHost::iconSettled(frmIP->tray()));
    QTRY_VERIFY(frmIP->isActiveWindow());
    TrayIcon &tray = frmIP->tray();
    QMenu *menu = tray.mnuRMBClick();
    QVERIFY(openTrayMenu(tray, m_traySpot));
    // The menu has the pointer and the keyboard.
    QTRY_COMPARE(QGuiApplication::focusWindow(), menu->windowHandle());

    // The main window loses the input focus while the menu is open; Qt
    // deactivates the application a while later.
    const auto elsewhere = XTools::focusElsewhere();
    QVERIFY(elsewhere);
    QTRY_COMPARE(QGuiApplication::applicationState(), Qt::ApplicationInactive);
    QVERIFY(menu->isVisible());

    // The user still closes it as ever.
    QVERIFY(XTools::key("Escape"));
    QTRY_VERIFY(!menu->isVisible());
}

void CommandsTest::trayMenuThroughThePointer()
{
    TestRun run({}, "10.0.0.43");
    auto &[scratch, source, frmIP] = run;
    QTRY_VERIFY(TrayHost::iconSettled(frmIP->tray()));
    TrayIcon &tray = frmIP->tray();
    QMenu *menu = tray.mnuRMBClick();

    QVERIFY(openTrayMenu(tray, m_traySpot));
    QVERIFY(choose(menu, tray.mnuRMBClickHide));
    QTRY_VERIFY(!frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));

    QVERIFY(openTrayMenu(tray, m_traySpot));
    QVERIFY(choose(menu, tray.mnuFloatingMenuYes));
    QTRY_VERIFY(frmIP->floating().isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("YES"));

    QVERIFY(XTools::setClipboard(QStringLiteral("something else")));
    QVERIFY(openTrayMenu(tray, m_traySpot));
    QVERIFY(choose(menu, tray.mnuRMBClickCopy));
    QTRY_COMPARE(XTools::clipboard(), QString("10.0.0.43"));

    QVERIFY(openTrayMenu(tray, m_traySpot));
    QVERIFY(choose(menu, tray.mnuFloatingMenuNo));
    QTRY_VERIFY(!frmIP->floating().isVisible());
    QCOMPARE(scratch.text(Key::Float), QString("No"));

    QVERIFY(openTrayMenu(tray, m_traySpot));
    QVERIFY(choose(menu, tray.mnuRMBClickShow));
    QTRY_VERIFY(frmIP->isVisible());
    QCOMPARE(scratch.text(Key::Vis), QString("YES"));
    QCOMPARE(frmIP->cmdShow()->text(), QString("Floating On"));
}

void CommandsTest::copyPutsTheLabelTextOnTheClipboard()
{
    ScratchSettings scratch;
    FakeAddressSource source;
    source.queue({std::nullopt});
    auto frmIP = startProgram(scratch, source);
    // The first read failed: the label still shows its placeholder, and that
    // is what a copy takes, exactly as shown.
    QCOMPARE(frmIP->txtIP()->text(), QString("255.255.255.255"));
    frmIP->commands().cmdCopy_Click();
    QTRY_COMPARE(XTools::clipboard(), QString("255.255.255.255"));

    frmIP->txtIP()->setText(QStringLiteral(" 10.0.0.1 "));
    frmIP->tray().mnuRMBClickCopy->trigger();
    QTRY_COMPARE(XTools::clipboard(), QString(" 10.0.0.1 "));

    // Still there for others once the window that copied has gone away.
    frmIP->commands().cmdHide_Click();
    QCOMPARE(XTools::clipboard(), QString(" 10.0.0.1 "));
}

void CommandsTest::ctrlCWithEachButtonFocused_data()
{
    QTest::addColumn<QString>("layouts");
    QTest::addColumn<QString>("keys");
    QTest::newRow("US layout") << "us"
                               << "ctrl+c";
    // The key that carries C on a US keyboard, in a layout without Latin
    // letters.
    QTest::newRow("Russian alone") << "ru"
                                   << "ctrl+Cyrillic_es";
    QTest::newRow("Hebrew alone") << "il"
                                  << "ctrl+hebrew_bet";
    QTest::newRow("Greek alone") << "gr"
                                 << "ctrl+Greek_psi";
}

void CommandsTest::ctrlCWithEachButtonFocused()
{
    QFETCH(QString, layouts);
    QFETCH(QString, keys);
    QVERIFY(XTools::run("setxkbmap", {"-layout", layouts}));
    TestRun run({}, "192.168.7.7");
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowActive(frmIP.get()));

    for (QPushButton *button : {frmIP->cmdCopy(), frmIP->cmdShow(), frmIP->cmdHide()}) {
        QVERIFY(XTools::setClipboard(QStringLiteral("before")));
        QTRY_COMPARE(XTools::clipboard(), QString("before"));
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        QVERIFY(XTools::key(keys));
        QTRY_COMPARE(XTools::clipboard(), QString("192.168.7.7"));
    }
    // Nothing else happened: no button was pressed by the keys.
    QVERIFY(frmIP->isVisible());
    QVERIFY(!frmIP->floating().isVisible());
}

void CommandsTest::enterPressesTheFocusedButton_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("button");
    QTest::newRow("Enter on Copy") << "Return"
                                   << "cmdCopy";
    QTest::newRow("Enter on Floating On") << "Return"
                                          << "cmdShow";
    QTest::newRow("keypad Enter on Hide") << "KP_Enter"
                                          << "cmdHide";
}

void CommandsTest::enterPressesTheFocusedButton()
{
    QFETCH(QString, key);
    QFETCH(QString, button);
    TestRun run({}, "192.168.7.6");
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowActive(frmIP.get()));
    QVERIFY(XTools::setClipboard(QStringLiteral("before")));
    QTRY_COMPARE(XTools::clipboard(), QString("before"));
    frmIP->findChild<QPushButton *>(button)->setFocus();
    QTRY_VERIFY(frmIP->findChild<QPushButton *>(button)->hasFocus());

    QVERIFY(XTools::key(key));
    if (button == "cmdCopy")
        QTRY_COMPARE(XTools::clipboard(), QString("192.168.7.6"));
    QTRY_COMPARE(frmIP->floating().isVisible(), button == "cmdShow");
    QTRY_COMPARE(frmIP->isVisible(), button != "cmdHide");
    QCOMPARE(scratch.text(Key::Vis), button == "cmdHide" ? QString("NO") : QString());
}

void CommandsTest::otherKeysDoNotCopy_data()
{
    QTest::addColumn<QString>("keys");
    QTest::newRow("Ctrl+Shift+C") << "ctrl+shift+c";
    QTest::newRow("Ctrl+Alt+C") << "ctrl+alt+c";
    QTest::newRow("C") << "c";
    QTest::newRow("Ctrl+V") << "ctrl+v";
    QTest::newRow("Ctrl+Shift+C, Russian layout") << "ctrl+shift+Cyrillic_es";
    QTest::newRow("Alt+C, Russian layout") << "alt+Cyrillic_es";
}

void CommandsTest::otherKeysDoNotCopy()
{
    QFETCH(QString, keys);
    if (keys.contains("Cyrillic"))
        QVERIFY(XTools::run("setxkbmap", {"-layout", "ru"}));
    TestRun run({}, "192.168.7.8");
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowActive(frmIP.get()));
    frmIP->cmdShow()->setFocus();
    QVERIFY(XTools::setClipboard(QStringLiteral("before")));
    QTRY_COMPARE(XTools::clipboard(), QString("before"));

    QVERIFY(XTools::key(keys));
    // Tab moves the focus on: once it has, the keys before it have arrived.
    QVERIFY(XTools::key("Tab"));
    QTRY_VERIFY(frmIP->cmdHide()->hasFocus());
    QCOMPARE(XTools::clipboard(), QString("before"));
    QVERIFY(!frmIP->floating().isVisible());
    QVERIFY(frmIP->isVisible());
}

void CommandsTest::ctrlCDoesNothingWhileHiddenOrInTheFloatingWindow()
{
    TestRun run({{Key::Float, "YES"}}, "192.168.7.9");
    auto &[scratch, source, frmIP] = run;
    FrmFloatingIP &floating = frmIP->floating().get();
    QVERIFY(QTest::qWaitForWindowExposed(&floating));

    // The floating window active: the keys reach it, and nothing is copied.
    KeyCounter atFloating(&floating);
    floating.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&floating));
    QVERIFY(XTools::setClipboard(QStringLiteral("before")));
    QTRY_COMPARE(XTools::clipboard(), QString("before"));
    QVERIFY(XTools::key("ctrl+c"));
    QTRY_VERIFY(atFloating.ctrlC > 0);
    QCOMPARE(XTools::clipboard(), QString("before"));

    // Hidden: the keys go to whatever is active instead (a text field here,
    // which shows that they arrived), and nothing is copied.
    frmIP->commands().cmdHide_Click();
    QLineEdit marker;
    marker.show();
    marker.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&marker));
    KeyCounter atMain(frmIP.get());
    QVERIFY(XTools::setClipboard(QStringLiteral("after")));
    QTRY_COMPARE(XTools::clipboard(), QString("after"));
    QVERIFY(XTools::key("ctrl+c"));
    QVERIFY(XTools::key("m"));
    QTRY_COMPARE(marker.text(), QString("m"));
    QCOMPARE(atMain.ctrlC, 0);
    QCOMPARE(XTools::clipboard(), QString("after"));
}

void CommandsTest::quitAsksFirst_data()
{
    QTest::addColumn<bool>("hiddenBefore");
    QTest::addColumn<bool>("answeredYes");
    QTest::newRow("shown, Yes") << false << true;
    QTest::newRow("already hidden, Yes") << true << true;
    // What the end stores is the main window's unload's, tested there.
    QTest::newRow("shown, No") << false << false;
}

void CommandsTest::quitAsksFirst()
{
    QFETCH(bool, hiddenBefore);
    QFETCH(bool, answeredYes);
    ScratchSettings scratch;
    scratch.set(Key::Float, "YES");
    if (hiddenBefore)
        scratch.set(Key::Vis, "NO");
    FakeAddressSource source;
    auto frmIP = startProgram(scratch, source);
    QCOMPARE(frmIP->isVisible(), !hiddenBefore);

    const int asked = CloseQuestion::timesAsked();
    CloseQuestion::setNextAnswer(answeredYes ? CloseQuestion::Answer::HideInstead
                                             : CloseQuestion::Answer::Quit);
    frmIP->commands().mnuQuit_Click();
    QCOMPARE(CloseQuestion::timesAsked(), asked + 1);
    QCOMPARE(frmIP->hasEnded(), !answeredYes);
    QCOMPARE(frmIP->tray().isShown(), answeredYes);
    if (answeredYes) {
        QVERIFY(!frmIP->isVisible());
        QVERIFY(!frmIP->floating().isVisible());
        QCOMPARE(scratch.text(Key::Vis), QString("NO"));
        QCOMPARE(scratch.text(Key::Float), QString("YES"));
    }
}

void CommandsTest::webAddressOpensThroughTheUrlHandler()
{
#if defined(__SANITIZE_ADDRESS__)
    // GCC 12's AddressSanitizer takes none of its locks across fork(): the
    // child forked to start the handler can hang when another thread
    // allocates at that moment, and spin for the rest of the run.
    QSKIP("opening through a forked handler is tried without the sanitizers");
#endif
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowActive(frmIP.get()));
    QCOMPARE(frmIP->lblWebAdd()->text(), Commands::webAddress());

    const QString record = m_bin.filePath("xdg-open.args");
    QFile::remove(record);
    QVERIFY(clickWidget(frmIP->lblWebAdd()));
    QTRY_VERIFY(QFile::exists(record));
    QFile args(record);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(args.readAll()), QString("https://kestrune.com/\n"));
    QVERIFY(frmIP->isVisible());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
