#pragma once

#include <QString>

/// Where the copies of the program in one desktop session find each other:
/// a local socket (a named pipe on Windows) that only this user's session
/// reaches, and a lock file that orders copies started at the same moment.
namespace SessionChannel {

/// The local server's name or path, as QLocalServer takes it.
QString serverName();
/// The lock file's path.
QString lockPath();

} // namespace SessionChannel
