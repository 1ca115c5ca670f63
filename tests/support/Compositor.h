#pragma once

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

/// A Wayland compositor of the test's own, drawing on nothing (headless),
/// with a runtime folder of its own and nothing else: no panel, no
/// notification area, and XWayland only where asked for.
class Compositor
{
public:
    enum class Kind
    {
        Weston,         ///< weston's desktop shell: no xdg-activation
        WestonXWayland, ///< weston with XWayland, for X11 programs on it
        Sway,           ///< sway: xdg-activation and a virtual keyboard
        SwayXWayland,   ///< sway with XWayland, for X11 programs on it
        KWin,           ///< kwin_wayland, Plasma's, with XWayland
        GnomeShell,     ///< GNOME Shell, with XWayland
    };

    /// Keeps its runtime folder under @p scratch.
    Compositor(Kind kind, const QString &scratch);
    ~Compositor();

    /// Runs it in @p environment rather than the test's: a desktop's buses
    /// and folders. The shells run without one on a session bus of their
    /// own, which stands in for the system bus too.
    void setEnvironment(const QProcessEnvironment &environment);
    /// Starts it and waits until it takes clients.
    bool start();
    /// What it printed, for a failure's message.
    QString output();
    /// The environment a program runs on it with, natively.
    QHash<QString, QString> clientEnvironment() const;
    /// XWayland's display, once started, and the file that admits its
    /// clients (none for most). The XWayland kinds only.
    QString xDisplay() const { return m_xDisplay; }
    QString xAuthority() const { return m_xAuthority; }
    /// Gives the seat a keyboard, which it has none of at first. Sway only.
    bool addKeyboard();
    /// Types @p keys (wtype's key names) as a keyboard would, into the
    /// window that has the focus (once it has: a client is told with
    /// wl_keyboard.enter). After addKeyboard().
    bool type(const QStringList &keys) const;
    /// Gives the seat a pointer, which it has none of at first. Sway only.
    bool addPointer();
    /// Moves the pointer to @p at, in the outputs' layout. After addPointer().
    bool movePointer(QPoint at);
    /// Presses or releases @p button (evdev's code). After addPointer().
    bool setButton(int button, bool down);
    /// What the outputs show in @p area. Sway only.
    QImage screenshot(const QRect &area) const;
    /// The text on the clipboard, as another program reads it. Sway only.
    QString clipboard() const;
    /// The titles of the windows it shows, XWayland's too. Sway only.
    QStringList windowTitles() const;
    /// Where it shows the window titled @p title, or a null rectangle. Sway only.
    QRect windowGeometry(const QString &title) const;
    /// Has sway do @p command, as swaymsg does; true when it did.
    bool command(const QString &command) const;
    /// The environment of a Wayland tool run on it (wl-paste, a bar).
    QProcessEnvironment toolEnvironment() const;

private:
    Kind m_kind;
    QString m_scratch;
    QString m_runtime;
    QString m_socket;
    QString m_xDisplay;
    QString m_xAuthority;
    QString m_log;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_bus;
    QProcess m_process;
    QProcess m_keyboard;
    QProcess m_pointer;
    QSize m_layout;
};
