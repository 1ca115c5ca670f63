#include "platform/SessionChannel.h"

#include <QDir>
#include <QStandardPaths>
#include <unistd.h>

namespace SessionChannel {
namespace {

/// The user's runtime folder ($XDG_RUNTIME_DIR: private to the user, gone
/// at log-out); without one, a folder of the user's own under /tmp.
QString folder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    return QDir::tempPath() + QStringLiteral("/kestrune-%1").arg(::getuid());
}

} // namespace

QString serverName()
{
    return folder() + QStringLiteral("/com.kestrune.IP");
}

QString lockPath()
{
    return folder() + QStringLiteral("/com.kestrune.IP.lock");
}

} // namespace SessionChannel
