#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

/// The window layouts name fonts by family, size and style. Where a family is
/// not installed the nearest one of the same style and size stands in.
namespace FormFonts {

/// A named family, e.g. "Tahoma" or "Arial".
QFont named(const QString &family, qreal pointSize, bool bold, bool italic = false,
            bool underline = false);
/// The first installed of @p families.
QFont named(const QStringList &families, qreal pointSize, bool bold, bool italic = false,
            bool underline = false);

/// The family called "System": the platform's own user-interface font.
QFont system(qreal pointSize, bool bold);

} // namespace FormFonts
