#include "commands/Commands.h"

#include "commands/Clipboard.h"
#include "commands/MainWindow.h"
#include "floating/FloatIpMenu.h"
#include "settings/AppSettings.h"
#include "tray/TrayIcon.h"

#include <QAction>
#include <QDesktopServices>
#include <QUrl>

Commands::Commands(MainWindow &frmIP, FloatingWindow &floating, TrayIcon &tray,
                   FloatIpMenu &floatIpMenu, const AppSettings &settings)
    : m_frmIP(frmIP)
    , m_floating(floating)
    , m_settings(settings)
{
    connect(tray.mnuRMBClickCopy, &QAction::triggered, this, [this, &tray] {
        Clipboard::setText(m_frmIP.shownAddress(), tray.isMenuDrawnElsewhere()
                                                       ? Clipboard::AskedThrough::AnotherProgram
                                                       : Clipboard::AskedThrough::OwnWindow);
    });
    connect(tray.mnuRMBClickShow, &QAction::triggered, this, &Commands::mnuRMBClickShow_Click);
    connect(tray.mnuRMBClickHide, &QAction::triggered, this, &Commands::cmdHide_Click);
    connect(tray.mnuFloatingMenuYes, &QAction::triggered, this, &Commands::ShowFloatingIP);
    connect(tray.mnuFloatingMenuNo, &QAction::triggered, this, &Commands::mnuFloatingMenuNo_Click);
    connect(tray.mnuQuit, &QAction::triggered, this, &Commands::mnuQuit_Click);

    connect(floatIpMenu.mnuFloatIpCopy, &QAction::triggered, this, &Commands::cmdCopy_Click);
    connect(floatIpMenu.mnuFloatIpHide, &QAction::triggered, this,
            &Commands::mnuFloatingMenuNo_Click);
}

void Commands::cmdCopy_Click()
{
    Clipboard::setText(m_frmIP.shownAddress(), Clipboard::AskedThrough::OwnWindow);
}

void Commands::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_C && (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier)
        cmdCopy_Click();
}

void Commands::cmdHide_Click()
{
    m_frmIP.setWindowShown(false);
    m_settings.saveMainWindowHidden();
}

void Commands::mnuRMBClickShow_Click()
{
    m_frmIP.setWindowShown(true);
    m_settings.saveMainWindowShown();
    // Back to the normal state: after minimising hid it, it is still
    // minimised.
    m_frmIP.restoreWindow();
}

void Commands::ShowFloatingIP()
{
    m_floating.get().setVisible(true);
    m_settings.saveFloatingOn();
}

void Commands::cmdShow_Click()
{
    // Decided on what is on screen, never on the caption.
    if (!m_floating.isVisible()) {
        ShowFloatingIP();
        m_frmIP.setFloatingButtonCaption(QStringLiteral("Floating Off"));
    } else {
        m_floating.unload();
        m_settings.saveFloatingOff(AppSettings::FloatingOff::ByButton);
        m_frmIP.setFloatingButtonCaption(QStringLiteral("Floating On"));
    }
}

void Commands::mnuFloatingMenuNo_Click()
{
    m_floating.unload();
    m_settings.saveFloatingOff(AppSettings::FloatingOff::ByMenu);
}

void Commands::mnuQuit_Click()
{
    m_floating.unload();
    m_frmIP.requestClose();
}

void Commands::lblWebAdd_Click()
{
    // Handed to the desktop's URL handler; nothing waits for it.
    QDesktopServices::openUrl(QUrl(webUrl()));
}

QString Commands::webAddress()
{
    return QStringLiteral("kestrune.com");
}

QString Commands::webUrl()
{
    return QStringLiteral("https://") + webAddress() + u'/';
}
