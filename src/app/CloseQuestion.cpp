#include "app/CloseQuestion.h"

#include "platform/NativeWindow.h"
#include "ui/AppIcon.h"

#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

std::optional<CloseQuestion::Answer> CloseQuestion::s_nextAnswer;
int CloseQuestion::s_timesAsked = 0;

QString CloseQuestion::title()
{
    return QStringLiteral("Are you sure?");
}

QString CloseQuestion::prompt()
{
    return QStringLiteral("Are you sure, Do you just want to hide me instead?");
}

namespace {

/// Once the window manager has framed @p window, moves it down when its title
/// bar is above the screen: some (IceWM) place a dialog by its client area.
void keepTitleBarOnScreen(QWidget *window)
{
    constexpr int kLookEveryMs = 20;
    constexpr int kLooks = 100;
    auto *looking = new QTimer(window);
    looking->start(kLookEveryMs);
    QObject::connect(looking, &QTimer::timeout, window, [window, looking, looks = 0]() mutable {
        QWindow *handle = window->windowHandle();
        const bool framed = handle && !handle->frameMargins().isNull();
        if (!framed && ++looks < kLooks)
            return;
        looking->deleteLater();
        if (!framed || !handle->screen())
            return;
        // Where the window system has it: Qt's own idea may be where it
        // asked for it to be.
        const QMargins margins = handle->frameMargins();
        const QPoint client =
            NativeWindow::screenPosition(window).value_or(handle->geometry().topLeft());
        const int top = handle->screen()->availableGeometry().top();
        if (client.y() - margins.top() < top)
            handle->setFramePosition(QPoint(client.x() - margins.left(), top));
    });
}

} // namespace

CloseQuestion::Answer CloseQuestion::ask(QWidget *parent)
{
    ++s_timesAsked;
    if (s_nextAnswer)
        return *std::exchange(s_nextAnswer, std::nullopt);

    QMessageBox box(QMessageBox::NoIcon, title(), prompt(), QMessageBox::Yes | QMessageBox::No,
                    parent && parent->isVisible() ? parent : nullptr);
    box.setObjectName(QStringLiteral("closeQuestion"));
    // Without a parent shown (asked from the tray while the main window is
    // hidden) the box would have no icon of its own, and desktops draw a
    // placeholder for it.
    box.setWindowIcon(AppIcon::icon());
    box.setDefaultButton(QMessageBox::Yes);
    // There is no Cancel: dismissing the box must not end the program, so
    // Escape and the box's own close button answer like Yes.
    box.setEscapeButton(box.button(QMessageBox::Yes));
    keepTitleBarOnScreen(&box);
    box.exec();
    if (box.clickedButton() == box.button(QMessageBox::No))
        return Answer::Quit;
    if (box.clickedButton() == box.button(QMessageBox::Yes))
        return Answer::HideInstead;
    return Answer::Unanswered;
}

void CloseQuestion::setNextAnswer(Answer answer)
{
    s_nextAnswer = answer;
}

void CloseQuestion::clearNextAnswer()
{
    s_nextAnswer.reset();
}

int CloseQuestion::timesAsked()
{
    return s_timesAsked;
}
