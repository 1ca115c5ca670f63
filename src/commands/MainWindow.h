#pragma once

#include <QString>

/// What the commands need of the main window, and no more.
class MainWindow
{
public:
    virtual ~MainWindow() = default;

    /// The address exactly as the main window shows it.
    virtual QString shownAddress() const = 0;
    virtual void setWindowShown(bool shown) = 0;
    /// Back from minimised, raised and active.
    virtual void restoreWindow() = 0;
    /// The caption of the button that turns the floating window on and off.
    virtual void setFloatingButtonCaption(const QString &caption) = 0;
    /// A request to close: asks whether to hide instead.
    virtual void requestClose() = 0;

protected:
    MainWindow() = default;
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;
};
