#include "config/ncmfile.h"

#include "core/regularfile.h"

#include <algorithm>

namespace config
{

namespace
{

const char HexDigits[] = "0123456789ABCDEF";
const QString SectionLine = QStringLiteral("[General]");

bool isHexDigit(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return ch - 'A' + 10;
}

bool isPlainKeyChar(uint ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '_' || ch == '-' || ch == '.';
}

void appendHex(QByteArray &out, uint value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += HexDigits[(value >> shift) & 0xF];
}

QByteArray escapedKey(const QString &key)
{
    QByteArray out;
    for (const QChar qch : key) {
        const uint ch = qch.unicode();
        if (ch == '/') {
            out += '\\';
        } else if (isPlainKeyChar(ch)) {
            out += static_cast<char>(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            appendHex(out, ch, 2);
        } else {
            out += "%U";
            appendHex(out, ch, 4);
        }
    }
    return out;
}

// QSettings marks texts it would otherwise take for a typed value; the rest
// of its escaping is done by escapedValue.
QString markedText(const QString &text)
{
    if (text.contains(QChar(0)))
        return QStringLiteral("@String(") + text + QLatin1Char(')');
    if (text.startsWith(QLatin1Char('@')))
        return QLatin1Char('@') + text;
    return text;
}

QByteArray escapedValue(const QString &text)
{
    QByteArray out;
    bool needsQuotes = false;
    // A hex escape runs on over every hex digit, so one that follows it must
    // be escaped too.
    bool escapeNextIfHex = false;
    for (const QChar qch : text) {
        const uint ch = qch.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        if (escapeNextIfHex && ch < 0x80 && isHexDigit(static_cast<char>(ch))) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (ch) {
        case '\0':
            out += "\\0";
            escapeNextIfHex = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += static_cast<char>(ch);
            break;
        default:
            if (ch <= 0x1F || ch >= 0x7F) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfHex = true;
            } else {
                out += static_cast<char>(ch);
            }
        }
    }
    if (needsQuotes || out.startsWith(' ') || out.endsWith(' '))
        return '"' + out + '"';
    return out;
}

bool unescapeKey(const QByteArray &raw, QString &key)
{
    key.clear();
    for (int i = 0; i < raw.size(); ++i) {
        const char ch = raw[i];
        if (isPlainKeyChar(static_cast<uchar>(ch))) {
            key += QLatin1Char(ch);
            continue;
        }
        if (ch != '%')
            return false;
        const bool wide = i + 1 < raw.size() && raw[i + 1] == 'U';
        const int first = wide ? i + 2 : i + 1;
        const int digits = wide ? 4 : 2;
        if (first + digits > raw.size())
            return false;
        uint value = 0;
        for (int d = first; d < first + digits; ++d) {
            if (!isHexDigit(raw[d]))
                return false;
            value = value * 16 + static_cast<uint>(hexValue(raw[d]));
        }
        key += QChar(static_cast<ushort>(value));
        i = first + digits - 1;
    }
    // A '/' would put the key in a group, which our files never have.
    return !key.isEmpty() && !key.contains(QLatin1Char('/'));
}

NcmFault unescapeValue(const QByteArray &raw, QString &value)
{
    value.clear();
    QByteArray body = raw;
    const bool quoted = raw.startsWith('"');
    if (quoted) {
        if (raw.size() < 2 || !raw.endsWith('"'))
            return NcmFault::BadQuotes;
        body = raw.mid(1, raw.size() - 2);
    } else if (raw.startsWith(' ') || raw.endsWith(' ')) {
        // Our files quote such texts; the settings library would trim these.
        return NcmFault::NeedsQuotes;
    }

    for (int i = 0; i < body.size(); ++i) {
        const char ch = body[i];
        if (ch == '"')
            return NcmFault::BadQuotes;
        if (!quoted && (ch == ';' || ch == ',' || ch == '='))
            return NcmFault::NeedsQuotes;
        if (ch != '\\') {
            value += QLatin1Char(ch);
            continue;
        }
        if (++i >= body.size())
            return NcmFault::BadEscape;
        const char code = body[i];
        switch (code) {
        case 'a':
            value += QLatin1Char('\a');
            break;
        case 'b':
            value += QLatin1Char('\b');
            break;
        case 'f':
            value += QLatin1Char('\f');
            break;
        case 'n':
            value += QLatin1Char('\n');
            break;
        case 'r':
            value += QLatin1Char('\r');
            break;
        case 't':
            value += QLatin1Char('\t');
            break;
        case 'v':
            value += QLatin1Char('\v');
            break;
        case '"':
        case '\\':
            value += QLatin1Char(code);
            break;
        case 'x': {
            uint unit = 0;
            int digits = 0;
            while (i + 1 < body.size() && isHexDigit(body[i + 1])) {
                unit = unit * 16 + static_cast<uint>(hexValue(body[++i]));
                if (++digits > 4)
                    return NcmFault::BadEscape;
            }
            // A NUL is written as "\0", and only inside "@String(...)".
            if (digits == 0 || unit == 0)
                return NcmFault::BadEscape;
            value += QChar(static_cast<ushort>(unit));
            break;
        }
        default:
            // "\0" only ever stands for a NUL inside "@String(...)", which a
            // file of ours may not hold; the other escapes we never write.
            return NcmFault::BadEscape;
        }
    }

    // Our Save doubles a leading '@'; a single one starts a typed value.
    if (value.startsWith(QLatin1Char('@'))) {
        if (!value.startsWith(QLatin1String("@@")))
            return NcmFault::TypedValue;
        value.remove(0, 1);
    }
    return NcmFault::None;
}

NcmContents refused(NcmProblem problem, int line = 0, NcmFault fault = NcmFault::None)
{
    NcmContents contents;
    contents.problem = problem;
    contents.line = line;
    contents.fault = fault;
    return contents;
}

// Our Save writes printable ASCII only and escapes everything else.
NcmFault byteFault(const QByteArray &line)
{
    for (const char ch : line) {
        const uchar byte = static_cast<uchar>(ch);
        if (byte >= 0x80)
            return NcmFault::RawBytes;
        if (byte < 0x20 || byte == 0x7F)
            return NcmFault::ControlCharacter;
    }
    return NcmFault::None;
}

} // namespace

NcmProblem readSmallRegularFile(const QString &path, QByteArray &bytes)
{
    switch (RegularFile::readWhole(path, NcmSizeLimit, bytes).problem) {
    case RegularFile::Problem::None:
        return NcmProblem::None;
    case RegularFile::Problem::NotARegularFile:
        return NcmProblem::NotARegularFile;
    case RegularFile::Problem::TooLarge:
        return NcmProblem::TooLarge;
    case RegularFile::Problem::CannotRead:
        break;
    }
    return NcmProblem::CannotRead;
}

NcmContents parseNcm(const QByteArray &bytes)
{
    // Editors that save "UTF-8 with BOM" or UTF-16 put one in front.
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") ||
        bytes.startsWith("\xFE\xFF"))
        return refused(NcmProblem::NotNcm, 1, NcmFault::ByteOrderMark);

    // Our Save ends every line, the last one too: what follows the last
    // line end is a line cut short.
    const QList<QByteArray> lines = bytes.split('\n');
    NcmContents contents;
    QMap<QString, int> lineOfKey;
    bool inSection = false;
    for (int number = 1; number <= lines.size(); ++number) {
        QByteArray line = lines[number - 1];
        // Files saved on Windows end their lines with CR LF.
        if (line.endsWith('\r'))
            line.chop(1);
        const NcmFault bytesFault = byteFault(line);
        if (bytesFault != NcmFault::None)
            return refused(NcmProblem::NotNcm, number, bytesFault);
        if (number == lines.size()) {
            if (!lines.last().isEmpty())
                return refused(NcmProblem::NotNcm, number, NcmFault::CutShort);
            if (!inSection)
                return refused(NcmProblem::NotNcm, number, NcmFault::NoSection);
            break;
        }
        if (line.isEmpty())
            continue;
        if (!inSection) {
            if (line != SectionLine.toLatin1())
                return refused(NcmProblem::NotNcm, number, NcmFault::NoSection);
            inSection = true;
            continue;
        }
        if (line.startsWith('['))
            return refused(NcmProblem::NotNcm, number, NcmFault::OtherSection);
        const int equals = line.indexOf('=');
        if (equals < 0)
            return refused(NcmProblem::NotNcm, number, NcmFault::NoKeyValue);
        QString key;
        if (!unescapeKey(line.left(equals), key))
            return refused(NcmProblem::NotNcm, number, NcmFault::BadKey);
        QString value;
        const NcmFault valueFault = unescapeValue(line.mid(equals + 1), value);
        if (valueFault != NcmFault::None)
            return refused(NcmProblem::NotNcm, number, valueFault);
        if (lineOfKey.contains(key)) {
            NcmContents duplicate = refused(NcmProblem::NotNcm, number, NcmFault::DuplicateKey);
            duplicate.key = key;
            duplicate.earlierLine = lineOfKey.value(key);
            return duplicate;
        }
        lineOfKey.insert(key, number);
        contents.values.insert(key, value);
    }
    return contents;
}

NcmContents readNcmFile(const QString &path)
{
    QByteArray bytes;
    const NcmProblem problem = readSmallRegularFile(path, bytes);
    if (problem != NcmProblem::None)
        return refused(problem);
    return parseNcm(bytes);
}

QByteArray ncmText(QVector<std::pair<QString, QString>> entries)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QByteArray text = SectionLine.toLatin1() + '\n';
    for (const auto &entry : entries)
        text += escapedKey(entry.first) + '=' + escapedValue(markedText(entry.second)) + '\n';
    return text;
}

} // namespace config
