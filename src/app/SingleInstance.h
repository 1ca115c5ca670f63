#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class InstanceChannel;

/// One copy of the program per desktop session. The first copy listens on
/// the session's channel; a copy started after it asks it to show its main
/// window and ends. A copy killed without a chance to clean up, or one that
/// is stopped or hung, holds no later start for more than a second or two.
/// Only a copy whose windows can be seen listens: one started without a
/// window system (-platform offscreen) neither listens nor hands over.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    /// Hands over to a copy already running, or becomes the one that runs.
    /// True when this copy is to run; false when it has handed over.
    bool claim();
    /// After claim(): why this copy cannot know whether it is the only one
    /// in the session; empty when it can.
    QString whyNotTheOnlyCopy() const { return m_whyNotTheOnlyCopy; }

signals:
    /// Another copy was started in this session. A burst of starts shows
    /// the window once, with the activation token of that start (see
    /// InstanceChannel::showRequested).
    void showRequested(const QByteArray &activationToken);
    /// A copy started while this one did not answer runs in its place now:
    /// this one is to end.
    void replaced();

private:
    InstanceChannel *m_channel = nullptr;
    QTimer m_burst;
    QString m_whyNotTheOnlyCopy;
};
