#include "app/InstanceChannel.h"

#include <algorithm>

std::optional<QByteArray> InstanceChannel::tokenOfRequest(const QByteArray &line)
{
    if (line == kShow)
        return QByteArray();
    static constexpr char kWithToken[] = "show ";
    if (!line.startsWith(kWithToken) || !line.endsWith('\n'))
        return std::nullopt;
    const QByteArray token = line.mid(sizeof kWithToken - 1).chopped(1);
    if (token.isEmpty() ||
        !std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c <= '~'; }))
        return std::nullopt;
    return token;
}
