#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <qwindowdefs.h>

/// A desktop panel the test starts, kills and ends itself (xfce4-panel,
/// tint2), in the test's environment: it reads its settings from the
/// XDG_CONFIG_HOME the session harness laid out and joins the test's
/// session bus.
class Panel
{
public:
    Panel(QString program, QStringList arguments);
    ~Panel() { stop(); }
    Panel(const Panel &) = delete;
    Panel &operator=(const Panel &) = delete;

    /// Starts it and waits until it has a window on screen.
    bool start();
    /// Ends it at once, as a crash would, and waits for it.
    bool kill();
    /// Asks it to end and waits for it.
    void stop();

    /// Its window on screen, or 0.
    WId window() const;
    QString output();

private:
    QString m_program;
    QStringList m_arguments;
    QProcess m_process;
    QString m_output;
};
