#include "log/logcsv.h"

#include "core/operationprogress.h"
#include "log/numbertext.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

#include <cstring>

namespace
{

constexpr int ProgressStep = 32;
constexpr int LineEndLength = 2;

// One CSV file: its whole text is formatted in memory, then written in one
// go beside the final name and put in place only by commit; one never
// committed is discarded and leaves whatever file was there before.
class CsvFile
{
public:
    CsvFile(const QString &fileName, int recordCount) : file(fileName)
    {
        file.open(QIODevice::WriteOnly);
        // About a measurement line with every column group per record: the
        // text seldom has to move, and pages never written cost nothing.
        text.resize(qMax(64 * 1024, recordCount * 256));
    }

    // Room for one line of at most length bytes and its line end; the line
    // is formatted there and ended by endLine.
    char *room(int length)
    {
        const int needed = used + length + LineEndLength;
        if (needed > text.size())
            text.resize(qMax(needed, 2 * text.size()));
        return text.data() + used;
    }

    void endLine(char *end)
    {
        end[0] = '\r';
        end[1] = '\n';
        used = int(end + LineEndLength - text.constData());
    }

    // Text of whole lines, line ends included.
    void append(const QByteArray &lines)
    {
        char *out = room(lines.size() - LineEndLength);
        std::memcpy(out, lines.constData(), size_t(lines.size()));
        used += lines.size();
    }

    void writeLine(const QByteArray &line)
    {
        char *out = room(line.size());
        std::memcpy(out, line.constData(), size_t(line.size()));
        endLine(out + line.size());
    }

    // Whether every byte has reached the file beside the final name.
    bool finish()
    {
        return file.isOpen() && file.write(text.constData(), used) == used && file.flush();
    }

    bool commit()
    {
        committed = file.commit();
        return committed;
    }
    bool isCommitted() const { return committed; }

    // The system's reason for the last failure, after the file's name.
    QString failure() const
    {
        return QDir::toNativeSeparators(file.fileName()) + QStringLiteral(": ") +
               file.errorString();
    }

private:
    QSaveFile file;
    QByteArray text;
    int used = 0;
    bool committed = false;
};

// The two files belong together: neither replaces its old version until
// both are written whole, so a failure never leaves a new file beside a
// stale one. Past that point only the sync and rename of each can fail.
OperationResult commitPair(CsvFile &measurements, CsvFile &system, const QString &fileName,
                           const QString &systemName)
{
    const bool measurementsWritten = measurements.finish();
    const bool systemWritten = system.finish();
    QStringList failed;
    QStringList reasons;
    if (!measurementsWritten || !systemWritten || !measurements.commit()) {
        failed << QDir::toNativeSeparators(fileName) << QDir::toNativeSeparators(systemName);
        // Only the files that failed say why; one not committed because the
        // other failed has nothing to say.
        const bool bothWritten = measurementsWritten && systemWritten;
        if (!measurementsWritten || (bothWritten && !measurements.isCommitted()))
            reasons << measurements.failure();
        if (!systemWritten)
            reasons << system.failure();
    } else if (!system.commit()) {
        failed << QDir::toNativeSeparators(systemName);
        reasons << system.failure();
    }
    if (failed.isEmpty())
        return OperationResult::success();
    return OperationResult::failure(
        OperationResult::Reason::File,
        QCoreApplication::translate("Talvik", "The log could not be saved to:\n%1")
            .arg(failed.join('\n')),
        reasons.join('\n'));
}

} // namespace

OperationResult writeLogCsv(const QString &fileName, const RecordStore &store, quint32 recordCount,
                            quint32 retryCount, const LogRecord::Columns &columns,
                            OperationProgress &progress)
{
    const int count = int(qMin(recordCount, store.capacity));

    const QString systemName = LogRecord::systemFileName(fileName);
    CsvFile measurements(fileName, count);
    CsvFile system(systemName, count / 8);

    progress.setRange(0, count);
    system.writeLine(LogRecord::systemHeader().toUtf8());
    measurements.writeLine(LogRecord::measurementHeader(columns).toUtf8());
    for (int i = 0; i < count; ++i) {
        if (i % ProgressStep == 0) {
            progress.setValue(i);
            // The export cannot be stopped halfway.
            progress.letEventsRun();
        }
        const unsigned char *record = store.records[i];
        const bool bad = store.badChecksum[i] == 1;
        if (record[LogRecord::KindOffset] == LogRecord::Measurement)
            measurements.endLine(LogRecord::appendMeasurementLine(
                measurements.room(LogRecord::MaxLineLength), record, columns, bad));
        else
            system.endLine(
                LogRecord::appendSystemLine(system.room(LogRecord::MaxLineLength), record, bad));
    }
    char *retries = system.room(LogRecord::MaxLineLength);
    std::memcpy(retries, "Retries ", 8);
    system.endLine(NumberText::appendInt(retries + 8, retryCount));

    const OperationResult committed = commitPair(measurements, system, fileName, systemName);
    progress.finish();
    return committed;
}

OperationResult writeLogFiles(const QString &fileName, const QByteArray &measurementText,
                              const QByteArray &systemText)
{
    const QString systemName = LogRecord::systemFileName(fileName);
    CsvFile measurements(fileName, 0);
    CsvFile system(systemName, 0);
    measurements.append(measurementText);
    system.append(systemText);
    return commitPair(measurements, system, fileName, systemName);
}
