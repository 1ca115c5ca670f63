#include "settings/SettingsStore.h"

#include <vector>
#include <windows.h>

// String values (REG_SZ) straight through the registry API.
namespace {

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

/// The root key the location starts with, and the path below it.
std::pair<HKEY, QString> split(const QString &location, const QString &application,
                               const QString &section)
{
    static const std::pair<const char *, HKEY> roots[] = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    };
    const QString path = location + u'\\' + application + u'\\' + section;
    for (const auto &[name, root] : roots) {
        const QString prefix = QLatin1String(name) + u'\\';
        if (path.startsWith(prefix, Qt::CaseInsensitive))
            return {root, path.mid(prefix.size())};
    }
    return {HKEY_CURRENT_USER, path};
}

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings"))
{}

SettingsStore::SettingsStore(const QString &location)
    : m_location(location)
{}

QString SettingsStore::GetSetting(const QString &application, const QString &section,
                                  const QString &key) const
{
    const auto [root, path] = split(m_location, application, section);
    DWORD bytes = 0;
    if (RegGetValueW(root, wide(path), wide(key), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS)
        return {};
    // The value may grow between the two calls: then ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
        DWORD size = DWORD(text.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(root, wide(path), wide(key), RRF_RT_REG_SZ, nullptr, text.data(), &size);
        if (status == ERROR_SUCCESS)
            // As the UTF-16 it is: QString::fromWCharArray() would drop a
            // leading byte order mark.
            return QString(reinterpret_cast<const QChar *>(text.data()),
                           qsizetype(wcsnlen(text.data(), text.size())));
        if (status != ERROR_MORE_DATA)
            return {};
        bytes = size;
    }
    return {};
}

bool SettingsStore::SaveSettings(const QString &application, const QString &section,
                                 const QList<std::pair<QString, QString>> &keysAndTexts) const
{
    const auto [root, path] = split(m_location, application, section);
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    bool stored = true;
    for (const auto &[key, text] : keysAndTexts) {
        const DWORD bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
        stored =
            RegSetValueExW(handle, wide(key), 0, REG_SZ,
                           reinterpret_cast<const BYTE *>(text.utf16()), bytes) == ERROR_SUCCESS &&
            stored;
    }
    stored = RegFlushKey(handle) == ERROR_SUCCESS && stored;
    RegCloseKey(handle);
    return stored;
}

// Nothing is ever left waiting: a write either reaches the registry or fails.

QString SettingsStore::filePath(const QString &) const
{
    return {};
}

void SettingsStore::onTrouble(std::function<void(const Trouble &)>) const
{}

SettingsStore::Trouble SettingsStore::trouble() const
{
    return {};
}

void SettingsStore::abandonPendingSaves() const
{}

bool SettingsStore::hasPendingSaves() const
{
    return false;
}

bool SettingsStore::flushPendingSaves(std::chrono::milliseconds) const
{
    return true;
}
