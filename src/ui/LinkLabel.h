#pragma once

#include <QString>
#include <QWidget>

/// A line of text that reads as a link: a pointing hand over it, and a left
/// click (press and release on it) reported as clicked(). Tab reaches it,
/// and then Enter or Space opens it as a click does; screen readers see a
/// link that can be pressed.
///
/// It paints its text itself, as a plain label does, with no text document
/// behind it: nothing of the rich text machinery is loaded for it.
class LinkLabel : public QWidget
{
    Q_OBJECT

public:
    LinkLabel(const QString &text, QWidget *parent);

    QString text() const { return m_text; }
    void setAlignment(Qt::Alignment alignment);
    Qt::Alignment alignment() const { return m_alignment; }

    QSize sizeHint() const override;

    /// Opens the link as a click does.
    void click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_pressed = false;
};
