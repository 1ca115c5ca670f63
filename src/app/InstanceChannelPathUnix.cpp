#include "app/InstanceChannelPath.h"
#include "app/WindowSystem.h"

#include <QCryptographicHash>
#include <QFile>
#include <QGuiApplication>
#include <cerrno>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

/// A folder that only this user can enter: owned by the user, no access for
/// anyone else, no symbolic link. Made so when @p create and it is missing.
bool isPrivateFolder(const QByteArray &path, bool create)
{
    if (create) {
        if (::mkdir(path.constData(), 0700) == 0) {
            // Whatever the umask left of 0700.
            if (::chmod(path.constData(), 0700) != 0)
                return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    struct stat status = {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
}

/// $XDG_RUNTIME_DIR when it is the user's own and closed to others.
QByteArray runtimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.startsWith('/') && isPrivateFolder(runtime, false) ? runtime : QByteArray();
}

/// A folder of the user's own under the temporary folder, made when
/// missing; empty when someone else made it, or opened it to others.
QByteArray temporaryFolder(QString *whyNot)
{
    QByteArray temporary = qgetenv("TMPDIR");
    if (!temporary.startsWith('/'))
        temporary = "/tmp";
    while (temporary.size() > 1 && temporary.endsWith('/'))
        temporary.chop(1);
    const QByteArray own = temporary + "/kestrune-" + QByteArray::number(::getuid());
    if (isPrivateFolder(own, true))
        return own;
    *whyNot = QStringLiteral("%1 is not a folder of this user's alone").arg(QFile::decodeName(own));
    return {};
}

/// The login session: logind's id, else the kernel's audit session.
QByteArray loginSession()
{
    QByteArray id = qgetenv("XDG_SESSION_ID");
    if (id.isEmpty()) {
        QFile audit(QStringLiteral("/proc/self/sessionid"));
        if (audit.open(QIODevice::ReadOnly))
            id = audit.readAll().trimmed();
        if (id == "4294967295") // no audit session
            id.clear();
    }
    return id;
}

/// The display the windows are on, as one name for all its spellings
/// (":0", "unix:0.0").
QByteArray displayName()
{
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
        return wayland.isEmpty() ? QByteArray("wayland-0") : wayland;
    }
    QByteArray display = WindowSystem::displayShownOn();
    if (display.startsWith("unix:"))
        display = display.mid(4);
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon + 1);
    if (colon >= 0 && dot > colon)
        display.truncate(dot);
    return display;
}

QByteArray channelName()
{
    QByteArray key = loginSession() + '-' + displayName();
    for (char &c : key) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == ':';
        if (!plain)
            c = '_';
    }
    return "com.kestrune.IP." + key;
}

} // namespace

QByteArray InstanceChannelPath::choose(QString *whyNot)
{
    // In the runtime folder, else in a folder of the user's own under the
    // temporary folder; under the session's name, or a shorter one of the
    // same session where that is too long for a socket's name (108 bytes,
    // the folder's path included).
    const QByteArray hashed =
        "com.kestrune.IP." +
        QCryptographicHash::hash(channelName(), QCryptographicHash::Sha1).toHex();
    // As long as the longest name it is bound under first, whatever the pid:
    // every copy must come to the same name.
    const QByteArray suffix = ".new-" + QByteArray(10, '0');
    const auto fits = [&suffix](const QByteArray &path) {
        return path.size() + suffix.size() < qsizetype(sizeof(sockaddr_un::sun_path));
    };
    const QByteArray runtime = runtimeFolder();
    for (const bool inRuntime : {true, false}) {
        if (inRuntime && runtime.isEmpty())
            continue;
        const QByteArray tried = inRuntime ? runtime : temporaryFolder(whyNot);
        if (tried.isEmpty())
            continue;
        for (const QByteArray &name : {channelName(), hashed}) {
            if (fits(tried + '/' + name)) {
                whyNot->clear();
                return tried + '/' + name;
            }
        }
        *whyNot = QStringLiteral("the path of %1 is too long for a socket's name")
                      .arg(QFile::decodeName(tried));
    }
    return {};
}
