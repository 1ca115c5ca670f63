#pragma once

#include <QObject>

class QSocketNotifier;

/// SIGTERM, SIGINT and SIGHUP as an ordinary Qt signal on the GUI thread, so
/// that the program ends its usual way (tray icon removed, position stored)
/// when the session or a person asks it to. The handler itself only writes
/// one byte into a socket pair; everything else happens in the event loop.
/// Signals ignored when the program started stay ignored. One instance at a
/// time; the default handling comes back when it goes.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    /// Takes the file descriptors the handling needs, before anything else
    /// can take the last ones (a low RLIMIT_NOFILE would otherwise leave a
    /// signal to end the program without its shut-down).
    static void reserve();

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
    unsigned m_handled = 0; ///< a bit for each signal handled here
};
