#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

/// Tells when a notification area may have appeared or gone on an X11
/// desktop. A new tray host announces itself with a client message to the
/// root window (the MANAGER message of the system-tray selection); one that
/// ends destroys the window Qt watches. Every client message and destroyed
/// window is reported, and the receiver checks whether a tray is there now.
/// Other platforms report nothing.
class TrayHostWatcher : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit TrayHostWatcher(QObject *parent = nullptr);
    ~TrayHostWatcher() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void mayHaveChanged();
};
