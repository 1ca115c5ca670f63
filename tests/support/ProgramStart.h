#pragma once

#include "address/AddressChangeWatcher.h"
#include "address/AddressRefresh.h"
#include "app/FrmIP.h"
#include "floating/FloatIpMenu.h"
#include "support/FakeAddressSource.h"
#include "support/ScratchSettings.h"
#include "tray/TrayIcon.h"
#include "ui/LinkLabel.h"

#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <utility>

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
    // The floating window comes once the main window has been drawn.
    if (scratch.settings().floatingOnAtStart() &&
        !QTest::qWaitFor([&frmIP] { return frmIP->floating().isVisible(); }))
        qWarning("The floating window did not come after the main window");
    return frmIP;
}

/// One run of the program for a test: settings of its own holding
/// @p stored, a stand-in address source answering @p address, and the main
/// window started as the start-up procedure starts it. Tests take its parts
/// apart: `auto &[scratch, source, frmIP] = run;`.
struct TestRun
{
    using Stored = QList<std::pair<AppSettings::Key, QString>>;

    explicit TestRun(const Stored &stored = {}, const QString &address = QStringLiteral("10.1.2.3"))
        : source(address)
    {
        for (const auto &[key, text] : stored)
            scratch.set(key, text);
        frmIP = startProgram(scratch, source);
    }

    ScratchSettings scratch;
    FakeAddressSource source;
    std::unique_ptr<FrmIPTestSeam> frmIP;
};
