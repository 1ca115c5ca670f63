#include "app/SingleInstance.h"

#include "app/InstanceChannel.h"
#include "app/WindowSystem.h"

namespace {

/// Requests this close after one that showed the window add nothing to it.
constexpr int kBurstMs = 500;

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    m_burst.setSingleShot(true);
    m_burst.setInterval(kBurstMs);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (!WindowSystem::showsOnTheDesktop())
        return true;
    m_channel = new InstanceChannel(this);
    connect(m_channel, &InstanceChannel::showRequested, this,
            [this](const QByteArray &activationToken) {
                if (m_burst.isActive())
                    return;
                m_burst.start();
                emit showRequested(activationToken);
            });
    connect(m_channel, &InstanceChannel::takenOver, this, &SingleInstance::replaced);
    // Without a channel this copy runs all the same, as the only one it
    // knows of, and says why it cannot be sure.
    const InstanceChannel::Claim claim = m_channel->claim();
    if (claim == InstanceChannel::Claim::Alone)
        m_whyNotTheOnlyCopy = m_channel->whyAlone();
    return claim != InstanceChannel::Claim::HandedOver;
}
