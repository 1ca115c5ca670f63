#pragma once

#include <QElapsedTimer>
#include <QObject>
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
/// A single change is reported at once. A burst of them is reported at most
/// once per kBurstWindowMs: the first change at once, the rest together at
/// the end of the window (a one-off deferral while the burst lasts; nothing
/// is armed at rest).
class AddressChangeWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBurstWindowMs = 50;

    explicit AddressChangeWatcher(QObject *parent = nullptr);
    ~AddressChangeWatcher() override;

    /// Whether the platform's notifications are being listened to.
    bool isListening() const;

    /// How many times changed() has been emitted.
    int reports() const { return m_reports; }

signals:
    void changed();

private:
    void kernelReported();
    void report();

    struct Platform;
    std::unique_ptr<Platform> m_platform;
    QElapsedTimer m_sinceReport;
    bool m_deferred = false;
    int m_reports = 0;
};
