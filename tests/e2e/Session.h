#pragma once

#include <QDir>
#include <QHash>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <qwindowdefs.h>

/// One run of the real program, `IP`, as a separate process on the test's
/// X display, with a settings folder of its own, seen and driven only
/// through the window system: what is mapped where, the tray icon, the
/// pointer, the keyboard, the clipboard and the settings file.
class Session
{
public:
    /// @p configHome becomes the program's XDG_CONFIG_HOME.
    explicit Session(QString configHome);
    ~Session();

    /// Runs the program on another X display than the test's own.
    void setDisplay(const QString &display) { m_display = display; }
    /// Command-line arguments for the next start.
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    /// Environment for the next start: @p value for @p name, or no such
    /// variable when @p value is null.
    void setEnvironment(const QString &name, const QString &value) { m_environment[name] = value; }
    void setEnvironment(const QHash<QString, QString> &variables)
    {
        m_environment.insert(variables);
    }
    /// At most @p count open files for the next start (RLIMIT_NOFILE).
    void setFileLimit(int count) { m_fileLimit = count; }

    /// Starts the program with @p ignored signals ignored, as nohup does.
    bool start(const QList<int> &ignored = {});
    /// Sends @p signalNumber to the program.
    bool signal(int signalNumber);
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    /// Waits for the process to end, however it ends.
    bool waitForExit();
    /// Waits for the process to end by itself.
    bool waitForEnd();
    bool isRunning() const;
    qint64 pid() const { return m_process.processId(); }
    QString output();

    // What is on screen.
    WId mainWindow() const;     ///< mapped and viewable, or 0
    WId floatingWindow() const; ///< mapped and viewable, or 0
    WId questionWindow() const; ///< the close question, or 0
    /// The tray icon's own window while it is docked, or 0.
    WId trayIcon() const;
    QRect frameless(WId window) const;
    int visibleWindowCount() const;

    // Acting on it.
    /// Clicks a control of the main window at its centre, given by its
    /// place in the fixed layout (twips, relative to the client area).
    bool clickMainWindow(int left, int top, int width, int height);
    /// Opens the tray menu with a right press and walks it with the keys.
    bool trayMenu(const QStringList &keys);
    /// Opens the floating window's popup and walks it with the keys.
    bool floatingPopup(const QStringList &keys);

    // The settings file.
    QString setting(const QString &key) const;
    QString settingsFile() const;

private:
    bool openPopup(std::function<QPoint()> spot, const QStringList &keys);

    QString m_configHome;
    QString m_display;
    QStringList m_arguments;
    QHash<QString, QString> m_environment;
    int m_fileLimit = 0;
    QProcess m_process;
    QString m_output;
    int m_pressSpot = 0;
};
