#include "app/talvik.h"

#include "app/progresswindow.h"
#include "log/logrecord.h"
#include "log/logstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTextStream>

namespace
{

constexpr int ProgressStep = 32;

// One CSV file, written beside its final name and put in place only by
// commit; one never committed is discarded and leaves whatever file was
// there before.
class CsvFile
{
public:
    explicit CsvFile(const QString &fileName) : file(fileName)
    {
        if (file.open(QIODevice::WriteOnly)) {
            stream.setDevice(&file);
            stream.setCodec("UTF-8");
        }
    }

    void writeLine(const QString &line)
    {
        if (file.isOpen())
            stream << line << "\r\n";
    }

    // Whether every byte has reached the file beside the final name.
    bool finish()
    {
        if (!file.isOpen())
            return false;
        stream.flush();
        return stream.status() == QTextStream::Ok && file.flush();
    }

    bool commit() { return file.commit(); }

private:
    QSaveFile file;
    QTextStream stream;
};

} // namespace

int Talvik::writeLogCsv(const QString &fileName, quint32 recordCount, quint32 retryCount,
                        bool withSoil, bool withSolvane, bool withGlobeTemp1, bool withGlobeTemp2)
{
    LogRecord::Columns columns;
    columns.soil = withSoil;
    columns.solvane = withSolvane;
    columns.globeTemp1 = withGlobeTemp1;
    columns.globeTemp2 = withGlobeTemp2;
    const int count = int(qMin<quint32>(recordCount, LogRecord::StoreCapacity));

    const QString systemName = LogRecord::systemFileName(fileName);
    CsvFile measurements(fileName);
    CsvFile system(systemName);

    ProgressWindow progress(tr("Processing Log Information..."), QString(), 0, count, this);
    progress.setWindowTitle(tr("Talvik"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();

    system.writeLine(LogRecord::systemHeader());
    measurements.writeLine(LogRecord::measurementHeader(columns));
    for (int i = 0; i < count; ++i) {
        if (i % ProgressStep == 0) {
            progress.setValue(i);
            QCoreApplication::processEvents();
        }
        const unsigned char *record = LogStore[i];
        const bool bad = badChecksum[i] == 1;
        if (record[LogRecord::KindOffset] == LogRecord::Measurement)
            measurements.writeLine(LogRecord::measurementLine(record, columns, bad));
        else
            system.writeLine(LogRecord::systemLine(record, bad));
    }
    system.writeLine(QStringLiteral("Retries ") + QString::number(retryCount));

    // The two files belong together: neither replaces its old version until
    // both are written whole, so a failure never leaves a new file beside a
    // stale one. Past that point only the sync and rename of each can fail.
    const bool measurementsWritten = measurements.finish();
    const bool systemWritten = system.finish();
    QStringList failed;
    if (!measurementsWritten || !systemWritten || !measurements.commit())
        failed << QDir::toNativeSeparators(fileName) << QDir::toNativeSeparators(systemName);
    else if (!system.commit())
        failed << QDir::toNativeSeparators(systemName);
    progress.close();
    if (failed.isEmpty())
        return 0;
    showMessage(true, tr("The log could not be saved to:\n%1").arg(failed.join('\n')));
    return -1;
}
