#include "config/ncmfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool unescapeValue(const QByteArray &raw, QString &value)
{
    value.clear();
    QByteArray body = raw;
    const bool quoted = raw.startsWith('"');
    if (quoted) {
        if (raw.size() < 2 || !raw.endsWith('"'))
            return false;
        body = raw.mid(1, raw.size() - 2);
    } else if (raw.startsWith(' ') || raw.endsWith(' ')) {
        // Our files quote such texts; the settings library would trim these.
        return false;
    }

    for (int i = 0; i < body.size(); ++i) {
        const char ch = body[i];
        if (ch == '"')
            return false;
        if (!quoted && (ch == ';' || ch == ',' || ch == '='))
            return false;
        if (ch != '\\') {
            value += QLatin1Char(ch);
            continue;
        }
        if (++i >= body.size())
            return false;
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
                    return false;
            }
            // A NUL is written as "\0", and only inside "@String(...)".
            if (digits == 0 || unit == 0)
                return false;
            value += QChar(static_cast<ushort>(unit));
            break;
        }
        default:
            // "\0" only ever stands for a NUL inside "@String(...)", which a
            // file of ours may not hold; the other escapes we never write.
            return false;
        }
    }

    // Our Save doubles a leading '@'; a single one starts a typed value.
    if (value.startsWith(QLatin1Char('@'))) {
        if (!value.startsWith(QLatin1String("@@")))
            return false;
        value.remove(0, 1);
    }
    return true;
}

NcmContents refused(NcmProblem problem, int line = 0)
{
    NcmContents contents;
    contents.problem = problem;
    contents.line = line;
    return contents;
}

} // namespace

NcmProblem readSmallRegularFile(const QString &path, QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return NcmProblem::CannotRead;
    if (!S_ISREG(info.st_mode))
        return NcmProblem::NotARegularFile;
    if (info.st_size > NcmSizeLimit)
        return NcmProblem::TooLarge;

    // The file may have been swapped for a FIFO since; opening without
    // waiting and checking the open file again keeps us from hanging on it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return NcmProblem::CannotRead;
    NcmProblem problem = NcmProblem::None;
    if (::fstat(fd, &info) != 0) {
        problem = NcmProblem::CannotRead;
    } else if (!S_ISREG(info.st_mode)) {
        problem = NcmProblem::NotARegularFile;
    } else {
        QByteArray buffer(static_cast<int>(NcmSizeLimit) + 1, '\0');
        qint64 total = 0;
        while (total < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + total, buffer.size() - total);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                problem = NcmProblem::CannotRead;
                break;
            }
            if (n == 0)
                break;
            total += n;
        }
        if (problem == NcmProblem::None && total > NcmSizeLimit)
            problem = NcmProblem::TooLarge;
        if (problem == NcmProblem::None)
            bytes = buffer.left(static_cast<int>(total));
    }
    ::close(fd);
    return problem;
}

NcmContents parseNcm(const QByteArray &bytes)
{
    // Our Save ends every line, the last one too: what follows the last
    // line end is a line cut short.
    const QList<QByteArray> lines = bytes.split('\n');
    NcmContents contents;
    bool inSection = false;
    for (int number = 1; number <= lines.size(); ++number) {
        if (number == lines.size()) {
            if (!lines.last().isEmpty() || !inSection)
                return refused(NcmProblem::NotNcm, number);
            break;
        }
        QByteArray line = lines[number - 1];
        // Files saved on Windows end their lines with CR LF.
        if (line.endsWith('\r'))
            line.chop(1);
        const bool printable = std::all_of(line.cbegin(), line.cend(), [](char ch) {
            return static_cast<uchar>(ch) >= 0x20 && static_cast<uchar>(ch) <= 0x7E;
        });
        if (!printable)
            return refused(NcmProblem::NotNcm, number);
        if (line.isEmpty())
            continue;
        if (!inSection) {
            if (line != SectionLine.toLatin1())
                return refused(NcmProblem::NotNcm, number);
            inSection = true;
            continue;
        }
        const int equals = line.indexOf('=');
        QString key;
        QString value;
        if (equals < 0 || !unescapeKey(line.left(equals), key) ||
            !unescapeValue(line.mid(equals + 1), value) || contents.values.contains(key))
            return refused(NcmProblem::NotNcm, number);
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
