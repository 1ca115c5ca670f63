#include "platform/PosixFiles.h"

// The settings are not kept in a file here: every operation fails.

namespace PosixFiles {

QByteArray configHome()
{
    return {};
}

bool makeFolders(const QByteArray &)
{
    return false;
}

std::optional<QByteArray> readRegularFile(const QByteArray &, qint64)
{
    return std::nullopt;
}

bool isWritableByOwner(const QByteArray &)
{
    return false;
}

std::optional<QByteArray> linkTarget(const QByteArray &)
{
    return std::nullopt;
}

bool replaceFile(const QByteArray &, const QByteArray &)
{
    return false;
}

ExclusiveLock::ExclusiveLock(const QByteArray &path, std::chrono::milliseconds)
    : m_path(path)
{}

ExclusiveLock::~ExclusiveLock() = default;

} // namespace PosixFiles
