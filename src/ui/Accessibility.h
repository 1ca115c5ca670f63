#pragma once

#include <QList>

struct QMetaObject;

/// What assistive technology (a screen reader, through AT-SPI or UI
/// Automation) is told about this program's widgets, beyond Qt's defaults:
/// - a window made from a plain QWidget, of one of the classes given, is a
///   window (a frame) named by its caption or accessible name, not an
///   unnamed filler;
/// - decoration (a FrameShape) is not part of it;
/// - a LinkLabel is a link that can be pressed.
namespace Accessibility {

/// Installs the interfaces above for windows of @p windowClasses; call
/// once, after the application object exists and before the first window is
/// created.
void install(const QList<const QMetaObject *> &windowClasses);

} // namespace Accessibility
