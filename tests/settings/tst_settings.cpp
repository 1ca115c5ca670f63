#include "settings/AppSettings.h"
#include "settings/SettingsStore.h"
#include "support/ScratchSettings.h"
#include "ui/Twips.h"

#include <QTest>

using Key = AppSettings::Key;

/// The settings as values in the store, whichever store the system has: the
/// INI file on Linux, the registry on Windows.
class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void absentApplicationSectionOrKeyReadsEmpty();
    void valuesReadBackExactly_data();
    void valuesReadBackExactly();
    void aWriteKeepsEveryOtherKey();
    void severalKeysAreSavedTogether();
    void startupFlagsCompareExactly_data();
    void startupFlagsCompareExactly();
    void commandValuesAreExact();
    void positionIsStoredAsTwips();
    void positionReadsEachCoordinateOnItsOwn();
};

void SettingsTest::absentApplicationSectionOrKeyReadsEmpty()
{
    ScratchSettings scratch;
    const SettingsStore store = scratch.store();
    QCOMPARE(store.GetSetting("Kestrune", "IP", "Float"), QString());
    QVERIFY(store.SaveSetting("Kestrune", "Other", "Float", "YES"));
    QCOMPARE(store.GetSetting("Kestrune", "IP", "Float"), QString());
    QCOMPARE(store.GetSetting("Nobody", "IP", "Float"), QString());
    QCOMPARE(store.GetSetting("Kestrune", "Other", "Vis"), QString());
    QCOMPARE(store.GetSetting("Kestrune", "Other", "Float"), QString("YES"));
}

void SettingsTest::valuesReadBackExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("flag") << "YES";
    QTest::newRow("lower case") << "yes";
    QTest::newRow("trailing blank") << "YES ";
    QTest::newRow("leading blank") << " NO";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("empty") << "";
    QTest::newRow("comma") << "4320,5";
    QTest::newRow("commas and blanks") << "a, b ,c";
    QTest::newRow("quoted") << "\"YES\"";
    QTest::newRow("lone quote") << "\"";
    QTest::newRow("inner quote") << "say \"hi\"";
    QTest::newRow("backslashes") << "C:\\Temp\\";
    QTest::newRow("escape look-alike") << "\\n\\x41";
    QTest::newRow("equals") << "a=b";
    QTest::newRow("comment look-alike") << "; not a comment";
    QTest::newRow("section look-alike") << "[IP]";
    QTest::newRow("at sign") << "@Variant(YES)";
    QTest::newRow("non-ASCII") << "Grüße, 東京 ✓";
    QTest::newRow("leading U+FEFF") << QString(QChar(0xFEFF)) + "YES";
    QTest::newRow("newline") << "two\nlines";
    QTest::newRow("control characters") << QString("\t\r\x01\x7f");
}

void SettingsTest::valuesReadBackExactly()
{
    QFETCH(QString, value);
    ScratchSettings scratch;
    const SettingsStore store = scratch.store();
    QVERIFY(store.SaveSetting("Kestrune", "IP", "Float", value));
    QCOMPARE(store.GetSetting("Kestrune", "IP", "Float"), value);
    // And through a fresh store object, as the next run sees it.
    QCOMPARE(SettingsStore(scratch.location()).GetSetting("Kestrune", "IP", "Float"), value);
}

void SettingsTest::aWriteKeepsEveryOtherKey()
{
    ScratchSettings scratch;
    scratch.set(Key::Float, "YES");
    scratch.set(Key::Vis, "NO");
    scratch.set(Key::X, "4320");
    scratch.set(Key::Y, "-1200");
    scratch.set(Key::Float, "no");

    QCOMPARE(scratch.text(Key::Float), QString("no"));
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    QCOMPARE(scratch.text(Key::X), QString("4320"));
    QCOMPARE(scratch.text(Key::Y), QString("-1200"));
}

void SettingsTest::severalKeysAreSavedTogether()
{
    ScratchSettings scratch;
    scratch.set(Key::Y, "0");
    scratch.set(Key::Float, "YES");
    QVERIFY(
        scratch.store().SaveSettings("Kestrune", "IP", {{"Vis", "NO"}, {"Y", "15"}, {"X", "30"}}));
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    QCOMPARE(scratch.text(Key::X), QString("30"));
    QCOMPARE(scratch.text(Key::Y), QString("15"));
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
}

void SettingsTest::startupFlagsCompareExactly_data()
{
    QTest::addColumn<QString>("floatText");
    QTest::addColumn<QString>("visText");
    QTest::addColumn<bool>("floatingOn");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("YES / NO") << "YES"
                              << "NO" << true << true;
    QTest::newRow("yes / No") << "yes"
                              << "No" << false << false;
    QTest::newRow("YES  / no") << "YES "
                               << "no" << false << false;
    QTest::newRow("No / YES") << "No"
                              << "YES" << false << false;
    QTest::newRow("no / NO ") << "no"
                              << " NO" << false << false;
    QTest::newRow("absent") << QString() << QString() << false << false;
}

void SettingsTest::startupFlagsCompareExactly()
{
    QFETCH(QString, floatText);
    QFETCH(QString, visText);
    QFETCH(bool, floatingOn);
    QFETCH(bool, hidden);
    ScratchSettings scratch;
    if (!floatText.isNull())
        scratch.set(Key::Float, floatText);
    if (!visText.isNull())
        scratch.set(Key::Vis, visText);
    QCOMPARE(scratch.settings().floatingOnAtStart(), floatingOn);
    QCOMPARE(scratch.settings().mainWindowHiddenAtStart(), hidden);
}

void SettingsTest::commandValuesAreExact()
{
    ScratchSettings scratch;
    const AppSettings &settings = scratch.settings();
    settings.saveFloatingOn();
    QCOMPARE(scratch.text(Key::Float), QString("YES"));
    settings.saveFloatingOff(AppSettings::FloatingOff::ByButton);
    QCOMPARE(scratch.text(Key::Float), QString("no"));
    settings.saveFloatingOff(AppSettings::FloatingOff::ByMenu);
    QCOMPARE(scratch.text(Key::Float), QString("No"));
    settings.saveMainWindowHidden();
    QCOMPARE(scratch.text(Key::Vis), QString("NO"));
    settings.saveMainWindowShown();
    QCOMPARE(scratch.text(Key::Vis), QString("YES"));
}

void SettingsTest::positionIsStoredAsTwips()
{
    ScratchSettings scratch;
    scratch.settings().saveFloatingPosition({-80, 288});
    QCOMPARE(scratch.text(Key::X), QString("-1200"));
    QCOMPARE(scratch.text(Key::Y), QString("4320"));
    QCOMPARE(scratch.settings().floatingPosition(), QPoint(-80, 288));
    scratch.settings().saveFloatingPosition({15, 0});
    QCOMPARE(scratch.text(Key::X), QString("225"));
    QCOMPARE(scratch.text(Key::Y), QString("0"));
}

void SettingsTest::positionReadsEachCoordinateOnItsOwn()
{
    ScratchSettings scratch;
    QCOMPARE(scratch.settings().floatingPosition(), QPoint(0, 0));
    scratch.set(Key::X, "abc");
    scratch.set(Key::Y, "300");
    QCOMPARE(scratch.settings().floatingPosition(), QPoint(0, 20));
    // A huge number is the farthest place; nan is no number.
    scratch.set(Key::X, "1e30");
    scratch.set(Key::Y, "nan");
    QCOMPARE(scratch.settings().floatingPosition(), QPoint(Twips::kMaxPixels, 0));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
