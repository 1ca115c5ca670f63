#pragma once

#include "address/NetworkChangeListener.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

/// Tells when the machine's IPv4 addresses or routes have changed, so the
/// address can be shown again at once instead of at the next minute's tick.
///
/// A single change is reported at once. What follows it is a burst: the
/// listener then looks for news only once per kBurstWindowMs, and reports
/// what it found once a whole window has passed without news, or every
/// kBurstRefreshMs while the burst goes on. So a flood of changes (thousands
/// of addresses added at once) costs a handful of wake-ups and refreshes a
/// second, and its end shows within two windows. The timer is armed only
/// while a burst lasts; nothing is at rest.
class AddressChangeWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBurstWindowMs = 80;
    static constexpr int kBurstRefreshMs = 1000;

    explicit AddressChangeWatcher(QObject *parent = nullptr);

    /// Whether the platform's notifications are being listened to.
    bool isListening() const;

signals:
    void changed();

private:
    /// News from the platform: something changed.
    void kernelReported();
    /// A burst window has passed.
    void windowPassed();
    void report();

    NetworkChangeListener m_listener;
    QTimer m_window;
    QElapsedTimer m_sinceReport;
    bool m_pending = false; ///< news not reported yet
};
