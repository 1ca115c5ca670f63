// One running copy of the program, as far as its settings go: loads the main
// window on the given settings folder and runs its commands in a loop, then
// prints when its last write returned. Used by tst_concurrentwriters.
//
//   settings-writer <folder> <rounds> <last: hide|show>
#include "commands/Commands.h"
#include "settings/AppSettings.h"
#include "support/FakeAddressSource.h"
#include "support/ProgramStart.h"

#include <QApplication>
#include <cstdio>
#include <ctime>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const AppSettings settings{SettingsStore(QString::fromLocal8Bit(argv[1]))};
    const int rounds = QByteArray(argv[2]).toInt();
    const bool endHidden = QByteArray(argv[3]) == "hide";

    FakeAddressSource source;
    FrmIPTestSeam frmIP(settings, source);
    Commands &commands = frmIP.commands();
    for (int i = 0; i < rounds; ++i) {
        commands.cmdShow_Click();
        commands.cmdHide_Click();
        commands.mnuRMBClickShow_Click();
        commands.mnuFloatingMenuNo_Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (endHidden)
        commands.cmdHide_Click();
    else
        commands.mnuRMBClickShow_Click();
    // When the last write reached the file, on a clock all processes share.
    if (!settings.store().flushPendingSaves(std::chrono::seconds(10)))
        return 1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
    frmIP.floating().get().endHandlers();
    return 0;
}
