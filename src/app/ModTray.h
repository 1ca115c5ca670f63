#pragma once

/// The start-up procedure.
namespace modTray {

/// Creates the main window (which loads it), shows it unless it is to stay
/// hidden, and runs the program until it shuts down. The program takes no
/// options: --help and --version (-h, -v) are answered on standard output
/// without starting anything; every other argument is handed to Qt.
int Main(int argc, char *argv[]);

} // namespace modTray
