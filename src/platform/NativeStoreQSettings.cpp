#include "platform/NativeStore.h"

#include <QSettings>
#include <memory>

// Windows and macOS: Qt's native settings are the system's store. The
// location is a registry path on Windows; macOS keeps one store per
// application, wherever asked.
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
