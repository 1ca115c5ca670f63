#include "ui/LinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextLayout>
#include <cmath>

LinkLabel::LinkLabel(const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_text(text)
{
    setCursor(Qt::PointingHandCursor);
    // Read out as what it shows, as a label's text is.
    setAccessibleName(text);
    // A click opens the link without taking the focus from the buttons; the
    // keyboard reaches it with Tab.
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QSize LinkLabel::sizeHint() const
{
    return fontMetrics().size(0, m_text);
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}

void LinkLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            event->accept();
            if (!event->isAutoRepeat())
                emit clicked();
            return;
        }
        break;
    default:
        break;
    }
    // Everything else (Ctrl+C among it) goes on to the window.
    QWidget::keyPressEvent(event);
}

void LinkLabel::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void LinkLabel::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

void LinkLabel::paintEvent(QPaintEvent *)
{
    // One line, laid out and placed as a label places its text: centred in
    // height on whole pixels, aligned across in the line.
    const QRect area = contentsRect();
    QTextLayout layout(m_text, font());
    QTextOption option(QStyle::visualAlignment(layoutDirection(), m_alignment));
    option.setWrapMode(QTextOption::ManualWrap);
    option.setTextDirection(m_text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(area.width());
    layout.endLayout();
    qreal top = area.top();
    if (m_alignment & Qt::AlignVCenter)
        top += qMax((area.height() - line.height()) / 2, qreal(0));
    else if (m_alignment & Qt::AlignBottom)
        top += qMax(area.height() - line.height(), qreal(0));

    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    layout.draw(&painter, QPointF(area.left(), std::floor(top)));
    if (!hasFocus())
        return;
    // The focus shows as the style draws it, round the text.
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.backgroundColor = palette().color(QPalette::Window);
    const QRect text = fontMetrics().boundingRect(area, int(m_alignment), m_text);
    focus.rect = text.adjusted(-2, -1, 2, 1).intersected(rect());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}
