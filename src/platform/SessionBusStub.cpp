#include "platform/SessionBus.h"

#include <QObject>

namespace SessionBus {

void startConnecting()
{}

bool isConnected()
{
    return false;
}

void whenSettled(QObject *context, std::function<void()> settled)
{
    if (context)
        settled();
}

std::optional<bool> earlyWatcherAnswer()
{
    return std::nullopt;
}

void prepareAccessibility(std::chrono::milliseconds)
{}

} // namespace SessionBus
