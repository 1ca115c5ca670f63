#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

class QSocketNotifier;

/// Tells when the machine's IPv4 addresses or routes have changed, so the
/// address can be shown again at once instead of at the next minute's tick.
///
/// Linux: an rtnetlink socket subscribed to the IPv4 address, route and link
/// groups, watched on the GUI thread. Windows: the IP Helper API's address
/// and route change callbacks, handed over to the GUI thread. Elsewhere, and
/// wherever the listener cannot be set up, it stays silent.
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
    ~AddressChangeWatcher() override;

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

    struct Platform;
    std::unique_ptr<Platform> m_platform;
    QTimer m_window;
    QElapsedTimer m_sinceReport;
    bool m_newsInWindow = false; ///< news arrived during the current window
    bool m_pending = false;      ///< news not reported yet
};
