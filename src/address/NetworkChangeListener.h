#pragma once

#include <QObject>
#include <memory>

/// The kernel's news of changed IPv4 addresses, routes and links, as they
/// happen, on the GUI thread. While paused it reports nothing and keeps
/// what arrives; takeNews() then tells whether anything did.
///
/// Linux: an rtnetlink socket subscribed to the IPv4 address, route and link
/// groups. Windows: the IP Helper API's address and route change callbacks.
/// Elsewhere, and wherever the listener cannot be set up, it stays silent.
class NetworkChangeListener : public QObject
{
    Q_OBJECT

public:
    explicit NetworkChangeListener(QObject *parent = nullptr);
    ~NetworkChangeListener() override;

    /// Whether the platform's news is being listened to at all.
    bool isListening() const;

    /// Stops reporting changed() until resume(); news is kept meanwhile.
    void pause();
    void resume();
    /// Whether anything changed since the listener was paused or last asked;
    /// forgets it.
    bool takeNews();

signals:
    void changed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
