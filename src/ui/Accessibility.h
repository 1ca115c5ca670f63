#pragma once

/// What assistive technology (a screen reader, through AT-SPI or UI
/// Automation) is told about this program's widgets, beyond Qt's defaults:
/// - a top-level window made from a plain QWidget is a window (a frame)
///   named by its caption or accessible name, not an unnamed filler;
/// - decoration (a FrameShape) is not part of it;
/// - a LinkLabel is a link that can be pressed.
namespace Accessibility {

/// Installs the interfaces above; call once, after the application object
/// exists and before the first window is shown.
void install();

} // namespace Accessibility
