// The program talks to nobody: while it runs, none of its sockets is a
// network socket, and only the one that a second start looks for listens.
// (It has a few Unix-domain sockets: its connection to the X server, the
// kernel's route notifications and that one.)
#include "Session.h"
#include "support/XTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

/// Socket inodes listed in one of /proc/net's tables, with their state.
QHash<QString, QString> table(const QString &name, int inodeColumn, int stateColumn)
{
    QHash<QString, QString> sockets;
    QFile file(QStringLiteral("/proc/net/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return sockets;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() > qMax(inodeColumn, stateColumn))
            sockets.insert(QString::fromLatin1(fields.at(inodeColumn)),
                           QString::fromLatin1(fields.at(stateColumn)));
    }
    return sockets;
}

} // namespace

class SocketsTest : public QObject
{
    Q_OBJECT

private slots:
    void noNetworkSocketAndNothingListening();
};

void SocketsTest::noNetworkSocketAndNothingListening()
{
    QTemporaryDir scratch;
    Session s(scratch.filePath("config"));
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.mainWindow() != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.trayIcon() != 0, 10000);

    QSet<QString> ours;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(s.pid()));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target =
            fd.symLinkTarget().isEmpty() ? QFile::symLinkTarget(fd.filePath()) : fd.symLinkTarget();
        const QString name = QFileInfo(target).fileName();
        if (name.startsWith("socket:["))
            ours.insert(name.mid(8).chopped(1));
    }
    QVERIFY2(!ours.isEmpty(), "the program has no X connection?");

    for (const char *network :
         {"tcp", "tcp6", "udp", "udp6", "raw", "raw6", "udplite", "udplite6"}) {
        const QHash<QString, QString> sockets = table(network, 9, 3);
        for (const QString &inode : ours)
            QVERIFY2(!sockets.contains(inode), qPrintable(QString("a %1 socket").arg(network)));
    }
    // Unix sockets: Flags column 3, 00010000 = listening (__SO_ACCEPTCON).
    // The one that listens is where a second start finds the running copy,
    // in the user's runtime folder (bound under a private name there, then
    // moved into place).
    const QHash<QString, QString> unixSockets = table("unix", 6, 3);
    const QHash<QString, QString> unixPaths = table("unix", 6, 7);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/';
    int listeners = 0;
    for (const QString &inode : ours) {
        const bool listening = unixSockets.value(inode).toUInt(nullptr, 16) & 0x10000;
        listeners += listening;
        QVERIFY2(!listening || unixPaths.value(inode).startsWith(runtime),
                 qPrintable(QString("listening unix socket %1").arg(unixPaths.value(inode))));
    }
    QCOMPARE(listeners, 1);
    // Named after the login session and the display.
    const QStringList channels = QDir(runtime).entryList({"com.kestrune.IP.*"}, QDir::System);
    QCOMPARE(channels.size(), 1);
    QVERIFY2(channels.constFirst().endsWith('-' + qEnvironmentVariable("DISPLAY")),
             qPrintable(channels.constFirst()));
}

QTEST_GUILESS_MAIN(SocketsTest)
#include "tst_sockets.moc"
