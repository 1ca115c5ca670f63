#pragma once

#include <QStringList>

/// The font families the layouts call "System": the platform's own
/// user-interface font, best first. The first installed one is used.
namespace SystemFont {

QStringList families();

} // namespace SystemFont
