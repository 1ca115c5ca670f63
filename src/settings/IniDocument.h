#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

/// An INI text that can be read and edited without disturbing what a person
/// wrote into it: comments, unknown lines, other sections and the order of
/// keys all survive an edit, and only the line of the edited key changes.
///
/// Values read back exactly as they were set. A value with outer blanks, a
/// leading quote or control characters is written in double quotes with
/// backslash escapes; any other value is written as it stands, so text typed
/// by hand such as `X=4320,5` or `Path=C:\Temp` reads back unchanged.
/// Sections and keys are case-sensitive; a key given twice reads as its last
/// occurrence. A UTF-8 byte order mark at the start is read past and kept.
///
/// Not QSettings: Qt 6.4.2's IniFormat, given such a file and one value to
/// set, dropped every comment, sorted the sections and keys, read
/// `X=4320,5` as a list (toString() empty) and wrote it back as `4320, 5`,
/// and read `Path=C:\Temp` as `C:emp`. It also saves through QLockFile and
/// QSaveFile (see PosixFiles.h).
class IniDocument
{
public:
    static IniDocument parse(const QByteArray &text);

    std::optional<QString> value(const QString &section, const QString &key) const;
    void setValue(const QString &section, const QString &key, const QString &value);

    QByteArray toText() const;

    static QString encodeValue(const QString &value);
    static QString decodeValue(const QString &text);

private:
    enum class Kind
    {
        Other,
        Section,
        Entry
    };
    struct Line
    {
        QByteArray text; // without the line ending
        bool crlf = false;
        Kind kind = Kind::Other;
        QString section; // the section the line belongs to (its own name for a header)
        QString key;
    };

    static Line parseLine(const QByteArray &raw, const QString &currentSection);
    qsizetype lastEntry(const QString &section, const QString &key) const;
    qsizetype insertionPoint(const QString &section) const;
    bool usesCrlf() const;

    QList<Line> m_lines;
    bool m_byteOrderMark = false;
};
