#include "ui/Twips.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace Twips {
namespace {

std::optional<double> parseNumber(const QString &text, QLocale locale)
{
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

QString textFromPixels(int pixels)
{
    return QString::number(static_cast<qint64>(pixels) * kPerPixel);
}

std::optional<int> pixelsFromText(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    std::optional<double> twips = parseNumber(trimmed, QLocale::c());
    if (!twips && locale.decimalPoint() != QLatin1String("."))
        twips = parseNumber(trimmed, locale);
    // Digits beyond what a double holds are a number all the same.
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    if (!twips && digits.match(trimmed).hasMatch())
        twips = trimmed.startsWith(u'-') ? -HUGE_VAL : HUGE_VAL;
    if (!twips || std::isnan(*twips))
        return std::nullopt;
    // Infinity written as a word is no place.
    if (std::isinf(*twips) && !trimmed.back().isDigit())
        return std::nullopt;

    // A number beyond where any window can stand is still a place: the
    // farthest one. Clamped in floating point, before anything turns into an
    // integer.
    const double pixels = std::round(*twips / kPerPixel);
    return static_cast<int>(std::clamp(pixels, double(-kMaxPixels), double(kMaxPixels)));
}

} // namespace Twips
