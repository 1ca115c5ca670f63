#pragma once

#include <QMenu>

/// The floating window's popup: "Copy" and "Hide". The main window hosts it
/// and the commands act on its items.
class FloatIpMenu : public QMenu
{
    Q_OBJECT

public:
    explicit FloatIpMenu(QWidget *parent);

    QAction *const mnuFloatIpCopy;
    QAction *const mnuFloatIpHide;
};
