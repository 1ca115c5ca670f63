#include "ui/Twips.h"

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
    if (!twips || !std::isfinite(*twips))
        return std::nullopt;

    // Range check in floating point, before anything turns into an integer.
    const double pixels = std::round(*twips / kPerPixel);
    if (std::fabs(pixels) > kMaxPixels)
        return std::nullopt;
    return static_cast<int>(pixels);
}

} // namespace Twips
