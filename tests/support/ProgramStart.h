#pragma once

#include "address/AddressChangeWatcher.h"
#include "address/AddressRefresh.h"
#include "app/FrmIP.h"
#include "floating/FloatIpMenu.h"
#include "support/ScratchSettings.h"
#include "tray/TrayIcon.h"
#include "ui/LinkLabel.h"

#include <QLabel>
#include <QPushButton>
#include <memory>

/// The main window as tests see it: its controls found by their object
/// names, and the parts that are no widgets through this seam.
class FrmIPTestSeam : public FrmIP
{
public:
    using FrmIP::FrmIP;

    QLabel *txtIP() const { return control<QLabel>("txtIP"); }
    QPushButton *cmdShow() const { return control<QPushButton>("cmdShow"); }
    QPushButton *cmdHide() const { return control<QPushButton>("cmdHide"); }
    QPushButton *cmdCopy() const { return control<QPushButton>("cmdCopy"); }
    LinkLabel *lblWebAdd() const { return control<LinkLabel>("lblWebAdd"); }

    FloatingWindow &floating() { return m_floating; }
    TrayIcon &tray() { return *m_tray; }
    FloatIpMenu &mnuFloatIp() { return *m_mnuFloatIp; }
    AddressRefresh &refresh() { return *m_refresh; }
    AddressChangeWatcher &addressChanges() { return *m_addressChanges; }
    Commands &commands() { return *m_commands; }

private:
    template<typename Control> Control *control(const char *name) const
    {
        return findChild<Control *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    }
};

/// Starts the main window the way the start-up procedure does, on scratch
/// settings and a stand-in address source.
inline std::unique_ptr<FrmIPTestSeam> startProgram(const ScratchSettings &scratch,
                                                   AddressSource &source)
{
    auto frmIP = std::make_unique<FrmIPTestSeam>(scratch.settings(), source);
    if (!frmIP->staysHiddenAtStart())
        frmIP->show();
    return frmIP;
}
