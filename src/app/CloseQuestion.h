#pragma once

#include <QString>
#include <optional>

class QWidget;

/// The question every request to close the main window asks first:
/// whether to hide the program instead. Yes (the default, also what Enter
/// and Escape give) hides; No ends the program.
///
/// Tests answer it ahead of time with setNextAnswer(), so no dialog opens.
class CloseQuestion
{
public:
    enum class Answer
    {
        HideInstead, ///< Yes
        Quit,        ///< No
        /// Neither: the question was taken away unanswered, as when the
        /// program is ending while it is open.
        Unanswered,
    };

    static QString title();
    static QString prompt();

    /// Asks, modally, unless an answer was given ahead.
    static Answer ask(QWidget *parent);

    /// The answer the next ask() returns without showing anything.
    static void setNextAnswer(Answer answer);
    static void clearNextAnswer();
    /// How many times the question has been asked so far.
    static int timesAsked();

private:
    static std::optional<Answer> s_nextAnswer;
    static int s_timesAsked;
};
