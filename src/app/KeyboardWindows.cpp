#include "app/Keyboard.h"

#include <QKeyEvent>

namespace Keyboard {

std::optional<int> latinLetter(const QKeyEvent *event)
{
    // Windows names letter keys by their Latin letter in every layout.
    const quint32 virtualKey = event->nativeVirtualKey();
    if (virtualKey >= 'A' && virtualKey <= 'Z' && event->key() != int(virtualKey))
        return Qt::Key_A + int(virtualKey - 'A');
    return std::nullopt;
}

} // namespace Keyboard
