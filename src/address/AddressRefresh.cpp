#include "address/AddressRefresh.h"

#include "address/AddressSource.h"

#include <utility>

AddressRefresh::AddressRefresh(AddressSource &wskIP, LabelWriter writeTxtIP,
                               LabelWriter writeLblCurrentIP, QObject *parent)
    : QObject(parent)
    , m_wskIP(wskIP)
    , m_writeTxtIP(std::move(writeTxtIP))
    , m_writeLblCurrentIP(std::move(writeLblCurrentIP))
{
    m_tmrUpdate.setInterval(kIntervalMs);
    m_tmrUpdate.setTimerType(Qt::PreciseTimer);
    connect(&m_tmrUpdate, &QTimer::timeout, this, &AddressRefresh::tmrUpdate_Timer);
    m_tmrUpdate.start();
}

void AddressRefresh::showInitial()
{
    writeBothLabels();
}

void AddressRefresh::tmrUpdate_Timer()
{
    m_wskIP.close();
    writeBothLabels();
}

void AddressRefresh::writeBothLabels()
{
    // Two separate reads: each label shows what its own read returned.
    if (const auto address = m_wskIP.localIP())
        m_writeTxtIP(*address);
    if (const auto address = m_wskIP.localIP())
        m_writeLblCurrentIP(*address);
}
