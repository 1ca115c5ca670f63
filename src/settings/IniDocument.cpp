#include "settings/IniDocument.h"

#include <QStringDecoder>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArray trimmedBlanks(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes.at(begin)))
        ++begin;
    while (end > begin && isBlank(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

bool needsQuotes(const QString &value)
{
    if (value.isEmpty())
        return false;
    if (value.front() == u' ' || value.back() == u' ' || value.front() == u'"')
        return true;
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

/// UTF-8 to text, keeping a leading U+FEFF that QString::fromUtf8 would
/// drop: a value or key may begin with one.
QString decodedUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

} // namespace

IniDocument IniDocument::parse(const QByteArray &text)
{
    IniDocument document;
    QString section;
    qsizetype start = 0;
    if (text.startsWith(kByteOrderMark)) {
        document.m_byteOrderMark = true;
        start = qsizetype(sizeof kByteOrderMark - 1);
    }
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        Line line = parseLine(text.mid(start, end - start), section);
        if (line.kind == Kind::Section)
            section = line.section;
        document.m_lines.append(std::move(line));
        start = end + 1;
    }
    return document;
}

IniDocument::Line IniDocument::parseLine(const QByteArray &raw, const QString &currentSection)
{
    Line line;
    line.text = raw;
    if (line.text.endsWith('\r')) {
        line.text.chop(1);
        line.crlf = true;
    }
    line.section = currentSection;

    const QByteArray trimmed = trimmedBlanks(line.text);
    if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#'))
        return line;
    if (trimmed.startsWith('[') && trimmed.endsWith(']') && trimmed.size() >= 2) {
        line.kind = Kind::Section;
        line.section = decodedUtf8(trimmedBlanks(trimmed.mid(1, trimmed.size() - 2)));
        return line;
    }
    const qsizetype equals = trimmed.indexOf('=');
    if (equals <= 0)
        return line;
    const QByteArray key = trimmedBlanks(trimmed.left(equals));
    if (key.isEmpty())
        return line;
    line.kind = Kind::Entry;
    line.key = decodedUtf8(key);
    return line;
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const qsizetype index = lastEntry(section, key);
    if (index < 0)
        return std::nullopt;
    const QByteArray trimmed = trimmedBlanks(m_lines.at(index).text);
    const QByteArray raw = trimmedBlanks(trimmed.mid(trimmed.indexOf('=') + 1));
    return decodeValue(decodedUtf8(raw));
}

void IniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    Line entry;
    entry.text = (key + u'=' + encodeValue(value)).toUtf8();
    entry.kind = Kind::Entry;
    entry.section = section;
    entry.key = key;

    const qsizetype existing = lastEntry(section, key);
    if (existing >= 0) {
        entry.crlf = m_lines.at(existing).crlf;
        m_lines[existing] = std::move(entry);
        return;
    }

    entry.crlf = usesCrlf();
    const qsizetype at = insertionPoint(section);
    if (at >= 0) {
        m_lines.insert(at, std::move(entry));
        return;
    }

    Line header;
    header.text = (u'[' + section + u']').toUtf8();
    header.crlf = entry.crlf;
    header.kind = Kind::Section;
    header.section = section;
    if (!m_lines.isEmpty() && !trimmedBlanks(m_lines.constLast().text).isEmpty()) {
        Line blank;
        blank.crlf = entry.crlf;
        blank.section = m_lines.constLast().section;
        m_lines.append(std::move(blank));
    }
    m_lines.append(std::move(header));
    m_lines.append(std::move(entry));
}

QByteArray IniDocument::toText() const
{
    QByteArray text;
    if (m_byteOrderMark)
        text += kByteOrderMark;
    for (const Line &line : m_lines) {
        text += line.text;
        text += line.crlf ? "\r\n" : "\n";
    }
    return text;
}

qsizetype IniDocument::lastEntry(const QString &section, const QString &key) const
{
    for (qsizetype i = m_lines.size() - 1; i >= 0; --i) {
        const Line &line = m_lines.at(i);
        if (line.kind == Kind::Entry && line.section == section && line.key == key)
            return i;
    }
    return -1;
}

qsizetype IniDocument::insertionPoint(const QString &section) const
{
    // Keys without a section belong before the first header.
    if (section.isEmpty()) {
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (m_lines.at(i).kind == Kind::Section)
                return i;
        }
        return m_lines.size();
    }
    // Otherwise right after the last entry (or the header) of the section's
    // last block, so blank lines and comments that close the block stay below.
    qsizetype point = -1;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines.at(i);
        if (line.section != section)
            continue;
        if (line.kind == Kind::Section)
            point = i + 1;
        else if (line.kind == Kind::Entry)
            point = i + 1;
    }
    return point;
}

bool IniDocument::usesCrlf() const
{
    return !m_lines.isEmpty() && m_lines.constFirst().crlf;
}

QString IniDocument::encodeValue(const QString &value)
{
    if (!needsQuotes(value))
        return value;
    QString encoded;
    encoded.reserve(value.size() + 2);
    encoded += u'"';
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'"':
            encoded += QLatin1String("\\\"");
            break;
        case u'\\':
            encoded += QLatin1String("\\\\");
            break;
        case u'\n':
            encoded += QLatin1String("\\n");
            break;
        case u'\r':
            encoded += QLatin1String("\\r");
            break;
        case u'\t':
            encoded += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                encoded += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                encoded += c;
        }
    }
    encoded += u'"';
    return encoded;
}

QString IniDocument::decodeValue(const QString &text)
{
    if (text.size() < 2 || text.front() != u'"' || text.back() != u'"')
        return text;
    const QStringView body = QStringView(text).mid(1, text.size() - 2);
    QString decoded;
    decoded.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c != u'\\' || i + 1 == body.size()) {
            decoded += c;
            continue;
        }
        const QChar next = body.at(i + 1);
        switch (next.unicode()) {
        case u'"':
        case u'\\':
            decoded += next;
            ++i;
            break;
        case u'n':
            decoded += u'\n';
            ++i;
            break;
        case u'r':
            decoded += u'\r';
            ++i;
            break;
        case u't':
            decoded += u'\t';
            ++i;
            break;
        case u'x':
            if (i + 3 < body.size() && hexDigit(body.at(i + 2)) >= 0 &&
                hexDigit(body.at(i + 3)) >= 0) {
                decoded += QChar(hexDigit(body.at(i + 2)) * 16 + hexDigit(body.at(i + 3)));
                i += 3;
                break;
            }
            decoded += c;
            break;
        default:
            // Not an escape we write: keep the backslash as typed.
            decoded += c;
        }
    }
    return decoded;
}
