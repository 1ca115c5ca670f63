// Two copies of the program writing the same settings file at once: every
// read in between finds a whole file with every key, and the end state is
// what the copy that wrote last wrote.
#include "settings/IniDocument.h"
#include "support/ScratchSettings.h"

#include <QProcess>
#include <QTest>

class ConcurrentWritersTest : public QObject
{
    Q_OBJECT

private slots:
    void twoCopiesNeverLoseOrTearTheFile();
};

void ConcurrentWritersTest::twoCopiesNeverLoseOrTearTheFile()
{
    ScratchSettings scratch;
    scratch.writeFile(
        "; both copies share this\n[IP]\nFloat=No\nVis=YES\nX=0\nY=0\n[Other]\nKey=1\n");

    QProcess hider;
    QProcess shower;
    const QString writer = QStringLiteral(KESTRUNE_SETTINGS_WRITER);
    // The second copy runs longer, so the two do not end together.
    hider.start(writer, {scratch.folder(), "100", "hide"});
    shower.start(writer, {scratch.folder(), "250", "show"});
    QVERIFY(hider.waitForStarted() && shower.waitForStarted());

    int reads = 0;
    while (hider.state() != QProcess::NotRunning || shower.state() != QProcess::NotRunning) {
        const QByteArray text = scratch.fileContents();
        const IniDocument document = IniDocument::parse(text);
        for (const char *key : {"Float", "Vis", "X", "Y"})
            QVERIFY2(document.value("IP", key).has_value(), key);
        QCOMPARE(document.value("Other", "Key"), std::optional<QString>("1"));
        QVERIFY(text.startsWith("; both copies share this\n"));
        ++reads;
        QTest::qWait(1);
    }
    QVERIFY(reads > 10);
    QCOMPARE(hider.exitCode(), 0);
    QCOMPARE(shower.exitCode(), 0);

    const qint64 hiderDone = hider.readAllStandardOutput().trimmed().toLongLong();
    const qint64 showerDone = shower.readAllStandardOutput().trimmed().toLongLong();
    QVERIFY(hiderDone > 0 && showerDone > 0);
    QCOMPARE(scratch.text(AppSettings::Key::Vis),
             hiderDone > showerDone ? QString("NO") : QString("YES"));
    QCOMPARE(scratch.text(AppSettings::Key::Float), QString("No"));
}

QTEST_GUILESS_MAIN(ConcurrentWritersTest)
#include "tst_concurrentwriters.moc"
