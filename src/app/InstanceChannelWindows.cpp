#include "app/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <windows.h>

namespace {

/// One name for each user in each logon session.
QString sessionKey()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    wchar_t user[256] = {};
    DWORD length = DWORD(std::size(user));
    GetUserNameW(user, &length);
    return QStringLiteral("%1-%2").arg(QString::fromWCharArray(user)).arg(session);
}

bool askToShow(const QString &name, const QDeadlineTimer &deadline)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(InstanceChannel::kShow);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine() && socket.bytesAvailable() < InstanceChannel::kMaxLine) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine(InstanceChannel::kMaxLine) == InstanceChannel::kShown;
}

} // namespace

struct InstanceChannel::Private
{
    QString name = QStringLiteral("com.kestrune.IP-") + sessionKey();
    QLocalServer *server = nullptr;
    QList<QLocalSocket *> connections;
    QString whyAlone;
};

InstanceChannel::InstanceChannel(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{}

InstanceChannel::~InstanceChannel() = default;

InstanceChannel::Claim InstanceChannel::claim()
{
    // One copy at a time decides; one that takes longer than its turn is not
    // waited for.
    QLockFile turn(QDir::tempPath() + u'/' + d->name + QStringLiteral(".lock"));
    [[maybe_unused]] const bool ours = turn.tryLock(kTurnMs);
    if (askToShow(d->name, QDeadlineTimer(kAnswerMs)))
        return Claim::HandedOver;

    d->server = new QLocalServer(this);
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    d->server->setMaxPendingConnections(kMaxConnections);
    if (!d->server->listen(d->name)) {
        d->whyAlone = d->server->errorString();
        return Claim::Alone;
    }
    connect(d->server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = d->server->nextPendingConnection()) {
            // A newer connection closes the oldest; none stays long.
            if (d->connections.size() >= kMaxConnections)
                d->connections.constFirst()->abort();
            d->connections.append(socket);
            socket->setReadBufferSize(kMaxLine);
            QTimer::singleShot(kIdleMs, socket, &QLocalSocket::abort);
            connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
                d->connections.removeOne(socket);
                socket->deleteLater();
            });
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine() && socket->bytesAvailable() < kMaxLine)
                    return;
                // One request a connection: a line, then it is closed.
                if (socket->readLine(kMaxLine) == kShow) {
                    socket->write(kShown);
                    socket->flush();
                    emit showRequested({});
                }
                socket->disconnectFromServer();
            });
        }
    });
    return Claim::Listening;
}

QString InstanceChannel::whyAlone() const
{
    return d->whyAlone;
}
