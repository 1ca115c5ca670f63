#pragma once

#include <QObject>

class QLocalServer;

/// One copy of the program per desktop session. The first copy listens on
/// the session's channel; a copy started after it asks it to show its main
/// window and ends. A copy killed without a chance to clean up leaves
/// nothing that blocks the next start, and copies started at the same
/// moment end as one: they take turns under a lock file.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    /// Hands over to a copy already running, or becomes the one that runs.
    /// True when this copy is to run; false when it has handed over.
    bool claim();

signals:
    /// Another copy was started in this session.
    void showRequested();

private:
    void serve();

    QLocalServer *m_server = nullptr;
};
