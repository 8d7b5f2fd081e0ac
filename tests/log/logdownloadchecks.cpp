#include "tests/log/logdownloadchecks.h"

#include "sim/simdevice.h"

#include <QFile>

namespace logchecks
{

QList<int> commandsSent()
{
    QList<int> codes;
    for (const sim::WrittenReport &report : sim::writtenReports())
        codes.append(report.bytes.at(1));
    return codes;
}

QList<Fetch> fetchesSent()
{
    QList<Fetch> fetches;
    for (const sim::WrittenReport &report : sim::writtenReports()) {
        const std::vector<unsigned char> &b = report.bytes;
        if (b.at(1) != 0x04)
            continue;
        fetches.append({quint32(b[2]) << 24 | quint32(b[3]) << 16 | quint32(b[4]) << 8 | b[5],
                        b[6] << 8 | b[7]});
    }
    return fetches;
}

QList<int> parametersRead()
{
    QList<int> indices;
    for (const sim::WrittenReport &report : sim::writtenReports())
        if (report.bytes.at(1) == 0x12)
            indices.append(report.bytes[2] << 8 | report.bytes[3]);
    return indices;
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot open %s", qPrintable(path));
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    if (!text.endsWith("\r\n")) {
        qWarning("%s does not end with CR LF", qPrintable(path));
        return {};
    }
    QStringList lines = text.left(text.size() - 2).split("\r\n");
    for (const QString &line : lines)
        if (line.contains('\n') && !line.contains('"'))
            qWarning("bare line feed in %s", qPrintable(path));
    return lines;
}

ExpectedFiles expectedFiles(const std::vector<sim::Record> &records,
                            const LogRecord::Columns &columns, const std::set<int> &marked,
                            int retries)
{
    ExpectedFiles files;
    files.measurements.append(LogRecord::measurementHeader(columns));
    files.system.append("Index,Date/Time (UTC),System Information");
    for (int slot = 0; slot < int(records.size()); ++slot) {
        const unsigned char *record = records[size_t(slot)].data();
        const bool bad = marked.count(slot) > 0;
        if (record[8] == 2)
            files.measurements.append(LogRecord::measurementLine(record, columns, bad));
        else
            files.system.append(LogRecord::systemLine(record, bad));
    }
    files.system.append(QString("Retries %1").arg(retries));
    return files;
}

LogRecord::Columns columns(bool soil, bool solvane, bool globe1, bool globe2)
{
    LogRecord::Columns c;
    c.soil = soil;
    c.solvane = solvane;
    c.globeTemp1 = globe1;
    c.globeTemp2 = globe2;
    return c;
}

std::vector<sim::Record> plainLog(int count)
{
    sim::LogOptions options;
    options.events = false;
    return sim::generateLog(count, 5, options);
}

namespace
{

QtMessageHandler previousHandler = nullptr;

void muteOverflowLines(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text != QLatin1String("USBPort: Buffer Overflow"))
        previousHandler(type, context, text);
}

} // namespace

OverflowLinesMuted::OverflowLinesMuted()
{
    previousHandler = qInstallMessageHandler(&muteOverflowLines);
}

OverflowLinesMuted::~OverflowLinesMuted()
{
    qInstallMessageHandler(previousHandler);
}

} // namespace logchecks
