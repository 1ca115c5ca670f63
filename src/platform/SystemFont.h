#pragma once

#include <QString>

/// The font family the layouts call "System": the platform's own
/// user-interface font.
namespace SystemFont {

QString family();

} // namespace SystemFont
