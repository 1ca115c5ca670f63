#pragma once

#include <QWidget>

/// A one-pixel rectangle in the window-text colour with a see-through
/// interior. It takes no mouse input: presses fall through to what lies
/// beneath it.
class FrameShape : public QWidget
{
    Q_OBJECT

public:
    explicit FrameShape(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};
