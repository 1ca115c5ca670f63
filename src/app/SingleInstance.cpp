#include "app/SingleInstance.h"

#include "platform/SessionChannel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kShow = QByteArrayLiteral("show\n");
const QByteArray kShown = QByteArrayLiteral("shown\n");

/// Asks a running copy to show itself; true when it said it did.
bool handOver(const QString &name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(kShow);
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kWaitMs))
            return false;
    }
    return socket.readLine() == kShown;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    const QString name = SessionChannel::serverName();
    const QString lockPath = SessionChannel::lockPath();
    QDir().mkpath(QFileInfo(lockPath).absolutePath());
    // One copy at a time decides; a lock whose holder died is taken over.
    QLockFile lock(lockPath);
    lock.tryLock(kWaitMs);

    if (handOver(name))
        return false;

    // Nobody answers: whatever is left at the name is stale.
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name);
    if (m_server->listen(name))
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
    // Without a channel this copy runs all the same, as the only one it
    // knows of.
    return true;
}

void SingleInstance::serve()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() != kShow)
                    continue;
                emit showRequested();
                socket->write(kShown);
                socket->flush();
            }
        });
    }
}
