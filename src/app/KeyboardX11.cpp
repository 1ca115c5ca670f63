#include "app/Keyboard.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace Keyboard {

std::optional<int> latinLetter(const QKeyEvent *event)
{
    const int key = event->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return std::nullopt;
    const auto *x11 = QGuiApplication::platformName() == QLatin1String("xcb")
                          ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return std::nullopt;
    // The symbols of the key in every layout of the keyboard, as the X
    // server has them (one round trip, on this key's press only).
    const auto keycode = xcb_keycode_t(event->nativeScanCode());
    const std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, keycode, 1), nullptr),
        &std::free);
    if (!mapping)
        return std::nullopt;
    const xcb_keysym_t *symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int count = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int i = 0; i < count; ++i) {
        // Latin keysyms are the letters' own codes.
        if (symbols[i] >= 'a' && symbols[i] <= 'z')
            return Qt::Key_A + int(symbols[i] - 'a');
        if (symbols[i] >= 'A' && symbols[i] <= 'Z')
            return Qt::Key_A + int(symbols[i] - 'A');
    }
    // No Latin letter on the key in any layout: the letter on that key of a
    // US keyboard (evdev key codes).
    static constexpr xcb_keycode_t kUsLetters[] = {38, 56, 54, 40, 26, 41, 42, 43, 31,
                                                   44, 45, 46, 58, 57, 32, 33, 24, 27,
                                                   39, 28, 30, 55, 25, 53, 29, 52};
    for (int letter = 0; letter < 26; ++letter) {
        if (kUsLetters[letter] == keycode)
            return Qt::Key_A + letter;
    }
    return std::nullopt;
}

} // namespace Keyboard
