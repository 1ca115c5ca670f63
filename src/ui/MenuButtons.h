#pragma once

class QMenu;

/// How the program's popup menus take a choice.
namespace MenuButtons {

/// Lets only the left button choose an item of @p menu: a right (or middle)
/// button released over an item, also after a press that opened the menu
/// and slid onto it, chooses nothing and leaves the menu open. The keyboard
/// chooses as before.
void chooseWithLeftButtonOnly(QMenu *menu);

} // namespace MenuButtons
