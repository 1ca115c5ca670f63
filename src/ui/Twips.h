#pragma once

#include <QLocale>
#include <QString>
#include <optional>

/// Window positions and sizes are kept in twips, 1/1440 inch: 15 twips make one
/// logical pixel at 96 dots per inch. Stored coordinates and the fixed window
/// layouts both use them.
namespace Twips {

inline constexpr int kPerPixel = 15;
inline constexpr int kStandardDpi = 96;

/// The largest distance from the origin a window can be placed at (X11 keeps
/// window coordinates in 16 bits; Windows clips to the same range in practice).
inline constexpr int kMaxPixels = 32767;

/// A layout's twips in the pixels of a window at @p dpi logical dots per
/// inch. Where Qt scales for the screen itself that is 96; where it does not
/// (QT_ENABLE_HIGHDPI_SCALING=0 with a larger font DPI), the layout grows with
/// the font, as its twips say it should.
constexpr int toPixels(int twips, int dpi = kStandardDpi)
{
    return twips * dpi / 1440;
}

/// The text stored for a coordinate: whole twips, minus sign when negative.
QString textFromPixels(int pixels);

/// Reads stored coordinate text back into logical pixels. Accepts what
/// textFromPixels() writes and decimal text using '.' or the locale's decimal
/// separator, with blanks around it; a value beyond kMaxPixels reads as
/// kMaxPixels (or its negative). Anything else (empty, letters, nan, inf,
/// group separators) has no value.
std::optional<int> pixelsFromText(const QString &text, const QLocale &locale = QLocale::system());

} // namespace Twips
