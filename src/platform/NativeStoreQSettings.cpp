#include "platform/NativeStore.h"

#include <QSettings>
#include <memory>

// macOS (and any system whose native store Qt knows): Qt's native settings
// are the system's store. A location that is a registry path is used as one;
// macOS keeps one store per application, wherever asked. Windows uses
// NativeStoreWindows.cpp, which keeps every text exactly.
namespace NativeStore {
namespace {

std::unique_ptr<QSettings> open(const QString &location, const QString &application)
{
    if (location.startsWith(QLatin1String("HKEY_")))
        return std::make_unique<QSettings>(location + u'\\' + application, QSettings::NativeFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, application,
                                       application);
}

} // namespace

bool exists()
{
    return true;
}

QString userLocation()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings");
}

QString value(const QString &location, const QString &application, const QString &section,
              const QString &key)
{
    return open(location, application)->value(section + u'/' + key).toString();
}

bool setValues(const QString &location, const QString &application, const QString &section,
               const QList<std::pair<QString, QString>> &keysAndTexts)
{
    const std::unique_ptr<QSettings> settings = open(location, application);
    for (const auto &[key, text] : keysAndTexts)
        settings->setValue(section + u'/' + key, text);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

} // namespace NativeStore
