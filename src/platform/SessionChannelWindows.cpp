#include "platform/SessionChannel.h"

#include <QDir>
#include <windows.h>

namespace SessionChannel {
namespace {

/// One name for each user in each logon session.
QString sessionKey()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    wchar_t user[256] = {};
    DWORD length = DWORD(std::size(user));
    GetUserNameW(user, &length);
    return QStringLiteral("%1-%2").arg(QString::fromWCharArray(user)).arg(session);
}

} // namespace

QString serverName()
{
    return QStringLiteral("com.kestrune.IP-") + sessionKey();
}

QString lockPath()
{
    return QDir::tempPath() + QStringLiteral("/com.kestrune.IP-") + sessionKey() +
           QStringLiteral(".lock");
}

} // namespace SessionChannel
