#pragma once

#include <optional>

class QKeyEvent;

/// What the program needs of the keyboard beyond what Qt offers.
namespace Keyboard {

/// The Latin letter (Qt::Key_A to Qt::Key_Z) that the key of @p event
/// carries in the keyboard's Latin layout, when the layout in use is another
/// one (Cyrillic, Greek, Hebrew) and that key has a letter there; otherwise
/// no value. Shortcuts written with Latin letters work in every layout so.
///
/// Qt 6.4's xcb keyboard (QXkbCommon::possibleKeys() and keysymToQtKey())
/// already does this where another layout with Latin letters is configured:
/// with Control held it takes that layout's keysym for the key
/// (lookupLatinKeysym()), so under "ru,us" with Russian in use Ctrl and the
/// key of C arrive as Ctrl+C, and a QShortcut for Ctrl+C fires. It looks
/// only in the other layouts, so under Russian alone the same keys arrive as
/// Ctrl+С (Qt::Key_Cyrillic_ES) and match no Latin shortcut; Qt only notes
/// "no keyboard layouts with latin keys present" in its debug output. Both
/// measured under Xvfb with setxkbmap on Debian 12. Windows names letter
/// keys by their Latin letter in every layout (the virtual-key code).
std::optional<int> latinLetter(const QKeyEvent *event);

} // namespace Keyboard
