#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

/// Where the copies of the program in one desktop session find each other,
/// and how the copy that runs hears that another one was started.
///
/// The channel belongs to one user's session on one display: a second
/// session of the same user (a nested X server, a remote desktop) has its
/// own. On Unix it is a local socket in a folder that only the user can
/// enter ($XDG_RUNTIME_DIR, or a folder of the user's own under the
/// temporary folder); a folder that someone else owns or can enter is never
/// used. On Windows it is a named pipe of the user's logon session.
///
/// A copy that asks waits at most a second or two in all, however the other
/// end behaves. The listening end limits what any client costs it: a request
/// is one short line, a connection lives a second or two and only a few
/// are open at once, and running out of file descriptors neither ends the
/// listening nor takes the channel away from the next start.
///
/// On Linux a socket of its own rather than QLocalServer/QLocalSocket: those
/// are in QtNetwork, which nothing else of the program needs. Debian 12's
/// libQt6Network.so.6 (1.6 MB) brings eight libraries the program does not
/// map otherwise (Kerberos' five, libkeyutils, libproxy, libresolv): a Qt
/// Widgets and D-Bus program that listens with a QLocalServer maps 9 more
/// shared objects, 3.3 MiB more address space and 1.6 MiB more resident
/// memory at start. Windows has QtNetwork for its named pipe only.
class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    enum class Claim
    {
        Listening,  ///< no copy answered: this one listens now
        HandedOver, ///< a running copy said it has shown itself
        Alone,      ///< the session has no channel this copy may use
    };

    /// The channel of this process's session and display.
    explicit InstanceChannel(QObject *parent = nullptr);
    ~InstanceChannel() override;

    /// Asks a copy listening on the channel to show itself; when none
    /// answers, listens in its place. Copies started at the same moment take
    /// turns.
    Claim claim();

    /// After claim() said Alone: why, for the user.
    QString whyAlone() const;

    /// The request line a copy sends, and the answer it waits for. On
    /// Wayland the request may carry the activation token the copy was
    /// started with ("show <token>\n"), for the running copy's window to be
    /// brought forward with.
    static constexpr char kShow[] = "show\n";
    static constexpr char kShown[] = "shown\n";
    /// The longest request line the listening end reads.
    static constexpr int kMaxLine = 256;
    /// The token of a request @p line (empty for a plain "show"), or no
    /// value when the line is no request. A token is printable ASCII
    /// without spaces, as xdg-activation's are.
    static std::optional<QByteArray> tokenOfRequest(const QByteArray &line);
    /// Connections open at once; a newer one closes the oldest.
    static constexpr int kMaxConnections = 8;
    /// How long a connection may stay without a whole request.
    static constexpr int kIdleMs = 2000;
    /// How long a copy waits, in all, for a running copy's answer.
    static constexpr int kAnswerMs = 1000;
    /// How long a copy waits for another that is deciding at the same moment.
    static constexpr int kTurnMs = 1000;

signals:
    /// A copy started in this session asked this one to show itself, with
    /// the activation token it was started with, or none.
    void showRequested(const QByteArray &activationToken);
    /// Another copy has taken the channel over: this one had stopped
    /// answering (stopped, or hung) when it was started.
    void takenOver();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
