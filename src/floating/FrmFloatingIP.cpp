#include "floating/FrmFloatingIP.h"

#include "platform/NativeWindow.h"
#include "ui/FormFonts.h"
#include "ui/FrameShape.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <utility>

FrmFloatingIP::FrmFloatingIP(PlaceStore place)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_place(std::move(place))
    , lblCurrentIP(new QLabel(QStringLiteral("255.255.255.255"), this))
    , shpBorder(new FrameShape(this))
{
    setWindowTitle(QStringLiteral("Form2"));
    setAttribute(Qt::WA_QuitOnClose, false);
    // A Tool window would otherwise vanish whenever another program is active.
    setAttribute(Qt::WA_MacAlwaysShowToolWindow);
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
    // The stored place exactly, also partly off screen, as long as it can be
    // reached: otherwise (a monitor since unplugged, say) somewhere it can.
    // The store keeps its text until the window is moved; the stay-on-top
    // layer comes with the window's flags.
    const QPoint stored = m_place.read();
    m_placedAt = reachablePosition(stored, size());
    m_keepStoredText = m_placedAt != stored;
    move(m_placedAt);
}

QPoint FrmFloatingIP::reachablePosition(QPoint stored, QSize size)
{
    // Reachable: the whole height on one screen, and at least half the
    // width, so there is always enough of it to grab.
    const int minimumWidth = (size.width() + 1) / 2;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const QRect area(stored, size);
    const QScreen *nearest = nullptr;
    qint64 nearestOverlap = 0;
    for (const QScreen *screen : screens) {
        const QRect geometry = screen->geometry();
        const QRect overlap = geometry.intersected(area);
        if (overlap.height() == size.height() && overlap.width() >= minimumWidth)
            return stored;
        const qint64 overlapArea = qint64(overlap.width()) * overlap.height();
        if (overlapArea > nearestOverlap) {
            nearest = screen;
            nearestOverlap = overlapArea;
        }
    }
    if (!nearest) {
        // On no screen at all: the first-run place.
        const QScreen *primary = QGuiApplication::primaryScreen();
        return primary ? primary->geometry().topLeft() : QPoint(0, 0);
    }
    // Partly on a screen: pulled in just far enough.
    const QRect geometry = nearest->geometry();
    return {std::clamp(stored.x(), geometry.left() - (size.width() - minimumWidth),
                       geometry.right() + 1 - minimumWidth),
            std::clamp(stored.y(), geometry.top(), geometry.bottom() + 1 - size.height())};
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
    const QPoint at = screenPosition();
    // Still where the load put it instead of a place it could not show at:
    // the stored text stays for when that place is back.
    if (m_keepStoredText && at == m_placedAt)
        return;
    m_place.write(at);
}

QPoint FrmFloatingIP::screenPosition() const
{
    return NativeWindow::screenPosition(this).value_or(pos());
}

void FrmFloatingIP::setVisible(bool visible)
{
    if (visible && !isVisible())
        NativeWindow::keepOffTaskbars(this);
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
