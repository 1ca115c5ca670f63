#include "address/AddressRefresh.h"
#include "support/FakeAddressSource.h"

#include <QTest>

class AddressRefreshTest : public QObject
{
    Q_OBJECT

private slots:
    void initialDisplayReadsTwiceWithoutClosing();
    void tickClosesThenWritesBothLabels();
    void eachLabelShowsItsOwnRead();
    void failedReadKeepsThatLabelAndTheNextTickRetries();
    void textIsShownAsItComes();
    void timerRunsEveryMinute();

private:
    struct Labels
    {
        QString main = QStringLiteral("255.255.255.255");
        QString floating = QStringLiteral("255.255.255.255");
        int mainWrites = 0;
        int floatingWrites = 0;
    };

    static AddressRefresh *makeRefresh(FakeAddressSource &source, Labels &labels)
    {
        return new AddressRefresh(
            source,
            [&labels](const QString &text) {
                labels.main = text;
                ++labels.mainWrites;
            },
            [&labels](const QString &text) {
                labels.floating = text;
                ++labels.floatingWrites;
            });
    }
};

void AddressRefreshTest::initialDisplayReadsTwiceWithoutClosing()
{
    FakeAddressSource source(QStringLiteral("192.168.1.20"));
    Labels labels;
    std::unique_ptr<AddressRefresh> refresh(makeRefresh(source, labels));
    refresh->showInitial();
    QCOMPARE(source.closes, 0);
    QCOMPARE(source.reads, 2);
    QCOMPARE(labels.main, QString("192.168.1.20"));
    QCOMPARE(labels.floating, QString("192.168.1.20"));
}

void AddressRefreshTest::tickClosesThenWritesBothLabels()
{
    FakeAddressSource source(QStringLiteral("10.0.0.1"));
    Labels labels;
    std::unique_ptr<AddressRefresh> refresh(makeRefresh(source, labels));
    refresh->showInitial();
    source.setAddress(QStringLiteral("10.0.0.2"));
    refresh->tmrUpdate_Timer();
    QCOMPARE(source.closes, 1);
    QCOMPARE(source.reads, 4);
    QCOMPARE(labels.main, QString("10.0.0.2"));
    QCOMPARE(labels.floating, QString("10.0.0.2"));

    // Unchanged text is written again all the same.
    refresh->tmrUpdate_Timer();
    QCOMPARE(labels.mainWrites, 3);
    QCOMPARE(labels.floatingWrites, 3);
}

void AddressRefreshTest::eachLabelShowsItsOwnRead()
{
    FakeAddressSource source;
    Labels labels;
    std::unique_ptr<AddressRefresh> refresh(makeRefresh(source, labels));
    source.queue({QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")});
    refresh->tmrUpdate_Timer();
    QCOMPARE(labels.main, QString("10.0.0.1"));
    QCOMPARE(labels.floating, QString("10.0.0.2"));
}

void AddressRefreshTest::failedReadKeepsThatLabelAndTheNextTickRetries()
{
    FakeAddressSource source(QStringLiteral("10.0.0.1"));
    Labels labels;
    std::unique_ptr<AddressRefresh> refresh(makeRefresh(source, labels));

    source.queue({std::nullopt, std::nullopt});
    refresh->showInitial();
    QCOMPARE(labels.main, QString("255.255.255.255"));
    QCOMPARE(labels.floating, QString("255.255.255.255"));

    refresh->tmrUpdate_Timer();
    QCOMPARE(labels.main, QString("10.0.0.1"));

    source.setAddress(QStringLiteral("10.0.0.9"));
    source.queue({std::nullopt});
    refresh->tmrUpdate_Timer();
    QCOMPARE(labels.main, QString("10.0.0.1"));
    QCOMPARE(labels.floating, QString("10.0.0.9"));

    source.queue({QStringLiteral("10.0.0.9"), std::nullopt});
    refresh->tmrUpdate_Timer();
    QCOMPARE(labels.main, QString("10.0.0.9"));
    QCOMPARE(labels.floating, QString("10.0.0.9"));
    QVERIFY(refresh->tmrUpdate().isActive());
}

void AddressRefreshTest::textIsShownAsItComes()
{
    FakeAddressSource source{QString()};
    Labels labels;
    std::unique_ptr<AddressRefresh> refresh(makeRefresh(source, labels));
    refresh->showInitial();
    QCOMPARE(labels.main, QString());
    QCOMPARE(labels.floating, QString());
}

void AddressRefreshTest::timerRunsEveryMinute()
{
    FakeAddressSource source;
    Labels labels;
    std::unique_ptr<AddressRefresh> refresh(makeRefresh(source, labels));
    QVERIFY(refresh->tmrUpdate().isActive());
    QCOMPARE(refresh->tmrUpdate().interval(), 60000);
    QVERIFY(!refresh->tmrUpdate().isSingleShot());
}

QTEST_GUILESS_MAIN(AddressRefreshTest)
#include "tst_addressrefresh.moc"
