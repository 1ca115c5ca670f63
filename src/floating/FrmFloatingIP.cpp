#include "floating/FrmFloatingIP.h"

#include "platform/NativeWindow.h"
#include "ui/FormFonts.h"
#include "ui/FrameShape.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIconEngine>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace {

/// An icon that is not null and has no image: a window given it shows none.
class NoImages : public QIconEngine
{
public:
    void paint(QPainter *, const QRect &, QIcon::Mode, QIcon::State) override {}
    QPixmap pixmap(const QSize &, QIcon::Mode, QIcon::State) override { return {}; }
    QPixmap scaledPixmap(const QSize &, QIcon::Mode, QIcon::State, qreal) override { return {}; }
    QIconEngine *clone() const override { return new NoImages; }
};

} // namespace

FrmFloatingIP::FrmFloatingIP(PlaceStore place)
    : QWidget(nullptr, NativeWindow::typeWithoutTaskbarButton() | Qt::FramelessWindowHint |
                           Qt::WindowStaysOnTopHint)
    , m_place(std::move(place))
    , lblCurrentIP(new QLabel(QStringLiteral("255.255.255.255"), this))
    , shpBorder(new FrameShape(this))
    , m_settled(new QTimer(this))
{
    constexpr int kRestMs = 500;
    m_settled->setSingleShot(true);
    m_settled->setInterval(kRestMs);
    connect(m_settled, &QTimer::timeout, this, [this] {
        if (!m_unloaded && !m_handlersEnded)
            storePosition();
    });
    setWindowTitle(QStringLiteral("Form2"));
    // No icon, not even the application's, which a window without one of
    // its own is given.
    setWindowIcon(QIcon(new NoImages));
    setAttribute(Qt::WA_QuitOnClose, false);
    const int dpi = logicalDpiX();
    setFixedSize(Twips::toPixels(kWidthTwips, dpi), Twips::toPixels(kHeightTwips, dpi));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setAccessibleName(tr("Floating IP address"));

    lblCurrentIP->setObjectName(QStringLiteral("lblCurrentIP"));
    lblCurrentIP->setGeometry(Twips::toPixels(120, dpi), Twips::toPixels(45, dpi),
                              Twips::toPixels(2055, dpi), Twips::toPixels(255, dpi));
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
    // The stored place exactly, also partly off screen, as long as the
    // pointer can take hold of it there: otherwise (a monitor since
    // unplugged, say) just far enough in that it can.
    // The store keeps its text until the window is moved; the stay-on-top
    // layer comes with the window's flags.
    const QPoint stored = m_place.read();
    const QPoint placed = reachablePosition(stored, size());
    m_keepStoredText = placed != stored;
    move(placed);
}

QPoint FrmFloatingIP::reachablePosition(QPoint stored, QSize size)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return stored;
    const QRect area(stored, size);
    for (const QScreen *screen : screens) {
        const QRect overlap = screen->geometry().intersected(area);
        if (overlap.width() >= kGrip.width() && overlap.height() >= kGrip.height())
            return stored;
    }
    // Nothing of it to take hold of: onto the nearest screen, just far
    // enough that a grip's worth of it is there.
    const auto distance = [&area](const QRect &screen) {
        const qint64 dx = std::max({0, screen.left() - area.right(), area.left() - screen.right()});
        const qint64 dy = std::max({0, screen.top() - area.bottom(), area.top() - screen.bottom()});
        return dx * dx + dy * dy;
    };
    const QScreen *nearest = *std::min_element(
        screens.cbegin(), screens.cend(), [&distance](const QScreen *a, const QScreen *b) {
            return distance(a->geometry()) < distance(b->geometry());
        });
    const QRect geometry = nearest->geometry();
    return {std::clamp(stored.x(), geometry.left() - (size.width() - kGrip.width()),
                       geometry.right() + 1 - kGrip.width()),
            std::clamp(stored.y(), geometry.top() - (size.height() - kGrip.height()),
                       geometry.bottom() + 1 - kGrip.height())};
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
    // Put elsewhere by the load than the place it could not show at, and not
    // moved by the user since (whatever the window manager did with it):
    // the stored text stays for when that place is back.
    if (m_keepStoredText && !m_movedByUser)
        return;
    // Where the window system keeps the place to itself, the one stored
    // (under X11, say) is kept for when it is told again.
    if (!NativeWindow::reportsPlaces())
        return;
    m_place.write(screenPosition());
}

QPoint FrmFloatingIP::screenPosition() const
{
    return NativeWindow::framePosition(this).value_or(pos());
}

void FrmFloatingIP::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // A window manager with no layer above ordinary windows (i3) would
        // also stretch the window to its least floating size and centre
        // it: the window goes without one there, above all it manages.
        const bool byItself = NativeWindow::hasNoStayOnTopLayer();
        if (byItself != windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
            setWindowFlag(Qt::X11BypassWindowManagerHint, byItself);
        NativeWindow::keepOffTaskbars(this);
    }
    QWidget::setVisible(visible);
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
        m_pressedAt = event->globalPosition().toPoint();
        m_grabOffset = m_pressedAt - screenPosition();
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
        m_movedByUser = true;
        // The window manager's own move loop where it has one: from here on
        // the window follows the pointer until the button is released.
        if (NativeWindow::startMove(this, m_pressedAt))
            return;
        m_followingPointer = true;
    }
    if (m_followingPointer)
        move(event->globalPosition().toPoint() - m_grabOffset);
}

void FrmFloatingIP::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        // Stored as soon as it is left somewhere, not only at the end: the
        // program may end without its shut-down (the X server gone, the
        // connection killed), and the place would be lost.
        if (std::exchange(m_dragStarted, false))
            storePosition();
        m_followingPointer = false;
    }
}

void FrmFloatingIP::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // Moved by the window manager's loop, which keeps the release to
    // itself: stored once it has come to rest.
    if (m_dragStarted && !m_followingPointer)
        m_settled->start();
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
