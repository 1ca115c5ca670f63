#pragma once

class QWidget;

namespace FixedSize {

/// Keeps @p window, whose least and greatest sizes are one, at that size:
/// a window manager that resizes it anyway (sway does so through XWayland,
/// at the user's command, and Qt then lays the window out at the size it
/// was given) is asked once for the window's own size back. One that
/// insists keeps its size: nothing fights it.
void keep(QWidget *window);

} // namespace FixedSize
