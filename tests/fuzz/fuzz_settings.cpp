// libFuzzer target: the settings text as a person or a broken disk may leave
// it, and the coordinate text read from it. Neither may crash, overflow or
// trip a sanitizer; and a value set into any document reads back exactly.
#include "settings/IniDocument.h"
#include "ui/Twips.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    // Coordinate text, in the C locale and in one with a decimal comma.
    if (const auto pixels = Twips::pixelsFromText(text, QLocale::c())) {
        if (*pixels > Twips::kMaxPixels || *pixels < -Twips::kMaxPixels)
            std::abort();
    }
    (void)Twips::pixelsFromText(text, QLocale(QLocale::German, QLocale::Germany));

    // The settings text.
    IniDocument document = IniDocument::parse(bytes);
    for (const char *key : {"Float", "Vis", "X", "Y"}) {
        if (const auto value = document.value(QStringLiteral("IP"), QString::fromLatin1(key)))
            (void)Twips::pixelsFromText(*value, QLocale::c());
    }

    // Any value set into any document reads back exactly, also after the
    // text has been written out and read in again.
    const QString value = QString::fromUtf8(bytes.left(48));
    document.setValue(QStringLiteral("IP"), QStringLiteral("X"), value);
    if (document.value(QStringLiteral("IP"), QStringLiteral("X")) != value)
        std::abort();
    const IniDocument reread = IniDocument::parse(document.toText());
    if (reread.value(QStringLiteral("IP"), QStringLiteral("X")) != value)
        std::abort();
    return 0;
}
