#pragma once

#include <QLocale>
#include <QString>
#include <optional>

/// Window positions and sizes are kept in twips, 1/1440 inch: 15 twips make one
/// logical pixel. Stored coordinates and the fixed window layouts both use them.
namespace Twips {

inline constexpr int kPerPixel = 15;

/// The largest distance from the origin a window can be placed at (X11 keeps
/// window coordinates in 16 bits; Windows clips to the same range in practice).
inline constexpr int kMaxPixels = 32767;

constexpr int toPixels(int twips)
{
    return twips / kPerPixel;
}

/// The text stored for a coordinate: whole twips, minus sign when negative.
QString textFromPixels(int pixels);

/// Reads stored coordinate text back into logical pixels. Accepts what
/// textFromPixels() writes and decimal text using '.' or the locale's decimal
/// separator, with blanks around it. Anything else (empty, letters, nan, inf,
/// group separators) or a value beyond kMaxPixels has no value.
std::optional<int> pixelsFromText(const QString &text, const QLocale &locale = QLocale::system());

} // namespace Twips
