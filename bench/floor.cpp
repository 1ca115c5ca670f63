// The floor every figure is compared with: plain Qt Widgets drawing what the
// program's main window draws (the address, three buttons, the underlined
// link, in the same fonts, at the same places) in one fixed window, with one
// tray icon, and entering the event loop. Nothing else: no settings, no
// second window, no address lookup, no single-copy channel.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

QFont font(const QStringList &families, qreal pointSize, bool italic = false,
           bool underline = false)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.setFixedSize(218, 87);

    const QStringList system{QStringLiteral("Liberation Sans"), QApplication::font().family()};
    QLabel address(QStringLiteral("255.255.255.255"), &window);
    address.setGeometry(8, 8, 201, 25);
    address.setAlignment(Qt::AlignCenter);
    address.setFont(font({QStringLiteral("Tahoma")}, 14.25, true));
    const struct
    {
        const char *caption;
        QRect place;
    } buttons[] = {
        {"Floating On", {8, 40, 89, 25}}, {"Hide", {96, 40, 57, 25}}, {"Copy", {152, 40, 57, 25}}};
    for (const auto &[caption, place] : buttons) {
        auto *button = new QPushButton(QString::fromLatin1(caption), &window);
        button->setGeometry(place);
        button->setFont(font(system, 9.75));
    }
    QLabel link(QStringLiteral("kestrune.com"), &window);
    link.setGeometry(48, 68, 121, 17);
    link.setAlignment(Qt::AlignCenter);
    link.setFont(font({QStringLiteral("Arial")}, 9, false, true));
    QPalette red = link.palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    link.setPalette(red);

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkCyan);
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.show();
    window.show();
    return QApplication::exec();
}
