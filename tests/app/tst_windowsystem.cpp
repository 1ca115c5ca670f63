#include "app/WindowSystem.h"

#include <QTest>

using WindowSystem::Session;

class WindowSystemTest : public QObject
{
    Q_OBJECT

private slots:
    void platform_data();
    void platform();
    void sessionFromEnvironmentAndArguments();
};

void WindowSystemTest::platform_data()
{
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<bool>("x11");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QByteArray>("platform");
    // XWayland where the build is for X11; elsewhere the one window system.
    QTest::newRow("Wayland with XWayland")
        << true << true << false << QByteArray(KESTRUNE_XWAYLAND_PLATFORM);
    QTest::newRow("Wayland with XWayland, user's choice") << true << true << true << QByteArray();
    QTest::newRow("Wayland without XWayland") << true << false << false << QByteArray();
    QTest::newRow("X11") << false << true << false << QByteArray();
    QTest::newRow("nothing") << false << false << false << QByteArray();
}

void WindowSystemTest::platform()
{
    QFETCH(bool, wayland);
    QFETCH(bool, x11);
    QFETCH(bool, chosen);
    QFETCH(QByteArray, platform);
    QCOMPARE(WindowSystem::platformFor(Session{wayland, x11, chosen}), platform);
}

void WindowSystemTest::sessionFromEnvironmentAndArguments()
{
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    qputenv("DISPLAY", ":5");
    qunsetenv("QT_QPA_PLATFORM");
    Session session = WindowSystem::current({});
    QVERIFY(session.waylandDisplay && session.x11Display && !session.platformChosen);
    QVERIFY(WindowSystem::current({"-platform", "wayland"}).platformChosen);

    qputenv("QT_QPA_PLATFORM", "wayland");
    QVERIFY(WindowSystem::current({}).platformChosen);

    qputenv("QT_QPA_PLATFORM", "");
    qputenv("WAYLAND_DISPLAY", "");
    session = WindowSystem::current({});
    QVERIFY(!session.waylandDisplay && !session.platformChosen);
}

QTEST_GUILESS_MAIN(WindowSystemTest)
#include "tst_windowsystem.moc"
