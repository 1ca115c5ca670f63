#pragma once

#include "commands/Commands.h"
#include "commands/MainWindow.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class AddressChangeWatcher;
class AddressRefresh;
class AddressSource;
class AppSettings;
class FloatIpMenu;
class LinkLabel;
class QLabel;
class QPushButton;
class TrayIcon;

/// The main window, "Kestrune's IP Tool": the address, three buttons and the
/// maker's web address, at a fixed size. It lives from start-up to the end of
/// the process and owns what the rest of the program works through: the
/// floating window, the tray icon, both popup menus, the address refresh and
/// the commands.
///
/// Constructing it is its load step. Minimising hides it (while there is a
/// notification area to come back from); a close request from the window
/// system asks whether to hide instead; the answer No, the application
/// quitting for any other reason, and destroying the window all end the
/// program the same way: the tray icon goes, the floating window's position
/// is stored, and ended() tells the start-up procedure to end the event loop.
///
/// Its controls carry their names as object names (`txtIP`, `cmdShow`, ...).
class FrmIP : public QWidget, private MainWindow
{
    Q_OBJECT

public:
    FrmIP(const AppSettings &settings, AddressSource &wskIP, QWidget *parent = nullptr);
    ~FrmIP() override;

    static QString caption();

    /// What the load step decided: `Vis` was "NO" and there is a
    /// notification area to reach the program through.
    bool staysHiddenAtStart() const { return m_staysHiddenAtStart; }

    /// A request to close the main window: asks whether to hide instead.
    void Form_Unload();
    /// The program is to end without asking: the same shut-down as the
    /// answer No.
    void Form_Terminate();

    /// The program was started again: the window shows, in its normal
    /// state, raised and active, as the tray's Visible > Yes shows it, with
    /// the activation token that start was given, if any.
    void showFromOutside(const QByteArray &activationToken);

    /// Hidden and shown again, the window keeps its place.
    void setVisible(bool visible) override;

    /// Whether the program has gone through its shut-down.
    bool hasEnded() const { return m_ended; }

signals:
    /// The shut-down has run: the process is to end now, and nothing of the
    /// program acts any more.
    void ended();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the commands do to this window.
    QString shownAddress() const override;
    void setWindowShown(bool shown) override;
    void restoreWindow() override;
    void setFloatingButtonCaption(const QString &caption) override;
    void requestClose() override;

    void layOutControls();
    void Form_Load();
    FrmFloatingIP *loadFloatingWindow(const AppSettings &settings);
    void Form_Resize();
    /// Shows the floating window that the start left for after the first paint.
    void showFloatingAfterStart();
    /// Shows the window anew for a window manager that started after it.
    void placeAfresh();
    void shutDown();

    // Tests reach the parts that are no widgets through this seam alone.
    friend class FrmIPTestSeam;

    QLabel *const txtIP;
    QPushButton *const cmdShow;
    QPushButton *const cmdHide;
    QPushButton *const cmdCopy;
    LinkLabel *const lblWebAdd;

    const AppSettings &m_settings;
    FloatingWindow m_floating;
    std::unique_ptr<TrayIcon> m_tray;
    FloatIpMenu *m_mnuFloatIp;
    std::unique_ptr<AddressRefresh> m_refresh;
    std::unique_ptr<AddressChangeWatcher> m_addressChanges;
    std::unique_ptr<Commands> m_commands;
    std::optional<QPoint> m_placeBeforeHiding;
    /// How far from where it asks to be the window manager puts the window.
    QPoint m_windowManagerShift;
    quint64 m_showings = 0;
    QPointer<QWidget> m_focusBeforeHiding;
    int m_titleBarHeight = 0;
    bool m_shownBefore = false;
    bool m_staysHiddenAtStart = false;
    bool m_loading = false;
    bool m_floatingAfterFirstPaint = false;
    bool m_ended = false;
};
