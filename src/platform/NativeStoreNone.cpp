#include "platform/NativeStore.h"

// No store of the system's here: the program keeps an INI file.
namespace NativeStore {

bool exists()
{
    return false;
}

QString userLocation()
{
    return {};
}

QString value(const QString &, const QString &, const QString &, const QString &)
{
    return {};
}

bool setValues(const QString &, const QString &, const QString &,
               const QList<std::pair<QString, QString>> &)
{
    return false;
}

} // namespace NativeStore
