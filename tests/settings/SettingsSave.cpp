// One save into the settings from a process of its own, timed: for cases
// that need another environment, another mount namespace, or a save that
// might never return.
//
//   settings-save <folder, or - for the user's own> <section> <key> <text> [<key> <text>...]
//
// Prints "saved" or "refused" and the milliseconds the save took; exits 0
// when saved, 1 when refused.
#include "settings/AppSettings.h"
#include "settings/SettingsStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 5 || argc % 2 == 0)
        return 2;
    const QByteArray folder(argv[1]);
    const SettingsStore store =
        folder == "-" ? SettingsStore() : SettingsStore(QFile::decodeName(folder));
    QList<std::pair<QString, QString>> keysAndTexts;
    for (int i = 3; i + 1 < argc; i += 2)
        keysAndTexts.append({QString::fromUtf8(argv[i]), QString::fromUtf8(argv[i + 1])});

    QElapsedTimer timer;
    timer.start();
    const bool saved =
        store.SaveSettings(AppSettings::kApplication, QString::fromUtf8(argv[2]), keysAndTexts);
    std::printf("%s %lld\n", saved ? "saved" : "refused", static_cast<long long>(timer.elapsed()));
    return saved ? 0 : 1;
}
