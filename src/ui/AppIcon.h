#pragma once

#include <QIcon>

/// The application icon: two desktop computers joined by a network cable.
/// The main window, the tray and the launcher all show this one icon.
namespace AppIcon {

QIcon icon();

} // namespace AppIcon
