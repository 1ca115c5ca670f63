#pragma once

class QString;

/// The desktop's clipboard, as the program puts text on it.
namespace Clipboard {

/// Who asked for the text to be copied.
enum class AskedThrough
{
    OwnWindow,      ///< a window of the program's own, by key or pointer
    AnotherProgram, ///< a panel that draws the tray's menu itself
};

/// Puts @p text on the clipboard (X11's CLIPBOARD selection). On Wayland a
/// compositor takes a selection only with the serial of an input event it
/// gave the client, and not one older than the last selection (wlroots):
/// asked through another program, the program hands @p text to wl-copy
/// (wl-clipboard) instead, where it is installed, which sets it through the
/// compositor's data-control protocol.
void setText(const QString &text, AskedThrough askedThrough);

} // namespace Clipboard
