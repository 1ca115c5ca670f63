#pragma once

/// The start-up procedure.
namespace modTray {

/// Creates the main window (which loads it), shows it unless it is to stay
/// hidden, and runs the program until it shuts down. Command-line arguments
/// are only handed to Qt.
int Main(int argc, char *argv[]);

} // namespace modTray
