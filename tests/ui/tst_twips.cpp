#include "ui/Twips.h"

#include <QTest>

class TwipsTest : public QObject
{
    Q_OBJECT

private slots:
    void storedTextIsWholeTwips_data();
    void storedTextIsWholeTwips();
    void readingAcceptsWhatWritingProduces();
    void readsDecimalAndPaddedText_data();
    void readsDecimalAndPaddedText();
    void textThatIsNotACoordinateHasNoValue_data();
    void textThatIsNotACoordinateHasNoValue();
    void readsTheLocaleDecimalSeparator();
};

void TwipsTest::storedTextIsWholeTwips_data()
{
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("text");
    QTest::newRow("origin") << 0 << "0";
    QTest::newRow("right") << 288 << "4320";
    QTest::newRow("left of the primary screen") << -80 << "-1200";
    QTest::newRow("largest") << Twips::kMaxPixels << "491505";
}

void TwipsTest::storedTextIsWholeTwips()
{
    QFETCH(int, pixels);
    QFETCH(QString, text);
    QCOMPARE(Twips::textFromPixels(pixels), text);
}

void TwipsTest::readingAcceptsWhatWritingProduces()
{
    for (int pixels = -Twips::kMaxPixels; pixels <= Twips::kMaxPixels; pixels += 97) {
        const auto back = Twips::pixelsFromText(Twips::textFromPixels(pixels), QLocale::c());
        QVERIFY2(back && *back == pixels, qPrintable(QString::number(pixels)));
    }
}

void TwipsTest::readsDecimalAndPaddedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pixels");
    QTest::newRow("fraction rounds to the nearest pixel") << "4320.5" << 288;
    QTest::newRow("blanks around") << "  300" << 20;
    QTest::newRow("trailing blank") << "300 " << 20;
    QTest::newRow("not a whole pixel") << "22" << 1;
    QTest::newRow("negative fraction") << "-1207.4" << -80;
    // Beyond where a window can stand, still a place: the farthest one.
    QTest::newRow("beyond the window system") << "491520" << Twips::kMaxPixels;
    QTest::newRow("eight nines") << "99999999" << Twips::kMaxPixels;
    QTest::newRow("huge negative") << "-1e30" << -Twips::kMaxPixels;
    QTest::newRow("400 digits") << QString(400, u'9') << Twips::kMaxPixels;
}

void TwipsTest::readsDecimalAndPaddedText()
{
    QFETCH(QString, text);
    QFETCH(int, pixels);
    QCOMPARE(Twips::pixelsFromText(text, QLocale::c()), std::optional<int>(pixels));
}

void TwipsTest::textThatIsNotACoordinateHasNoValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("blank") << "   ";
    QTest::newRow("letters") << "abc";
    QTest::newRow("number then letters") << "300px";
    QTest::newRow("nan") << "nan";
    QTest::newRow("inf") << "inf";
    QTest::newRow("-inf") << "-inf";
    QTest::newRow("hexadecimal") << "0x10";
    QTest::newRow("group separator") << "4,320";
    QTest::newRow("comma in the C locale") << "4320,5";
}

void TwipsTest::textThatIsNotACoordinateHasNoValue()
{
    QFETCH(QString, text);
    QCOMPARE(Twips::pixelsFromText(text, QLocale::c()), std::nullopt);
}

void TwipsTest::readsTheLocaleDecimalSeparator()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(Twips::pixelsFromText(QStringLiteral("4320,5"), german), std::optional<int>(288));
    QCOMPARE(Twips::pixelsFromText(QStringLiteral("4320.5"), german), std::optional<int>(288));
    QCOMPARE(Twips::pixelsFromText(QStringLiteral("4.320,5"), german), std::nullopt);
}

QTEST_GUILESS_MAIN(TwipsTest)
#include "tst_twips.moc"
