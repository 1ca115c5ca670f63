#pragma once

#include <QLabel>

/// A label that reads as a link: a pointing hand over it, and a left click
/// (press and release on it) reported as clicked(). Tab reaches it, and then
/// Enter or Space opens it as a click does; screen readers see a link that
/// can be pressed.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(const QString &text, QWidget *parent);

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
    bool m_pressed = false;
};
