#include "app/CloseQuestion.h"

#include <QMessageBox>
#include <QPushButton>

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

CloseQuestion::Answer CloseQuestion::ask(QWidget *parent)
{
    ++s_timesAsked;
    if (s_nextAnswer)
        return *std::exchange(s_nextAnswer, std::nullopt);

    QMessageBox box(QMessageBox::NoIcon, title(), prompt(), QMessageBox::Yes | QMessageBox::No,
                    parent && parent->isVisible() ? parent : nullptr);
    box.setObjectName(QStringLiteral("closeQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    // There is no Cancel: dismissing the box must not end the program, so
    // Escape and the box's own close button answer like Yes.
    box.setEscapeButton(box.button(QMessageBox::Yes));
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
