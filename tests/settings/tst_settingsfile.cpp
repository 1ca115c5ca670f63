#include "settings/AppSettings.h"
#include "settings/IniDocument.h"
#include "settings/SettingsStore.h"
#include "support/ScratchSettings.h"
#include "ui/Twips.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using Key = AppSettings::Key;

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Runs a shell script, in a mount namespace of its own when asked, with
/// the settings-save program as $1 and @p args after it; its standard
/// output, or no value when it failed or hung.
std::optional<QByteArray> runScript(const QString &script, const QStringList &args = {},
                                    bool privateMounts = false)
{
    QProcess shell;
    const QStringList shellArgs = QStringList{"-c", script, "sh", KESTRUNE_SETTINGS_SAVE} + args;
    if (privateMounts)
        shell.start("unshare", QStringList{"-m", "sh"} + shellArgs);
    else
        shell.start("sh", shellArgs);
    if (!shell.waitForFinished(20000)) {
        shell.kill();
        shell.waitForFinished();
        return std::nullopt;
    }
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return std::nullopt;
    return shell.readAllStandardOutput();
}

/// Whether this process may mount a tmpfs in a mount namespace of its own.
bool privateMountsAllowed()
{
    QTemporaryDir dir;
    return runScript(R"sh(mount -t tmpfs -o size=64k tmpfs "$2")sh", {dir.path()}, true)
        .has_value();
}

/// Counts the times a file is renamed onto the settings file: every save
/// ends with one.
class RenameCounter
{
public:
    explicit RenameCounter(const QString &folder)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        // Creations only keep the kernel from folding two renames in a row
        // into one event.
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_MOVED_TO | IN_CREATE);
    }
    ~RenameCounter() { close(m_fd); }

    /// Renames so far; the kernel queues each one before rename() returns.
    int count()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t got = 0;
        while ((got = read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if ((event->mask & IN_MOVED_TO) && event->len > 0 &&
                    qstrcmp(event->name, "Kestrune.conf") == 0)
                    ++m_count;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return m_count;
    }

private:
    int m_fd;
    int m_count = 0;
};

} // namespace

class SettingsFileTest : public QObject
{
    Q_OBJECT

private slots:
    void absentFileSectionOrKeyReadsEmpty();
    void aWriteKeepsEveryOtherKey();
    void aWriteKeepsWhatAPersonTyped();
    void handEditedFileReads();
    void keysAndSectionsAreCaseSensitive();
    void duplicateSectionsReadTheLastAndWriteIt();
    void lineEndingsAndByteOrderMarkSurviveAWrite_data();
    void lineEndingsAndByteOrderMarkSurviveAWrite();
    void writesLeaveNoTemporaryFiles();
    void aFullDiskLeavesTheFileAsItWas();
    void oddLockFilesHoldNoSaveUp_data();
    void oddLockFilesHoldNoSaveUp();
    void aSaveThatFindsTheLockHeldWaitsAndIsWrittenWhenItIsFree();
    void aLinkedFileIsWrittenThrough_data();
    void aLinkedFileIsWrittenThrough();
    void aChangeThatCannotBeSavedIsSaidAndTriedAgain_data();
    void aChangeThatCannotBeSavedIsSaidAndTriedAgain();
    void binaryJunkAndHugeLinesAreReadAroundAndKept();
    void theUsersFileFollowsTheHome_data();
    void theUsersFileFollowsTheHome();
    void severalKeysAreOneSave();
    void positionIsStoredAsTwipsXFirst();
};

void SettingsFileTest::absentFileSectionOrKeyReadsEmpty()
{
    ScratchSettings scratch;
    const SettingsStore store = scratch.store();
    QCOMPARE(store.GetSetting("Kestrune", "IP", "Float"), QString());
    QVERIFY(!QFile::exists(scratch.file()));

    scratch.writeFile("");
    QCOMPARE(store.GetSetting("Kestrune", "IP", "Float"), QString());
    QVERIFY(store.SaveSetting("Kestrune", "IP", "Vis", "NO"));
    QCOMPARE(scratch.fileContents(), QByteArray("[IP]\nVis=NO\n"));
    scratch.writeFile("");

    scratch.writeFile("[Other]\nFloat=YES\n");
    QCOMPARE(store.GetSetting("Kestrune", "IP", "Float"), QString());
    QCOMPARE(store.GetSetting("Nobody", "IP", "Float"), QString());
    QCOMPARE(store.GetSetting("Kestrune", "Other", "Vis"), QString());
}

void SettingsFileTest::aWriteKeepsEveryOtherKey()
{
    ScratchSettings scratch;
    scratch.set(Key::Float, "YES");
    scratch.set(Key::Vis, "NO");
    scratch.set(Key::X, "4320");
    scratch.set(Key::Y, "-1200");
    scratch.set(Key::Float, "no");

    // One line each, in the order first written, the rewritten one in place.
    QCOMPARE(scratch.fileContents(), QByteArray("[IP]\nFloat=no\nVis=NO\nX=4320\nY=-1200\n"));
}

void SettingsFileTest::aWriteKeepsWhatAPersonTyped()
{
    ScratchSettings scratch;
    scratch.writeFile("; written by hand\n"
                      "[Other]\n"
                      "Colour = blue\n"
                      "\n"
                      "[IP]\n"
                      "# where the window was\n"
                      "X = 4320\n"
                      "\n"
                      "[Last]\n"
                      "Key=1");
    scratch.set(Key::X, "0");
    scratch.set(Key::Vis, "NO");

    QCOMPARE(scratch.fileContents(), QByteArray("; written by hand\n"
                                                "[Other]\n"
                                                "Colour = blue\n"
                                                "\n"
                                                "[IP]\n"
                                                "# where the window was\n"
                                                "X=0\n"
                                                "Vis=NO\n"
                                                "\n"
                                                "[Last]\n"
                                                "Key=1\n"));
    QCOMPARE(scratch.store().GetSetting("Kestrune", "Other", "Colour"), QString("blue"));
}

void SettingsFileTest::handEditedFileReads()
{
    ScratchSettings scratch;
    scratch.writeFile("[IP]\n"
                      "  Float =  YES  \n"
                      "Vis=\n"
                      "X=4320,5\n"
                      "Y=\"  300\"\n"
                      "not an entry\n"
                      "=no key\n");
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    QCOMPARE(scratch.text(Key::Vis), QString());
    QCOMPARE(scratch.text(Key::X), QString("4320,5"));
    QCOMPARE(scratch.text(Key::Y), QString("  300"));
    QVERIFY(scratch.settings().floatingOnAtStart());
}

void SettingsFileTest::keysAndSectionsAreCaseSensitive()
{
    ScratchSettings scratch;
    scratch.writeFile("[IP]\nfloat=YES\nVIS=NO\n[ip]\nFloat=YES\n");
    QCOMPARE(scratch.text(Key::Float), QString());
    QCOMPARE(scratch.text(Key::Vis), QString());
    QVERIFY(!scratch.settings().floatingOnAtStart());

    scratch.set(Key::Float, "No");
    QCOMPARE(scratch.fileContents(),
             QByteArray("[IP]\nfloat=YES\nVIS=NO\nFloat=No\n[ip]\nFloat=YES\n"));
}

void SettingsFileTest::duplicateSectionsReadTheLastAndWriteIt()
{
    ScratchSettings scratch;
    scratch.writeFile("[IP]\nFloat=YES\nVis=NO\n[IP]\nFloat=No\n");
    QCOMPARE(scratch.text(Key::Float), QString("No"));
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));

    scratch.set(Key::Float, "YES");
    scratch.set(Key::X, "15");
    QCOMPARE(scratch.fileContents(),
             QByteArray("[IP]\nFloat=YES\nVis=NO\n[IP]\nFloat=YES\nX=15\n"));
}

void SettingsFileTest::lineEndingsAndByteOrderMarkSurviveAWrite_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("floatText");
    QTest::addColumn<QByteArray>("after");
    const QByteArray bom = "\xEF\xBB\xBF";
    QTest::newRow("CRLF") << QByteArray("[IP]\r\nFloat=YES\r\n") << "YES"
                          << QByteArray("[IP]\r\nFloat=YES\r\nVis=NO\r\n");
    QTest::newRow("byte order mark") << bom + "[IP]\nFloat=YES\n"
                                     << "YES" << bom + "[IP]\nFloat=YES\nVis=NO\n";
    QTest::newRow("byte order mark, CRLF") << bom + "[IP]\r\nFloat=YES\r\n"
                                           << "YES" << bom + "[IP]\r\nFloat=YES\r\nVis=NO\r\n";
    QTest::newRow("only a byte order mark") << bom << "" << bom + "[IP]\nVis=NO\n";
}

void SettingsFileTest::lineEndingsAndByteOrderMarkSurviveAWrite()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, floatText);
    QFETCH(QByteArray, after);
    ScratchSettings scratch;
    scratch.writeFile(before);
    QCOMPARE(scratch.text(Key::Float), floatText);
    scratch.set(Key::Vis, "NO");
    QCOMPARE(scratch.fileContents(), after);
    QCOMPARE(scratch.text(Key::Float), floatText);
}

void SettingsFileTest::writesLeaveNoTemporaryFiles()
{
    ScratchSettings scratch;
    for (int i = 0; i < 20; ++i)
        scratch.set(Key::X, QString::number(i * 15));
    QCOMPARE(scratch.entries(), QStringList{"Kestrune.conf"});
}

void SettingsFileTest::aFullDiskLeavesTheFileAsItWas()
{
    if (!privateMountsAllowed())
        QSKIP("Needs a tmpfs mounted in a private mount namespace (unshare -m, as root)");
    ScratchSettings scratch;
    QByteArray before = "; other programs' settings\n[Other]\n";
    for (int i = 0; i < 300; ++i)
        before += "Key" + QByteArray::number(i) + "=some text\n";
    before += "[IP]\nVis=NO\n";
    QVERIFY(before.size() > 4096 && before.size() < 8192);
    const QString disk = scratch.folder() + "/disk";
    QVERIFY(QDir().mkpath(disk));
    {
        QFile file(scratch.folder() + "/before");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    }

    // A 64 KiB disk with the file on it, filled up to one free page: the
    // new text needs two. Then the disk gets room again.
    const auto out = runScript(R"sh(
        disk=$2; out=$3
        mount -t tmpfs -o size=64k tmpfs "$disk" || exit 1
        cp "$out/before" "$disk/Kestrune.conf"
        dd if=/dev/zero of="$disk/fill" bs=4096 2>/dev/null
        truncate -s -4096 "$disk/fill"
        [ "$(stat -f -c %a "$disk")" = 1 ] || exit 1
        "$1" "$disk" IP Float YES
        cp "$disk/Kestrune.conf" "$out/full"; LC_ALL=C ls -A "$disk"
        rm "$disk/fill"
        "$1" "$disk" IP Float YES
        cp "$disk/Kestrune.conf" "$out/freed"
    )sh",
                               {disk, scratch.folder()}, true);
    QVERIFY(out);
    const QList<QByteArray> lines = out->split('\n');
    QVERIFY2(lines.size() == 5, out->constData());
    QVERIFY(lines[0].startsWith("refused "));
    QCOMPARE(contentsOf(scratch.folder() + "/full"), before);
    QCOMPARE(lines[1] + ' ' + lines[2], QByteArray("Kestrune.conf fill"));
    QVERIFY(lines[3].startsWith("saved "));
    QCOMPARE(contentsOf(scratch.folder() + "/freed"), before + "Float=YES\n");
}

void SettingsFileTest::oddLockFilesHoldNoSaveUp_data()
{
    QTest::addColumn<QString>("lock");
    QTest::addColumn<bool>("saved");
    QTest::newRow("FIFO") << "fifo" << true;
    QTest::newRow("stale, with junk") << "junk" << true;
    QTest::newRow("symbolic link") << "link" << true;
    QTest::newRow("held by a live copy") << "held" << false;
    QTest::newRow("folder") << "folder" << false;
}

void SettingsFileTest::oddLockFilesHoldNoSaveUp()
{
    QFETCH(QString, lock);
    QFETCH(bool, saved);
    ScratchSettings scratch;
    scratch.writeFile("[IP]\nVis=NO\n");
    const QByteArray lockPath = QFile::encodeName(scratch.file() + ".lock");
    int holder = -1;
    if (lock == "fifo") {
        QCOMPARE(mkfifo(lockPath.constData(), 0600), 0);
    } else if (lock == "junk") {
        QFile junk(QString::fromUtf8(lockPath));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("\x01\x02 99999\nnobody\n") > 0);
    } else if (lock == "link") {
        QCOMPARE(symlink("elsewhere", lockPath.constData()), 0);
    } else if (lock == "held") {
        holder = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(holder >= 0 && flock(holder, LOCK_EX) == 0);
    } else {
        QCOMPARE(mkdir(lockPath.constData(), 0700), 0);
    }

    const auto out = runScript(R"sh("$1" "$2" IP Float YES; true)sh", {scratch.folder()});
    if (holder >= 0)
        close(holder);
    QVERIFY2(out, "the save hung");
    const QList<QByteArray> words = out->trimmed().split(' ');
    QCOMPARE(words.size(), 2);
    QCOMPARE(words[0], saved ? QByteArray("saved") : QByteArray("refused"));
    QVERIFY2(words[1].toInt() <= 300, out->constData());
    QCOMPARE(scratch.text(Key::Float), saved ? QString("YES") : QString());
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    if (saved)
        QCOMPARE(scratch.entries(), QStringList{"Kestrune.conf"});
    QVERIFY(!QFile::exists(scratch.folder() + "/elsewhere"));
}

void SettingsFileTest::aSaveThatFindsTheLockHeldWaitsAndIsWrittenWhenItIsFree()
{
    ScratchSettings scratch;
    scratch.writeFile("[IP]\nVis=NO\n");
    const QByteArray lockPath = QFile::encodeName(scratch.file() + ".lock");
    const int holder = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    QVERIFY(holder >= 0 && flock(holder, LOCK_EX) == 0);

    // Floating on, off and on again while someone else holds the lock: the
    // program reads what it saved, the file has none of it yet.
    const AppSettings settings = scratch.settings();
    settings.saveFloatingOn();
    settings.saveFloatingOff(AppSettings::FloatingOff::ByMenu);
    settings.saveFloatingPosition({40, 20});
    settings.saveFloatingOn();
    QCOMPARE(settings.text(Key::Float), QString("YES"));
    QCOMPARE(settings.text(Key::X), QString("600"));
    QCOMPARE(scratch.fileContents(), QByteArray("[IP]\nVis=NO\n"));
    // Lost if the program ended now, and said so then.
    QCOMPARE(settings.unsavedChanges(),
             "whether the floating window is on and where the floating window stands (another "
             "program holds the lock " +
                 scratch.file() + ".lock)");

    // Free again: the newest of each is written, in one go.
    close(holder);
    QTRY_COMPARE(scratch.fileContents(), QByteArray("[IP]\nVis=NO\nFloat=YES\nX=600\nY=300\n"));
    QVERIFY(!settings.store().hasPendingSaves());
    QCOMPARE(settings.unsavedChanges(), QString());
}

void SettingsFileTest::aLinkedFileIsWrittenThrough_data()
{
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("to a file") << false << QByteArray("[Other]\nKey=1\n")
                               << QByteArray("[Other]\nKey=1\n\n[IP]\nFloat=YES\n");
    QTest::newRow("dangling") << false << QByteArray() << QByteArray("[IP]\nFloat=YES\n");
    QTest::newRow("dangling, absolute") << true << QByteArray() << QByteArray("[IP]\nFloat=YES\n");
}

void SettingsFileTest::aLinkedFileIsWrittenThrough()
{
    QFETCH(bool, absolute);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    ScratchSettings scratch;
    const QString target = scratch.folder() + "/dotfiles/kestrune.ini";
    QVERIFY(QDir().mkpath(scratch.folder() + "/dotfiles"));
    if (!before.isNull()) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    }
    const QByteArray link = absolute ? QFile::encodeName(target) : "dotfiles/kestrune.ini";
    QCOMPARE(symlink(link.constData(), QFile::encodeName(scratch.file()).constData()), 0);

    scratch.set(Key::Float, "YES");
    QCOMPARE(contentsOf(target), after);
    QCOMPARE(QFile::symLinkTarget(scratch.file()), target);
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    QCOMPARE(QDir(scratch.folder() + "/dotfiles").entryList(QDir::Files | QDir::Hidden),
             QStringList{"kestrune.ini"});
}

void SettingsFileTest::aChangeThatCannotBeSavedIsSaidAndTriedAgain_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder below a file") << "config"
                                         << "Not a directory";
    QTest::newRow("folder in the file's place") << "Kestrune.conf"
                                                << "Is a directory";
    QTest::newRow("FIFO in the file's place") << "Kestrune.conf"
                                              << "not a regular file";
    QTest::newRow("loop of links") << "Kestrune.conf"
                                   << "Too many levels of symbolic links";
    QTest::newRow("folder at the lock") << "Kestrune.conf.lock"
                                        << "Is a directory";
    QTest::newRow("a 2 GB file") << "Kestrune.conf"
                                 << "File too large";
    QTest::newRow("UTF-16") << "Kestrune.conf"
                            << "is in UTF-16";
    QTest::newRow("read-only") << "Kestrune.conf"
                               << "is read-only";
    QTest::newRow("another user's link in a shared folder") << "Kestrune.conf"
                                                            << "Permission denied";
}

void SettingsFileTest::aChangeThatCannotBeSavedIsSaidAndTriedAgain()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString folder = dir.filePath(obstacle == "config" ? "file/config" : "config");
    const QByteArray path =
        QFile::encodeName(dir.filePath(obstacle == "config" ? "file" : "config/" + obstacle));
    QVERIFY(QDir().mkpath(dir.filePath("config")));
    const QString tag = QTest::currentDataTag();
    QFile file(QFile::decodeName(path));
    if (tag.startsWith("FIFO")) {
        QCOMPARE(mkfifo(path.constData(), 0600), 0);
    } else if (tag.startsWith("loop")) {
        QCOMPARE(symlink("Kestrune.conf", path.constData()), 0);
    } else if (tag.startsWith("a 2 GB")) {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(2) << 30));
    } else if (tag == "UTF-16") {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\xFF\xFE[\0I\0P\0]\0", 10) == 10);
    } else if (tag == "read-only") {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[IP]\n") == 5);
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else if (tag.startsWith("another user")) {
        // The folder as a misconfigured shared XDG_CONFIG_HOME, and a link
        // in it planted by user 1000, to a file of the user's own.
        if (geteuid() != 0)
            QSKIP("Needs root to plant a link as another user");
        QCOMPARE(chmod(QFile::encodeName(dir.filePath("config")).constData(), 01777), 0);
        QVERIFY(QFile(dir.filePath("victim")).open(QIODevice::WriteOnly));
        QCOMPARE(symlink(QFile::encodeName(dir.filePath("victim")).constData(), path.constData()),
                 0);
        QCOMPARE(lchown(path.constData(), 1000, 1000), 0);
    } else if (obstacle == "config") {
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QCOMPARE(mkdir(path.constData(), 0700), 0);
    }
    file.close();

    const SettingsStore store(folder);
    QList<SettingsStore::Trouble> told;
    store.onTrouble([&told](const SettingsStore::Trouble &trouble) { told.append(trouble); });
    QVERIFY(!store.SaveSetting("Kestrune", "IP", "Float", "YES"));
    QVERIFY(!store.SaveSettings("Kestrune", "IP", {{"X", "150"}, {"Y", "300"}}));
    // Said once, with what and why; the values wait, and read as saved.
    QCOMPARE(told.size(), 1);
    QCOMPARE(told[0].keys, QStringList{"Float"});
    QVERIFY2(told[0].reason.contains(reason), qPrintable(told[0].reason));
    QCOMPARE(store.trouble().keys, QStringList({"Float", "X", "Y"}));
    QCOMPARE(store.GetSetting("Kestrune", "IP", "X"), QString("150"));

    // Put right, the next try saves them all, and says so.
    QVERIFY(QFile::remove(QFile::decodeName(path)) ||
            QDir(QFile::decodeName(path)).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(told.size(), 2, 5000);
    QVERIFY(told[1].keys.isEmpty());
    QCOMPARE(contentsOf(folder + "/Kestrune.conf"), QByteArray("[IP]\nFloat=YES\nX=150\nY=300\n"));
    QCOMPARE(contentsOf(dir.filePath("victim")), QByteArray());
}

void SettingsFileTest::binaryJunkAndHugeLinesAreReadAroundAndKept()
{
    ScratchSettings scratch;
    QRandomGenerator random(20261207);
    QByteArray junk(64 * 1024, Qt::Uninitialized);
    for (char &byte : junk)
        byte = char(random.bounded(256));
    const QByteArray hugeLine(10 * 1024 * 1024, 'x');
    const QByteArray hugeNumber = "Y=" + QByteArray(10 * 1024 * 1024, '9');
    scratch.writeFile(junk + "\n[IP]\nFloat=YES\n" + hugeLine + "\n" + hugeNumber + "\nX=300\n");

    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    QCOMPARE(scratch.text(Key::X), QString("300"));
    QCOMPARE(scratch.settings().floatingPosition(), QPoint(20, Twips::kMaxPixels));

    scratch.settings().saveMainWindowHidden();
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    // Everything else stays exactly as it was.
    QVERIFY(scratch.fileContents() ==
            junk + "\n[IP]\nFloat=YES\n" + hugeLine + "\n" + hugeNumber + "\nX=300\nVis=NO\n");
}

void SettingsFileTest::theUsersFileFollowsTheHome_data()
{
    // A shell snippet that sets the environment for the save, run in $t,
    // and where below $t the settings file must then be, alone.
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("privateMounts");
    QTest::newRow("absolute XDG_CONFIG_HOME")
        << R"sh(export HOME="$t/home" XDG_CONFIG_HOME="$t/xdg")sh"
        << QByteArray("./xdg/Kestrune.conf") << false;
    QTest::newRow("relative XDG_CONFIG_HOME")
        << R"sh(export HOME="$t/home" XDG_CONFIG_HOME=xdg)sh"
        << QByteArray("./home/.config/Kestrune.conf") << false;
    QTest::newRow("empty XDG_CONFIG_HOME") << R"sh(export HOME="$t/home" XDG_CONFIG_HOME=)sh"
                                           << QByteArray("./home/.config/Kestrune.conf") << false;
    QTest::newRow("HOME not UTF-8")
        << R"sh(export HOME="$t/$(printf 'h\377\376me')"; unset XDG_CONFIG_HOME)sh"
        << QByteArray("./h\xff\xfe"
                      "me/.config/Kestrune.conf")
        << false;
    // The account's home comes from a stand-in user database.
    QTest::newRow("HOME unset")
        << R"sh(printf '%s:x:%s:%s::%s:/bin/sh\n' "$(id -un)" "$(id -u)" "$(id -g)" "$t/account" \
                  > "$t/../passwd"
              unset HOME XDG_CONFIG_HOME
              exec unshare -m sh -c 'mount --bind "$2" /etc/passwd && exec "$1" - IP Float YES' \
                  sh "$1" "$t/../passwd")sh"
        << QByteArray("./account/.config/Kestrune.conf") << true;
}

void SettingsFileTest::theUsersFileFollowsTheHome()
{
    QFETCH(QString, environment);
    QFETCH(QByteArray, file);
    QFETCH(bool, privateMounts);
    if (privateMounts && !privateMountsAllowed())
        QSKIP("Needs a private mount namespace (unshare -m, as root)");
    // The save runs in a child process: this one keeps its environment.
    QTemporaryDir scratch;
    const auto found = runScript(R"sh(t="$2/t"; mkdir "$t" && cd "$t" || exit 1
                                      ()sh" +
                                     environment + R"sh(
                                       exec "$1" - IP Float YES) >/dev/null || exit 1
                                      find . -type f
                                      cd / && rm -rf "$t")sh",
                                 {scratch.path()});
    QVERIFY(found);
    QCOMPARE(*found, file + '\n');
}

void SettingsFileTest::severalKeysAreOneSave()
{
    ScratchSettings scratch;
    scratch.writeFile("[IP]\nY=0\nFloat=YES\n[Other]\nKey=1\n");
    RenameCounter saves(scratch.folder());
    QVERIFY(
        scratch.store().SaveSettings("Kestrune", "IP", {{"Vis", "NO"}, {"Y", "15"}, {"X", "30"}}));
    QCOMPARE(saves.count(), 1);
    QCOMPARE(scratch.fileContents(),
             QByteArray("[IP]\nY=15\nFloat=YES\nVis=NO\nX=30\n[Other]\nKey=1\n"));
}

void SettingsFileTest::positionIsStoredAsTwipsXFirst()
{
    ScratchSettings scratch;
    RenameCounter saves(scratch.folder());
    scratch.settings().saveFloatingPosition({-80, 288});
    QCOMPARE(saves.count(), 1);
    QCOMPARE(scratch.fileContents(), QByteArray("[IP]\nX=-1200\nY=4320\n"));
    QCOMPARE(scratch.settings().floatingPosition(), QPoint(-80, 288));
    scratch.settings().saveFloatingPosition({15, 0});
    QCOMPARE(saves.count(), 2);
    QCOMPARE(scratch.fileContents(), QByteArray("[IP]\nX=225\nY=0\n"));
}

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
