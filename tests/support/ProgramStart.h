#pragma once

#include "app/FrmIP.h"
#include "support/ScratchSettings.h"

#include <memory>

/// Starts the main window the way the start-up procedure does, on scratch
/// settings and a stand-in address source.
inline std::unique_ptr<FrmIP> startProgram(const ScratchSettings &scratch, AddressSource &source)
{
    auto frmIP = std::make_unique<FrmIP>(scratch.settings(), source);
    if (!frmIP->staysHiddenAtStart())
        frmIP->show();
    return frmIP;
}
