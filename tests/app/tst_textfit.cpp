// Every caption fits its control, with room to spare, at 96, 120 and 144
// dots per inch, with Qt's scaling for the screen on and off. Each case runs
// in a process of its own, since the DPI is read once at the start.
#include "support/ProgramStart.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>

namespace {

/// Room a caption must leave on each side.
constexpr int kPadding = 2;

/// What does not fit in the program's windows, on this process's screen.
QStringList misfits()
{
    ScratchSettings scratch;
    FakeAddressSource source(QStringLiteral("255.255.255.255"));
    auto frmIP = startProgram(scratch, source);
    QList<QWidget *> windows = {frmIP.get(), &frmIP->floating().get()};
    QStringList found;
    for (const QWidget *window : windows) {
        for (const QPushButton *button : window->findChildren<QPushButton *>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
            if (text.width() + 2 * kPadding > room.width() || text.height() > room.height())
                found << QStringLiteral("%1 %2 in %3")
                             .arg(button->objectName())
                             .arg(text.width())
                             .arg(room.width());
        }
        for (const QLabel *label : window->findChildren<QLabel *>()) {
            const QSize text = label->fontMetrics().size(0, label->text());
            if (text.width() + 2 * kPadding > label->width() || text.height() > label->height())
                found << QStringLiteral("%1 %2x%3 in %4x%5")
                             .arg(label->objectName())
                             .arg(text.width())
                             .arg(text.height())
                             .arg(label->width())
                             .arg(label->height());
        }
    }
    // The longer caption of the floating button, too.
    frmIP->commands().cmdShow_Click();
    const QPushButton *cmdShow = frmIP->cmdShow();
    const int width = cmdShow->fontMetrics().horizontalAdvance(cmdShow->text());
    if (cmdShow->text() != QLatin1String("Floating Off") || width + 2 * kPadding > cmdShow->width())
        found << QStringLiteral("cmdShow \"%1\" %2").arg(cmdShow->text()).arg(width);
    frmIP->floating().get().endHandlers();
    return found;
}

} // namespace

class TextFitTest : public QObject
{
    Q_OBJECT

private slots:
    void everyCaptionFits_data();
    void everyCaptionFits();
};

void TextFitTest::everyCaptionFits_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<bool>("scaling");
    for (const int dpi : {96, 120, 144}) {
        for (const bool scaling : {true, false}) {
            QTest::addRow("%d dpi, scaling %s", dpi, scaling ? "on" : "off") << dpi << scaling;
        }
    }
}

void TextFitTest::everyCaptionFits()
{
    QFETCH(int, dpi);
    QFETCH(bool, scaling);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_FONT_DPI", QString::number(dpi));
    environment.insert("QT_ENABLE_HIGHDPI_SCALING", scaling ? "1" : "0");
    environment.insert("KESTRUNE_TEXTFIT_CHILD", "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    const QString report = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    QVERIFY2(child.exitCode() == 0, qPrintable(report));
    // The case is what it says: without scaling, the fonts follow the DPI.
    const int expectedDpi = scaling ? 96 : dpi;
    QCOMPARE(report, QStringLiteral("fits at %1 dpi").arg(expectedDpi));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("KESTRUNE_TEXTFIT_CHILD")) {
        QApplication app(argc, argv);
        const QStringList found = misfits();
        QTextStream out(stdout);
        if (!found.isEmpty()) {
            out << "does not fit: " << found.join(QLatin1String("; ")) << Qt::endl;
            return 1;
        }
        out << "fits at " << QWidget().logicalDpiX() << " dpi" << Qt::endl;
        return 0;
    }
    QApplication app(argc, argv);
    TextFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textfit.moc"
