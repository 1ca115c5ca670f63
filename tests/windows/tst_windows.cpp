#include "app/CloseQuestion.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"
#include "tray/TrayIcon.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <algorithm>
#include <windows.h>

namespace {

constexpr auto kAddress = "192.0.2.41";

/// Whether this is Wine rather than Windows: Wine's ntdll exports its version.
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

/// A value of the program's settings as the registry holds it, read with the
/// registry's own API; no value when it is missing or no string.
std::optional<QString> registryText(const ScratchSettings &scratch, const QString &name)
{
    const QString root = QStringLiteral("HKEY_CURRENT_USER\\");
    if (!scratch.location().startsWith(root))
        return std::nullopt;
    const QString key = scratch.location().mid(root.size()) + u'\\' + AppSettings::kApplication +
                        u'\\' + AppSettings::kSection;
    wchar_t text[256] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t *>(key.utf16()),
                     reinterpret_cast<const wchar_t *>(name.utf16()), RRF_RT_REG_SZ, nullptr, text,
                     &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return QString::fromWCharArray(text);
}

bool waitForText(const ScratchSettings &scratch, const QString &name, const QString &expected)
{
    return QTest::qWaitFor([&] { return registryText(scratch, name) == expected; });
}

/// Moves the highlight of an open menu down to @p target with the arrow key.
bool highlight(QMenu *menu, QAction *target)
{
    for (qsizetype step = 0; step <= menu->actions().size(); ++step) {
        if (menu->activeAction() == target)
            return true;
        QTest::keyClick(menu, Qt::Key_Down);
    }
    return false;
}

/// Chooses @p item of the tray's menu, opened where a right click would,
/// with the keys a person would press: arrows to it, Right into its
/// submenu, Enter.
bool chooseFromTrayMenu(TrayIcon &tray, QAction *item)
{
    QMenu *top = tray.mnuRMBClick();
    const auto closed = [top] {
        return std::ranges::none_of(top->findChildren<QMenu *>(),
                                    [](const QMenu *menu) { return menu->isVisible(); }) &&
               !top->isVisible();
    };
    // The last choice's menus close first.
    if (!QTest::qWaitFor(closed))
        return false;
    top->popup(QPoint(40, 40));
    if (!QTest::qWaitFor([top] { return top->isVisible(); }))
        return false;
    QMenu *menu = top;
    auto *owner = qobject_cast<QMenu *>(item->parent());
    if (owner && owner != top) {
        if (!highlight(top, owner->menuAction()))
            return false;
        QTest::keyClick(top, Qt::Key_Right);
        if (!QTest::qWaitFor([owner] { return owner->isVisible(); }))
            return false;
        menu = owner;
    }
    if (!highlight(menu, item))
        return false;
    QTest::keyClick(menu, Qt::Key_Return);
    return QTest::qWaitFor(closed);
}

} // namespace

class WindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void mainWindowHasAFixedBorder();
    void cmdShowTogglesTheFloatingWindow();
    void copyPutsTheAddressOnTheClipboard_data();
    void copyPutsTheAddressOnTheClipboard();
    void trayMenuItems_data();
    void trayMenuItems();
    void quitAnsweredNoKeepsThePosition();
    void networkChangesAreListenedTo();

private:
    std::unique_ptr<ScratchSettings> m_scratch;
    std::unique_ptr<FakeAddressSource> m_source;
    std::unique_ptr<FrmIPTestSeam> m_frmIP;
};

void WindowsTest::init()
{
    m_scratch = std::make_unique<ScratchSettings>();
    m_source = std::make_unique<FakeAddressSource>(QString::fromLatin1(kAddress));
    m_frmIP = startProgram(*m_scratch, *m_source);
    QVERIFY(QTest::qWaitForWindowExposed(m_frmIP.get()));
}

void WindowsTest::cleanup()
{
    CloseQuestion::clearNextAnswer();
    m_frmIP.reset();
    m_source.reset();
    m_scratch.reset();
}

void WindowsTest::mainWindowHasAFixedBorder()
{
    const auto hwnd = reinterpret_cast<HWND>(m_frmIP->winId());
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    QVERIFY2(!(style & WS_THICKFRAME), qPrintable(QString::number(style, 16)));
    QVERIFY(!(style & WS_MAXIMIZEBOX));
    QCOMPARE(style & WS_CAPTION, LONG_PTR(WS_CAPTION));
    // 3270 twips wide inside, 1665 high outside (at 15 twips a pixel).
    RECT client = {};
    RECT outer = {};
    QVERIFY(GetClientRect(hwnd, &client) && GetWindowRect(hwnd, &outer));
    QCOMPARE(client.right - client.left, LONG(218));
    QCOMPARE(outer.bottom - outer.top, LONG(111));
}

void WindowsTest::cmdShowTogglesTheFloatingWindow()
{
    QTest::mouseClick(m_frmIP->cmdShow(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([this] { return m_frmIP->floating().isVisible(); }));
    QVERIFY(waitForText(*m_scratch, "Float", "YES"));
    QTest::mouseClick(m_frmIP->cmdShow(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([this] { return !m_frmIP->floating().isVisible(); }));
    QVERIFY(waitForText(*m_scratch, "Float", "no"));
}

void WindowsTest::copyPutsTheAddressOnTheClipboard_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Copy button") << false;
    QTest::newRow("Ctrl+C") << true;
}

void WindowsTest::copyPutsTheAddressOnTheClipboard()
{
    QFETCH(bool, byKey);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    if (byKey)
        QTest::keyClick(m_frmIP.get(), Qt::Key_C, Qt::ControlModifier);
    else
        QTest::mouseClick(m_frmIP->cmdCopy(), Qt::LeftButton);
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(kAddress));
}

void WindowsTest::trayMenuItems_data()
{
    // The items chosen in order, then what the registry and the windows show.
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("floatText");
    QTest::addColumn<QString>("visText");
    QTest::addColumn<bool>("floatingShown");
    QTest::addColumn<bool>("mainShown");
    QTest::newRow("Floating > Yes")
        << QStringList{"mnuFloatingMenuYes"} << "YES" << QString() << true << true;
    QTest::newRow("Floating > Yes, No") << QStringList{"mnuFloatingMenuYes", "mnuFloatingMenuNo"}
                                        << "No" << QString() << false << true;
    QTest::newRow("Visible > No") << QStringList{"mnuRMBClickHide"} << QString() << "NO" << false
                                  << false;
    QTest::newRow("Visible > No, Yes")
        << QStringList{"mnuRMBClickHide", "mnuRMBClickShow"} << QString() << "YES" << false << true;
}

void WindowsTest::trayMenuItems()
{
    QFETCH(QStringList, items);
    QFETCH(QString, floatText);
    QFETCH(QString, visText);
    QFETCH(bool, floatingShown);
    QFETCH(bool, mainShown);
    TrayIcon &tray = m_frmIP->tray();
    const std::map<QString, QAction *> actions{{"mnuFloatingMenuYes", tray.mnuFloatingMenuYes},
                                               {"mnuFloatingMenuNo", tray.mnuFloatingMenuNo},
                                               {"mnuRMBClickHide", tray.mnuRMBClickHide},
                                               {"mnuRMBClickShow", tray.mnuRMBClickShow}};
    for (const QString &item : items)
        QVERIFY2(chooseFromTrayMenu(tray, actions.at(item)), qPrintable(item));
    if (!floatText.isNull())
        QVERIFY(waitForText(*m_scratch, "Float", floatText));
    if (!visText.isNull())
        QVERIFY(waitForText(*m_scratch, "Vis", visText));
    QTRY_COMPARE(m_frmIP->floating().isVisible(), floatingShown);
    QTRY_COMPARE(m_frmIP->isVisible(), mainShown);

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QVERIFY(chooseFromTrayMenu(tray, tray.mnuRMBClickCopy));
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(kAddress));
}

void WindowsTest::quitAnsweredNoKeepsThePosition()
{
    QTest::mouseClick(m_frmIP->cmdShow(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([this] { return m_frmIP->floating().isVisible(); }));
    m_frmIP->floating().get().move(90, 135);
    QVERIFY(QTest::qWaitFor([this] { return m_frmIP->floating().get().pos() == QPoint(90, 135); }));

    CloseQuestion::setNextAnswer(CloseQuestion::Answer::Quit);
    QVERIFY(chooseFromTrayMenu(m_frmIP->tray(), m_frmIP->tray().mnuQuit));
    QVERIFY(QTest::qWaitFor([this] { return m_frmIP->hasEnded(); }));
    QCOMPARE(registryText(*m_scratch, "Float"), QString("YES"));
    QCOMPARE(registryText(*m_scratch, "X"), QString("1350"));
    QCOMPARE(registryText(*m_scratch, "Y"), QString("2025"));
}

void WindowsTest::networkChangesAreListenedTo()
{
    if (underWine()) {
        // Without a listener the minute's tick is what refreshes the address.
        QVERIFY(!m_frmIP->addressChanges().isListening());
        QVERIFY(m_frmIP->refresh().tmrUpdate().isActive());
        QSKIP("Wine's NotifyUnicastIpAddressChange and NotifyRouteChange2 return success with a "
              "null handle and never call back: there is no change notification to test");
    }
    QVERIFY(m_frmIP->addressChanges().isListening());
    QVERIFY(m_frmIP->refresh().tmrUpdate().isActive());
}

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
