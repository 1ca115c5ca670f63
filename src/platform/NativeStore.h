#pragma once

#include <QList>
#include <QString>
#include <utility>

/// The system's own per-user store of text values, where it has one: the
/// registry on Windows (`<location>\<application>\<section>`, string
/// values), the user's preferences on macOS. Elsewhere there is none, and
/// the program keeps an INI file of its own.
namespace NativeStore {

bool exists();

/// Where the user's values live: on Windows the registry key
/// `HKEY_CURRENT_USER\Software\VB and VBA Program Settings`.
QString userLocation();

/// The text under @p key; empty when there is none.
QString value(const QString &location, const QString &application, const QString &section,
              const QString &key);

/// Stores every key and text of @p keysAndTexts, then makes it durable;
/// true when all of it reached the store.
bool setValues(const QString &location, const QString &application, const QString &section,
               const QList<std::pair<QString, QString>> &keysAndTexts);

} // namespace NativeStore
