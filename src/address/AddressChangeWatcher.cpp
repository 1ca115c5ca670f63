#include "address/AddressChangeWatcher.h"

AddressChangeWatcher::AddressChangeWatcher(QObject *parent)
    : QObject(parent)
{
    m_window.setSingleShot(true);
    m_window.setInterval(kBurstWindowMs);
    connect(&m_window, &QTimer::timeout, this, &AddressChangeWatcher::windowPassed);
    connect(&m_listener, &NetworkChangeListener::changed, this,
            &AddressChangeWatcher::kernelReported);
}

bool AddressChangeWatcher::isListening() const
{
    return m_listener.isListening();
}

void AddressChangeWatcher::kernelReported()
{
    report();
    // Quiet for the rest of the burst: the news is looked at once a window.
    m_listener.pause();
    m_window.start();
}

void AddressChangeWatcher::windowPassed()
{
    if (m_listener.takeNews()) {
        // The burst goes on.
        m_pending = true;
        if (m_sinceReport.elapsed() >= kBurstRefreshMs)
            report();
        m_window.start();
        return;
    }
    if (m_pending)
        report();
    m_listener.resume();
}

void AddressChangeWatcher::report()
{
    m_sinceReport.start();
    m_pending = false;
    emit changed();
}
