#include "app/CloseQuestion.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"
#include "support/TrayHost.h"
#include "support/XTools.h"
#include "tray/TrayIcon.h"

#include <QLabel>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

using Key = AppSettings::Key;

namespace {

/// A notification area of the test's own, on a connection of its own, that
/// takes the tray's selection with a window and tells of it as trays do; it
/// only notes the windows asked to be docked, docking none.
class SelectionOwner
{
public:
    SelectionOwner()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        m_selection = atom("_NET_SYSTEM_TRAY_S0");
        m_opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
        m_manager = atom("MANAGER");
    }
    ~SelectionOwner() { xcb_disconnect(m_connection); }

    /// Takes the selection with a new window (the last one stays); its id.
    xcb_window_t takeSelection()
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(m_connection, window, m_selection, XCB_CURRENT_TIME);
        xcb_client_message_event_t announce{};
        announce.response_type = XCB_CLIENT_MESSAGE;
        announce.format = 32;
        announce.window = screen->root;
        announce.type = m_manager;
        announce.data.data32[0] = XCB_CURRENT_TIME;
        announce.data.data32[1] = m_selection;
        announce.data.data32[2] = window;
        xcb_send_event(m_connection, false, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&announce));
        xcb_flush(m_connection);
        return window;
    }
    /// The last window that a dock request came to.
    xcb_window_t dockedInto()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const auto *message = reinterpret_cast<const xcb_client_message_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == m_opcode &&
                message->data.data32[1] == 0)
                m_dockedInto = message->window;
            std::free(event);
        }
        return m_dockedInto;
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, false, uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t found = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return found;
    }

    xcb_connection_t *m_connection;
    xcb_atom_t m_selection = XCB_NONE;
    xcb_atom_t m_opcode = XCB_NONE;
    xcb_atom_t m_manager = XCB_NONE;
    xcb_window_t m_dockedInto = XCB_NONE;
};

} // namespace

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
    void iconDocksWithTheSelectionsNewOwner();
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

void NoTrayTest::iconDocksWithTheSelectionsNewOwner()
{
    TestRun run;
    auto &[scratch, source, frmIP] = run;
    QVERIFY(QTest::qWaitForWindowExposed(frmIP.get()));
    // A tray hands its selection on to a new window and lives on, as a
    // panel that starts announces its tray more than once.
    auto tray = std::make_unique<SelectionOwner>();
    const xcb_window_t first = tray->takeSelection();
    QTRY_COMPARE_WITH_TIMEOUT(tray->dockedInto(), first, 10000);
    const xcb_window_t second = tray->takeSelection();
    QTRY_COMPARE_WITH_TIMEOUT(tray->dockedInto(), second, 10000);
    // Gone, and seen to be, before a host is started next.
    tray.reset();
    QTRY_VERIFY(!TrayHost::isAvailable());
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
