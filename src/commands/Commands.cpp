#include "commands/Commands.h"

#include "app/LinkLabel.h"
#include "floating/FloatIpMenu.h"
#include "settings/AppSettings.h"
#include "tray/TrayIcon.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

Commands::Commands(FrmIP &frmIP, FloatingWindow &floating, TrayIcon &tray, FloatIpMenu &floatIpMenu,
                   const AppSettings &settings)
    : m_frmIP(frmIP)
    , m_floating(floating)
    , m_settings(settings)
{
    connectControls(tray, floatIpMenu);
}

void Commands::connectControls(TrayIcon &tray, FloatIpMenu &floatIpMenu)
{
    connect(m_frmIP.cmdCopy, &QPushButton::clicked, this, &Commands::cmdCopy_Click);
    connect(m_frmIP.cmdHide, &QPushButton::clicked, this, &Commands::cmdHide_Click);
    connect(m_frmIP.cmdShow, &QPushButton::clicked, this, &Commands::cmdShow_Click);
    connect(m_frmIP.lblWebAdd, &LinkLabel::clicked, this, &Commands::lblWebAdd_Click);

    connect(tray.mnuRMBClickCopy, &QAction::triggered, this, &Commands::mnuRMBClickCopy_Click);
    connect(tray.mnuRMBClickShow, &QAction::triggered, this, &Commands::mnuRMBClickShow_Click);
    connect(tray.mnuRMBClickHide, &QAction::triggered, this, &Commands::mnuRMBClickHide_Click);
    connect(tray.mnuFloatingMenuYes, &QAction::triggered, this,
            &Commands::mnuFloatingMenuYes_Click);
    connect(tray.mnuFloatingMenuNo, &QAction::triggered, this, &Commands::mnuFloatingMenuNo_Click);
    connect(tray.mnuQuit, &QAction::triggered, this, &Commands::mnuQuit_Click);

    connect(floatIpMenu.mnuFloatIpCopy, &QAction::triggered, this, &Commands::mnuFloatIpCopy_Click);
    connect(floatIpMenu.mnuFloatIpHide, &QAction::triggered, this, &Commands::mnuFloatIpHide_Click);
}

void Commands::cmdCopy_Click()
{
    // The CLIPBOARD selection; Qt keeps serving it for as long as we run.
    QGuiApplication::clipboard()->setText(m_frmIP.txtIP->text(), QClipboard::Clipboard);
}

void Commands::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_C && (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier)
        cmdCopy_Click();
}

void Commands::cmdHide_Click()
{
    m_frmIP.setVisible(false);
    m_settings.saveMainWindowHidden();
}

void Commands::mnuRMBClickShow_Click()
{
    m_frmIP.setVisible(true);
    m_settings.saveMainWindowShown();
    // Back to the normal state: after minimising hid it, it is still
    // minimised.
    m_frmIP.setWindowState(m_frmIP.windowState() & ~Qt::WindowMinimized);
    m_frmIP.raise();
    m_frmIP.activateWindow();
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
        m_frmIP.cmdShow->setText(QStringLiteral("Floating Off"));
    } else {
        m_floating.unload();
        m_settings.saveFloatingOff(AppSettings::FloatingOff::ByButton);
        m_frmIP.cmdShow->setText(QStringLiteral("Floating On"));
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
    m_frmIP.Form_Unload();
}

void Commands::lblWebAdd_Click()
{
    // Handed to the desktop's URL handler; nothing waits for it.
    QDesktopServices::openUrl(QUrl(FrmIP::webUrl()));
}
