#include "floating/FrmFloatingIP.h"

#include "app/FormFonts.h"
#include "floating/FrameShape.h"
#include "settings/AppSettings.h"
#include "settings/Twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define KESTRUNE_HAVE_XCB 1
#endif

FrmFloatingIP::FrmFloatingIP(const AppSettings &settings)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_settings(settings)
    , lblCurrentIP(new QLabel(QStringLiteral("255.255.255.255"), this))
    , shpBorder(new FrameShape(this))
{
    setWindowTitle(QStringLiteral("Form2"));
    setAttribute(Qt::WA_QuitOnClose, false);
    // A Tool window would otherwise vanish whenever another program is active.
    setAttribute(Qt::WA_MacAlwaysShowToolWindow);
    setFixedSize(Twips::toPixels(kWidthTwips), Twips::toPixels(kHeightTwips));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setAccessibleName(tr("Floating IP address"));

    lblCurrentIP->setObjectName(QStringLiteral("lblCurrentIP"));
    lblCurrentIP->setGeometry(Twips::toPixels(120), Twips::toPixels(45), Twips::toPixels(2055),
                              Twips::toPixels(255));
    lblCurrentIP->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lblCurrentIP->setFont(FormFonts::system(9.75, true));
    lblCurrentIP->setBackgroundRole(QPalette::Button);
    lblCurrentIP->setForegroundRole(QPalette::ButtonText);
    lblCurrentIP->setAutoFillBackground(true);
    lblCurrentIP->setAccessibleDescription(tr("The local IP address of this computer"));

    shpBorder->setObjectName(QStringLiteral("shpBorder"));
    shpBorder->setGeometry(rect());

    Form_Load();
}

FrmFloatingIP::~FrmFloatingIP()
{
    // Destroyed without being closed first: keep the position all the same.
    if (!m_unloaded && !m_handlersEnded)
        storePosition();
}

void FrmFloatingIP::Form_Load()
{
    // The stored place exactly, also partly off screen. A place on no screen
    // at all (a monitor since unplugged, say) would leave a window nobody can
    // reach: it starts at the first-run place instead, and the store keeps
    // its text until the window next stores where it stands. The stay-on-top
    // layer comes with the window's flags.
    move(reachablePosition(m_settings.floatingPosition(), size()));
}

QPoint FrmFloatingIP::reachablePosition(QPoint stored, QSize size)
{
    const QRect area(stored, size);
    const QList<QScreen *> screens = QGuiApplication::screens();
    const bool onAScreen =
        std::any_of(screens.cbegin(), screens.cend(),
                    [&](const QScreen *screen) { return screen->geometry().intersects(area); });
    if (onAScreen)
        return stored;
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry().topLeft() : QPoint(0, 0);
}

void FrmFloatingIP::setCurrentIP(const QString &text)
{
    lblCurrentIP->setText(text);
}

QString FrmFloatingIP::currentIP() const
{
    return lblCurrentIP->text();
}

void FrmFloatingIP::endHandlers()
{
    m_handlersEnded = true;
}

void FrmFloatingIP::storePosition()
{
    m_settings.saveFloatingPosition(screenPosition());
}

QPoint FrmFloatingIP::screenPosition() const
{
#if defined(KESTRUNE_HAVE_XCB)
    // Qt's own idea of where a top-level X11 window stands can be stale
    // after the window manager has taken the window into its frame (the
    // window shows at the right place while pos() reports the frame's
    // corner). Ask the X server where the window really is.
    const auto *x11 = QGuiApplication::platformName() == QLatin1String("xcb")
                          ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (connection && testAttribute(Qt::WA_WState_Created) && isVisible()) {
        const auto window = xcb_window_t(winId());
        // Only once it is on screen: while it is being mapped it may still
        // sit in a frame that has not been put in place yet.
        auto attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, window), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (!viewable)
            return pos();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        auto cookie = xcb_translate_coordinates(connection, window, root, 0, 0);
        if (auto *reply = xcb_translate_coordinates_reply(connection, cookie, nullptr)) {
            const qreal ratio = devicePixelRatioF();
            const QPoint at(qRound(reply->dst_x / ratio), qRound(reply->dst_y / ratio));
            std::free(reply);
            return at;
        }
    }
#endif
    return pos();
}

void FrmFloatingIP::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        emit popupRequested(event->globalPosition().toPoint());
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_dragStarted = false;
        m_followingPointer = false;
        m_grabOffset = event->globalPosition().toPoint() - screenPosition();
    }
}

void FrmFloatingIP::mouseMoveEvent(QMouseEvent *event)
{
    // Only the left button, held alone, drags.
    if (event->buttons() != Qt::LeftButton) {
        m_followingPointer = false;
        return;
    }
    if (!m_dragStarted) {
        m_dragStarted = true;
        // Qt tells the window manager where the pointer is from where it
        // believes the window stands; put that right first where it is off,
        // or the window would jump by the difference.
        const QPoint actual = screenPosition();
        if (actual != pos())
            move(actual);
        // The window manager's own move loop where it has one: from here on
        // the window follows the pointer until the button is released.
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        m_followingPointer = true;
    }
    if (m_followingPointer)
        move(event->globalPosition().toPoint() - m_grabOffset);
}

void FrmFloatingIP::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragStarted = false;
        m_followingPointer = false;
    }
}

void FrmFloatingIP::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_unloaded)
        return;
    if (!m_handlersEnded)
        storePosition();
    m_unloaded = true;
    emit unloaded();
}
