#pragma once

#include "app/FrmIP.h"

#include <QObject>

class AppSettings;
class FloatIpMenu;
class TrayIcon;

/// Everything a user can start: the buttons, the items of both popup menus,
/// the Ctrl+C shortcut and the web address. Each handler does at most a few
/// window operations and one settings write, in that order. Handlers that
/// behave alike share one routine; the other names forward to it.
class Commands : public QObject
{
    Q_OBJECT

public:
    Commands(FrmIP &frmIP, FloatingWindow &floating, TrayIcon &tray, FloatIpMenu &floatIpMenu,
             const AppSettings &settings);

    /// Copies the address exactly as the main window shows it.
    void cmdCopy_Click();
    void mnuRMBClickCopy_Click() { cmdCopy_Click(); }
    void mnuFloatIpCopy_Click() { cmdCopy_Click(); }

    /// A key went down while the main window was active: Ctrl+C, with Ctrl
    /// alone, copies. The key goes on to its normal processing either way.
    void Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);

    void cmdHide_Click();
    void mnuRMBClickHide_Click() { cmdHide_Click(); }
    void mnuRMBClickShow_Click();

    void cmdShow_Click();
    void mnuFloatingMenuYes_Click() { ShowFloatingIP(); }
    void mnuFloatingMenuNo_Click();
    void mnuFloatIpHide_Click() { mnuFloatingMenuNo_Click(); }

    void mnuQuit_Click();
    void lblWebAdd_Click();

private:
    void ShowFloatingIP();
    void connectControls(TrayIcon &tray, FloatIpMenu &floatIpMenu);

    FrmIP &m_frmIP;
    FloatingWindow &m_floating;
    const AppSettings &m_settings;
};
