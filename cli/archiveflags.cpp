#include "cli/archiveflags.h"

#include "archive/stationhistory.h"
#include "cli/filetargets.h"
#include "log/logreader.h"
#include "log/qualityflags.h"

#include <algorithm>

namespace cli
{

OperationResult writeExportFlags(archive::Database &database, quint32 serial,
                                 const QString &fileName, QString &flagsFile)
{
    // The files as they were written: the flags follow their lines one for one.
    LogReader::Log log;
    QString error;
    if (LogReader::readLog(fileName, log, error) != 0)
        return OperationResult::failure(OperationResult::Reason::File, error);
    std::vector<archive::ConfigurationAt> configurations;
    const OperationResult read = archive::configurationHistory(database, serial, configurations);
    if (read.failed())
        return read;
    // One unit per column: the one in force at the newest measurement.
    qint64 newest = LogReader::NoTime;
    for (qint64 time : log.time)
        newest = std::max(newest, time);
    const QMap<QString, QString> &settings = archive::settingsAt(configurations, newest);
    std::vector<double> scales;
    for (const LogReader::Column &column : log.columns)
        scales.push_back(QualityFlags::unitScale(archive::configuredUnit(column.title, settings)));
    // The command checked before the export that the name may be written.
    const QString name = QualityFlags::flagsFileName(fileName);
    const QString failure =
        writeWhole(name, QualityFlags::flagsCsv(log, QualityFlags::flagLog(log, scales)));
    if (!failure.isEmpty())
        return OperationResult::failure(OperationResult::Reason::File, failure);
    flagsFile = name;
    return OperationResult::success();
}

} // namespace cli
