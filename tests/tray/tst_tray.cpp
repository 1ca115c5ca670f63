#include "address/AddressRefresh.h"
#include "app/CloseQuestion.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"
#include "support/TrayHost.h"
#include "support/XTools.h"
#include "tray/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using Key = AppSettings::Key;

namespace {

struct Item
{
    QString text;
    QStringList submenu;
};

QList<Item> describe(const QMenu &menu)
{
    QList<Item> items;
    for (const QAction *action : menu.actions()) {
        Item item{action->isSeparator() ? QStringLiteral("-") : action->text(), {}};
        if (const QMenu *sub = action->menu()) {
            for (const QAction *subAction : sub->actions())
                item.submenu.append(subAction->text());
        }
        items.append(item);
    }
    return items;
}

QPoint iconCentre(TrayIcon &tray)
{
    return TrayHost::systemTrayIcon(tray)->geometry().center();
}

/// A point inside the icon. Presses in quick succession at one spot make a
/// double click, which opens nothing; tests press at spots far enough apart.
QPoint iconSpot(TrayIcon &tray, int x, int y)
{
    return TrayHost::systemTrayIcon(tray)->geometry().topLeft() + QPoint(x, y);
}

} // namespace

class TrayIconTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void iconDocksWithItsToolTip();
    void menuTree();
    void rightPressOnTheIconOpensTheMenuLeftClickDoesNot();
    void menuOpensWhileTheWindowsAreHidden();
    void iconGoesWithTheShutDownOnly();
};

void TrayIconTest::initTestCase()
{
    QTRY_VERIFY_WITH_TIMEOUT(TrayHost::isAvailable(), 10000);
}

void TrayIconTest::cleanup()
{
    XTools::key("Escape");
}

void TrayIconTest::iconDocksWithItsToolTip()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;

    QTRY_VERIFY(TrayHost::iconSettled(frmIP->tray()));
    QSystemTrayIcon *icon = TrayHost::systemTrayIcon(frmIP->tray());
    QVERIFY(icon);
    QCOMPARE(icon->toolTip(), QString("System Tray"));
    QVERIFY(!icon->icon().isNull());
    // The images rendered for the desktop, in the tray and on the window.
    for (const int size : {16, 32, 48}) {
        const QImage rendered =
            QImage(QStringLiteral(KESTRUNE_ICONS "/kestrune-ip-%1.png").arg(size))
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(icon->icon().pixmap(size).toImage().convertToFormat(rendered.format()), rendered);
        QCOMPARE(icon->icon().pixmap(size).toImage(), frmIP->windowIcon().pixmap(size).toImage());
    }

    // Hovering shows the tooltip.
    QVERIFY(XTools::movePointer(iconSpot(frmIP->tray(), 8, 16)));
    QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 10000);
    QCOMPARE(QToolTip::text(), QString("System Tray"));
}

void TrayIconTest::menuTree()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QMenu *menu = frmIP->tray().mnuRMBClick();

    const QList<Item> items = describe(*menu);
    const QList<Item> expected = {
        {"Copy", {}}, {"-", {}},   {"Visible", {"Yes", "No"}}, {"Floating", {"Yes", "No"}},
        {"-", {}},    {"Quit", {}}};
    QCOMPARE(items.size(), expected.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        QCOMPARE(items.at(i).text, expected.at(i).text);
        QCOMPARE(items.at(i).submenu, expected.at(i).submenu);
    }
    const QList<QAction *> all = menu->findChildren<QAction *>();
    for (const QAction *action : all) {
        QVERIFY(action->isEnabled());
        QVERIFY(!action->isCheckable());
        QVERIFY(action->shortcut().isEmpty());
    }
    QCOMPARE(menu->defaultAction(), nullptr);
}

void TrayIconTest::rightPressOnTheIconOpensTheMenuLeftClickDoesNot()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QTRY_VERIFY(TrayHost::iconSettled(frmIP->tray()));
    QMenu *menu = frmIP->tray().mnuRMBClick();
    QSignalSpy activated(TrayHost::systemTrayIcon(frmIP->tray()), &QSystemTrayIcon::activated);

    const QPoint centre = iconCentre(frmIP->tray());
    QVERIFY(XTools::movePointer(centre));
    QVERIFY(XTools::click(1));
    QTRY_COMPARE(activated.count(), 1);
    QVERIFY(!menu->isVisible());
    QVERIFY(XTools::click(2));
    QTRY_COMPARE(activated.count(), 2);
    QVERIFY(!menu->isVisible());

    // The press alone opens it, at the pointer.
    QVERIFY(XTools::pressButton(3));
    QTRY_VERIFY(menu->isVisible());
    // At the pointer: right above it here, at the bottom of the screen.
    const QRect opened = menu->geometry();
    QVERIFY(opened.left() <= centre.x() && centre.x() <= opened.right() + 1);
    QVERIFY(opened.bottom() < centre.y() && centre.y() - opened.bottom() < 40);
    // Slid onto Quit, the right button released there chooses nothing; nor
    // does a right click on Copy. The left button chooses. (The pointer
    // moving on, seen by the menu, tells that the button before it was.)
    CloseQuestion::setNextAnswer(CloseQuestion::Answer::HideInstead);
    const int asked = CloseQuestion::timesAsked();
    const auto pointAt = [menu](QAction *item) {
        return XTools::movePointer(menu->mapToGlobal(menu->actionGeometry(item).center())) &&
               QTest::qWaitFor([menu, item] { return menu->activeAction() == item; });
    };
    QVERIFY(pointAt(frmIP->tray().mnuQuit));
    QVERIFY(XTools::releaseButton(3));
    QVERIFY(XTools::setClipboard("nothing yet"));
    QVERIFY(pointAt(frmIP->tray().mnuRMBClickCopy));
    QVERIFY(XTools::click(3));
    QVERIFY(pointAt(frmIP->tray().mnuQuit));
    QVERIFY(menu->isVisible());
    QCOMPARE(CloseQuestion::timesAsked(), asked);
    QCOMPARE(XTools::clipboard(), QString("nothing yet"));
    CloseQuestion::clearNextAnswer();
    QVERIFY(pointAt(frmIP->tray().mnuRMBClickCopy));
    QVERIFY(XTools::click(1));
    QTRY_VERIFY(!menu->isVisible());
    QTRY_COMPARE(XTools::clipboard(), QString("10.1.2.3"));

    // Again, after Escape closed it (a little apart: no double click).
    QVERIFY(XTools::movePointer(iconSpot(frmIP->tray(), 3, 3)));
    QVERIFY(XTools::pressButton(3));
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(XTools::releaseButton(3));

    // A click elsewhere closes it.
    QVERIFY(XTools::movePointer({5, 5}));
    QVERIFY(XTools::click(1));
    QTRY_VERIFY(!menu->isVisible());
}

void TrayIconTest::menuOpensWhileTheWindowsAreHidden()
{
    TestRun run({{Key::Vis, "NO"}});
    auto &[scratch, source, frmIP] = run;
    QVERIFY(!frmIP->isVisible());
    QVERIFY(!frmIP->floating().isVisible());
    QTRY_VERIFY(TrayHost::iconSettled(frmIP->tray()));

    QVERIFY(XTools::movePointer(iconSpot(frmIP->tray(), 18, 18)));
    QVERIFY(XTools::pressButton(3));
    QTRY_VERIFY(frmIP->tray().mnuRMBClick()->isVisible());
    QVERIFY(XTools::releaseButton(3));
}

void TrayIconTest::iconGoesWithTheShutDownOnly()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QTRY_VERIFY(TrayHost::dockedIconWindow() != 0);

    // Hiding, refreshing and the floating window leave it alone.
    frmIP->hide();
    frmIP->refresh().tmrUpdate_Timer();
    frmIP->floating().get().show();
    frmIP->floating().unload();
    QVERIFY(frmIP->tray().isShown());
    QVERIFY(TrayHost::dockedIconWindow() != 0);

    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    frmIP->Form_Unload();
    QVERIFY(!frmIP->tray().isShown());
    QTRY_COMPARE(TrayHost::dockedIconWindow(), WId(0));
}

QTEST_MAIN(TrayIconTest)
#include "tst_tray.moc"
