// The archive's commands: what it holds, and a download's files again. None
// of them opens the module.
#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/archivequeries.h"
#include "archive/configurationrecord.h"
#include "archive/downloadarchiver.h"
#include "archive/history.h"
#include "archive/import.h"
#include "archive/serverschema.h"
#include "archive/stationboard.h"
#include "archive/stationhistory.h"
#include "archive/sync.h"
#include "cli/archiveflags.h"
#include "cli/commands.h"
#include "cli/filetargets.h"
#include "cli/moduleconnection.h"
#include "cli/terminalprogress.h"
#include "log/healthcheck.h"
#include "log/logreader.h"
#include "log/qualityflags.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>
#include <cmath>
#include <memory>

namespace cli
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("talvik-cli", text);
}

} // namespace

// The archive of --archive FILE, or the user's own whatever the preference
// says: reading it does no harm. A network's server is only read, and only
// by the commands that allow it.
int openArchive(const Invocation &invocation, Console &console,
                std::unique_ptr<archive::Database> &database, bool serverAllowed)
{
    const QString path = invocation.values.contains("--archive") ? invocation.value("--archive")
                                                                 : archive::localArchive(true).path;
    if (path.isEmpty())
        return usageError(console, tr("TALVIK_ARCHIVE is off; name an archive with --archive."));
    if (archive::Database::isServerAddress(path)) {
        if (!serverAllowed)
            return usageError(console, tr("--archive names a server; only 'archive stations', "
                                          "'archive downloads' and 'archive export' read one, "
                                          "and only 'archive sync' writes to it."));
        return conclude(console,
                        archive::Database::openServer(path, archive::ServerUse::Read, database));
    }
    return conclude(console, archive::Database::openLocal(path, database));
}

namespace
{

QString pcTime(qint64 ms)
{
    return ms == 0 ? QString("-")
                   : QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss");
}

QString moduleTime(qint64 seconds, bool known)
{
    return known ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString("yyyy-MM-dd hh:mm:ss")
                 : QString("-");
}

// A time on the module's clock, "yyyy-MM-dd" or "yyyy-MM-dd hh:mm[:ss]"; the
// end of a range given as a day is that day's last second.
bool moduleTimeOf(const QString &text, bool end, qint64 &seconds)
{
    if (text.isEmpty()) {
        seconds = archive::NoLimit;
        return true;
    }
    for (const char *format : {"yyyy-MM-dd hh:mm:ss", "yyyy-MM-dd hh:mm", "yyyy-MM-ddThh:mm:ss"}) {
        const QDateTime time = QDateTime::fromString(text, format);
        if (time.isValid()) {
            seconds = QDateTime(time.date(), time.time(), Qt::UTC).toSecsSinceEpoch();
            return true;
        }
    }
    const QDate day = QDate::fromString(text, "yyyy-MM-dd");
    if (!day.isValid())
        return false;
    seconds = QDateTime(day, QTime(0, 0), Qt::UTC).toSecsSinceEpoch() + (end ? 86399 : 0);
    return true;
}

bool serialOf(const Invocation &invocation, quint32 &serial)
{
    bool number = false;
    const qint64 value = invocation.value("--station").toLongLong(&number);
    if (!number || value < 0 || value > 0xFFFFFFFFLL)
        return false;
    serial = quint32(value);
    return true;
}
} // namespace

void keepConfiguration(ModuleConnection &connection, Console &console, quint32 serial, bool written,
                       const config::Configuration &configuration)
{
    const archive::Location location = archive::localArchive(archive::archivePreference());
    if (!location.enabled)
        return;
    if (serial == 0) {
        archive::StationIdentity station;
        if (archive::askStationIdentity(connection.session(), station).failed()) {
            tell(console, tr("The configuration was not archived: the module did not tell its "
                             "serial number."));
            return;
        }
        serial = station.serial;
    }
    if (!archive::archivableSerial(serial))
        return;
    std::unique_ptr<archive::Database> database;
    OperationResult kept = archive::Database::openLocal(location.path, database);
    if (kept.succeeded()) {
        archive::ConfigurationFacts facts;
        facts.serial = serial;
        facts.recordedAt = QDateTime::currentMSecsSinceEpoch();
        facts.direction = written ? archive::ConfigurationDirection::Written
                                  : archive::ConfigurationDirection::Read;
        facts.program = "talvik-cli";
        facts.host = QSysInfo::machineHostName();
        facts.user = qEnvironmentVariable("USER");
        kept = archive::recordConfiguration(*database, facts, configuration);
    }
    if (kept.failed())
        tell(console, tr("The configuration was not archived. %1").arg(kept.message()));
}

namespace
{
// "3 d 4 h", "5 h 12 min": an age or an interval on this PC's clock.
QString spanText(qint64 ms)
{
    const qint64 minutes = ms / 60000;
    if (minutes >= 24 * 60)
        return QString("%1 d %2 h").arg(minutes / (24 * 60)).arg(minutes / 60 % 24);
    return QString("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QJsonValue finite(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QString stationName(const archive::StationSummary &station)
{
    return station.idTexts.isEmpty() ? QString::number(station.serial)
                                     : QString("%1 %2").arg(station.serial).arg(station.idTexts[0]);
}

// One line per station that is not on time; the worst state is the exit code.
int checkStations(const std::vector<archive::BoardRow> &rows, bool strict, Console &console)
{
    int code = CheckOnTime;
    for (const archive::BoardRow &row : rows) {
        const archive::CollectionRhythm &rhythm = row.rhythm;
        QString line;
        switch (rhythm.state) {
        case archive::StationState::OnTime:
            continue;
        case archive::StationState::Unknown:
            if (!strict)
                continue;
            code = std::max(code, int(CheckLate));
            line = tr("unknown, %1 downloads").arg(rhythm.downloads);
            break;
        case archive::StationState::Late:
        case archive::StationState::Missing:
            code = std::max(code, rhythm.state == archive::StationState::Late ? int(CheckLate)
                                                                              : int(CheckMissing));
            line = tr("%1, records last came %2 ago, usually every %3")
                       .arg(archive::stateName(rhythm.state), spanText(rhythm.age),
                            spanText(rhythm.usualInterval));
            break;
        }
        console.out << stationName(row.station) << ": " << line << '\n';
    }
    console.out.flush();
    return code;
}
} // namespace

int archiveStations(const Invocation &invocation, ModuleConnection &, Console &console)
{
    const bool check = invocation.has("--check");
    if (invocation.has("--strict") && !check)
        return usageError(console, tr("--strict goes with --check."));
    // A check never makes the archive it is to read.
    const QString path = invocation.values.contains("--archive") ? invocation.value("--archive")
                                                                 : archive::localArchive(true).path;
    if (check && !path.isEmpty() && !archive::Database::isServerAddress(path) &&
        !QFileInfo::exists(path)) {
        tell(console, tr("There is no archive at %1.").arg(QDir::toNativeSeparators(path)));
        return CheckUnknown;
    }
    std::unique_ptr<archive::Database> database;
    std::vector<archive::BoardRow> rows;
    int opened = openArchive(invocation, console, database, true);
    if (opened == Success) {
        const OperationResult read =
            archive::readBoard(*database, QDateTime::currentMSecsSinceEpoch(), rows);
        if (read.failed())
            opened = conclude(console, read);
    }
    if (opened != Success)
        return check ? int(CheckUnknown) : opened;
    if (check)
        return checkStations(rows, invocation.has("--strict"), console);
    if (invocation.has("--json")) {
        QJsonArray list;
        for (const archive::BoardRow &row : rows) {
            const archive::StationSummary &station = row.station;
            const archive::CollectionRhythm &rhythm = row.rhythm;
            const archive::StationHealth &health = station.health;
            list.append(QJsonObject{
                {"serial", qint64(station.serial)},
                {"id", station.idTexts.isEmpty() ? QJsonValue() : QJsonValue(station.idTexts[0])},
                {"idTexts", QJsonArray::fromStringList(station.idTexts)},
                {"records", station.records},
                {"firstRecord", moduleTime(station.firstRecordTime, station.records > 0)},
                {"lastRecord", moduleTime(station.lastRecordTime, station.records > 0)},
                {"lastDownload", pcTime(station.lastDownload)},
                {"downloads", rhythm.downloads},
                {"ageSeconds", rhythm.downloads > 0 ? QJsonValue(rhythm.age / 1000) : QJsonValue()},
                {"usualIntervalSeconds",
                 rhythm.usualInterval > 0 ? QJsonValue(rhythm.usualInterval / 1000) : QJsonValue()},
                {"state", archive::stateName(rhythm.state)},
                {"lastVisit",
                 row.lastVisitAt > 0 ? QJsonValue(pcTime(row.lastVisitAt)) : QJsonValue()},
                {"lastVisitBy", row.lastVisitBy},
                {"softwareVersion",
                 row.softwareVersion >= 0 ? QJsonValue(row.softwareVersion) : QJsonValue()},
                {"configurationChanged", archive::changeText(row.configurationChange)},
                {"findings", health.known ? QJsonValue(health.findings) : QJsonValue()},
                {"worstFinding", health.worst.isEmpty() ? QJsonValue() : QJsonValue(health.worst)},
                {"batteryVolts", finite(health.battery)},
                {"batteryTrendVoltsPerDay", finite(health.batteryPerDay)}});
        }
        console.out << QJsonDocument(list).toJson(QJsonDocument::Compact) << '\n';
    } else {
        console.out << tr("Serial      ID                    Records  First record         "
                          "Last record          Last download        Age        State     "
                          "Software  Changed  Findings  Battery   Trend           "
                          "Worst finding                      Last visit\n");
        for (const archive::BoardRow &row : rows) {
            const archive::StationSummary &station = row.station;
            const archive::StationHealth &health = station.health;
            const QString visit =
                row.lastVisitAt > 0
                    ? pcTime(row.lastVisitAt) +
                          (row.lastVisitBy.isEmpty() ? QString() : ' ' + row.lastVisitBy)
                    : QString("-");
            console.out
                << QString("%1  %2  %3  %4  %5  %6  %7  %8  ")
                       .arg(station.serial, -10)
                       .arg(station.idTexts.join(" / "), -20)
                       .arg(station.records, 7)
                       .arg(moduleTime(station.firstRecordTime, station.records > 0), -19)
                       .arg(moduleTime(station.lastRecordTime, station.records > 0), -19)
                       .arg(pcTime(station.lastDownload), -19)
                       .arg(row.rhythm.downloads > 0 ? spanText(row.rhythm.age) : QString("-"), -9)
                       .arg(archive::stateName(row.rhythm.state), -8)
                << QString("%1  %2  %3  %4  %5  %6  %7\n")
                       .arg(row.softwareVersion >= 0 ? QString::number(row.softwareVersion)
                                                     : QString("-"),
                            -8)
                       .arg(archive::changeText(row.configurationChange), -7)
                       .arg(health.known ? QString::number(health.findings) : QString("-"), 8)
                       .arg(archive::batteryText(health.battery), -8)
                       .arg(archive::trendText(health.batteryPerDay), -14)
                       .arg(health.worst.isEmpty() ? QString("-") : health.worst, -33)
                       .arg(visit);
        }
    }
    console.out.flush();
    return Success;
}

int archiveDownloads(const Invocation &invocation, ModuleConnection &, Console &console)
{
    quint32 serial = 0;
    if (!serialOf(invocation, serial))
        return usageError(console, tr("'archive downloads' needs --station SERIAL."));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database, true); opened != Success)
        return opened;
    QVector<archive::DownloadSummary> downloads;
    const OperationResult listed = archive::listDownloads(*database, serial, downloads);
    if (listed.failed())
        return conclude(console, listed);
    if (invocation.has("--json")) {
        QJsonArray list;
        for (const archive::DownloadSummary &download : downloads)
            list.append(QJsonObject{{"id", download.id},
                                    {"serial", qint64(download.serial)},
                                    {"downloadedAt", pcTime(download.downloadedAt)},
                                    {"full", download.full},
                                    {"imported", download.imported},
                                    {"host", download.host},
                                    {"user", download.user},
                                    {"records", qint64(download.recordCount)},
                                    {"retries", qint64(download.retryCount)},
                                    {"file", download.fileName}});
        console.out << QJsonDocument(list).toJson(QJsonDocument::Compact) << '\n';
    } else {
        console.out << tr("Id     Downloaded           Kind      Records  Retries  File\n");
        for (const archive::DownloadSummary &download : downloads)
            console.out << QString("%1  %2  %3  %4  %5  %6\n")
                               .arg(download.id, -5)
                               .arg(pcTime(download.downloadedAt), -19)
                               .arg(download.imported ? tr("imported")
                                    : download.full   ? tr("full")
                                                      : tr("new"),
                                    -8)
                               .arg(download.recordCount, 7)
                               .arg(download.retryCount, 7)
                               .arg(QDir::toNativeSeparators(download.fileName));
    }
    console.out.flush();
    return Success;
}

int archiveExport(const Invocation &invocation, ModuleConnection &, Console &console)
{
    bool number = false;
    const qint64 id = invocation.value("--download").toLongLong(&number);
    quint32 serial = 0;
    const bool station = invocation.values.contains("--station");
    if (station == invocation.values.contains("--download") ||
        (station ? !serialOf(invocation, serial) : !number))
        return usageError(console, tr("'archive export' needs --download ID or --station SERIAL."));
    qint64 from = archive::NoLimit;
    qint64 to = archive::NoLimit;
    if (!moduleTimeOf(invocation.value("--from"), false, from) ||
        !moduleTimeOf(invocation.value("--to"), true, to))
        return usageError(console, tr("--from and --to take a time on the module's clock, "
                                      "\"yyyy-MM-dd\" or \"yyyy-MM-dd hh:mm:ss\"."));
    QString fileName = invocation.value("--output");
    if (fileName.isEmpty())
        return usageError(console, tr("'archive export' needs -o FILE.csv."));
    if (!fileName.endsWith(".csv", Qt::CaseInsensitive))
        fileName += ".csv";
    QStringList names = {fileName, LogRecord::systemFileName(fileName)};
    if (invocation.has("--flags"))
        names << QualityFlags::flagsFileName(fileName);
    for (const QString &name : names) {
        const NodeKind kind = nodeKind(name);
        if ((kind != NodeKind::Missing && kind != NodeKind::RegularFile) || isSystemNode(name))
            return usageError(console,
                              tr("%1 is %2; 'archive export' writes a regular file.")
                                  .arg(QDir::toNativeSeparators(name), nodeDescription(name)));
    }
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database, true); opened != Success)
        return opened;
    qint64 records = 0;
    const OperationResult exported =
        station ? archive::exportStation(*database, serial, from, to, fileName, records)
                : archive::exportDownload(*database, id, fileName);
    if (exported.failed())
        return conclude(console, exported);
    console.out << QDir::toNativeSeparators(fileName) << '\n'
                << QDir::toNativeSeparators(LogRecord::systemFileName(fileName)) << '\n';
    console.out.flush();
    if (invocation.has("--flags")) {
        QString flagsFile;
        OperationResult flagged =
            station ? OperationResult::success() : archive::downloadSerial(*database, id, serial);
        if (flagged.succeeded())
            flagged = writeExportFlags(*database, serial, fileName, flagsFile);
        if (flagged.failed())
            return conclude(console, flagged);
        console.out << QDir::toNativeSeparators(flagsFile) << '\n';
        console.out.flush();
    }
    return Success;
}

int archiveGaps(const Invocation &invocation, ModuleConnection &, Console &console)
{
    quint32 serial = 0;
    if (!serialOf(invocation, serial))
        return usageError(console, tr("'archive gaps' needs --station SERIAL."));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database); opened != Success)
        return opened;
    std::vector<qint64> times;
    const OperationResult read = archive::measurementTimes(*database, serial, times);
    if (read.failed())
        return conclude(console, read);
    // The health check's rule: a step over a few times the usual interval.
    qint64 usual = 0;
    const std::vector<HealthCheck::Gap> gaps = HealthCheck::findGaps(times, usual);
    if (invocation.has("--json")) {
        QJsonArray list;
        for (const HealthCheck::Gap &gap : gaps)
            list.append(QJsonObject{{"from", LogReader::timeText(gap.from)},
                                    {"to", LogReader::timeText(gap.to)},
                                    {"seconds", gap.to - gap.from}});
        console.out << QJsonDocument(QJsonObject{{"usualIntervalSeconds", usual},
                                                 {"measurements", qint64(times.size())},
                                                 {"gaps", list}})
                           .toJson(QJsonDocument::Compact)
                    << '\n';
    } else {
        console.out << tr("%1 measurements, usually %2 s apart; %3 gaps (module's clock):\n")
                           .arg(times.size())
                           .arg(usual)
                           .arg(gaps.size());
        for (const HealthCheck::Gap &gap : gaps)
            console.out << QString("%1 .. %2  %3 h\n")
                               .arg(LogReader::timeText(gap.from), LogReader::timeText(gap.to))
                               .arg((gap.to - gap.from) / 3600.0, 0, 'f', 1);
    }
    console.out.flush();
    return Success;
}

int archiveImport(const Invocation &invocation, ModuleConnection &, Console &console)
{
    quint32 serial = 0;
    if (!serialOf(invocation, serial) || !archive::archivableSerial(serial))
        return usageError(console, tr("'archive import' needs --station SERIAL, the serial "
                                      "number of the station the files came from."));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database); opened != Success)
        return opened;
    if (database->isServer())
        return usageError(console, tr("'archive import' writes the local archive only."));
    archive::ImportSummary summary;
    return conclude(console,
                    archive::importLog(*database, invocation.words.first(), serial, summary));
}

int archiveRemove(const Invocation &invocation, ModuleConnection &, Console &console)
{
    bool number = false;
    const qint64 id = invocation.value("--download").toLongLong(&number);
    if (!number)
        return usageError(console, tr("'archive remove' needs --download ID."));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database); opened != Success)
        return opened;
    return conclude(console, archive::removeDownload(*database, id));
}

int archiveBackup(const Invocation &invocation, ModuleConnection &, Console &console)
{
    const QString fileName = invocation.value("--output");
    if (fileName.isEmpty())
        return usageError(console, tr("'archive backup' needs -o FILE."));
    std::unique_ptr<archive::Database> database;
    if (const int opened = openArchive(invocation, console, database); opened != Success)
        return opened;
    const OperationResult copied = archive::backUp(*database, fileName);
    if (copied.succeeded()) {
        console.out << QDir::toNativeSeparators(fileName) << '\n';
        console.out.flush();
    }
    return conclude(console, copied);
}

namespace
{
// The server of --to: a postgresql:// address.
bool serverAddress(const Invocation &invocation, const char *command, Console &console,
                   QString &uri, int &code)
{
    uri = invocation.value("--to");
    if (archive::Database::isServerAddress(uri))
        return true;
    code = usageError(console, tr("'archive %1' needs --to postgresql://[USER@]HOST[:PORT]/DB.")
                                   .arg(QLatin1String(command)));
    return false;
}
} // namespace

int archiveInit(const Invocation &invocation, ModuleConnection &, Console &console)
{
    QString uri;
    int code = Success;
    if (!serverAddress(invocation, "init", console, uri, code))
        return code;
    std::unique_ptr<archive::Database> server;
    const OperationResult opened =
        archive::Database::openServer(uri, archive::ServerUse::Init, server);
    if (opened.failed())
        return conclude(console, opened);
    console.out << tr("The archive on %1 is ready (version %2).\n")
                       .arg(uri)
                       .arg(archive::ServerSchemaVersion);
    console.out.flush();
    return Success;
}

int archiveSync(const Invocation &invocation, ModuleConnection &, Console &console)
{
    QString uri;
    int code = Success;
    if (!serverAddress(invocation, "sync", console, uri, code))
        return code;
    std::unique_ptr<archive::Database> local;
    if (const int opened = openArchive(invocation, console, local); opened != Success)
        return opened;
    std::unique_ptr<archive::Database> server;
    const OperationResult opened =
        archive::Database::openServer(uri, archive::ServerUse::Sync, server);
    if (opened.failed())
        return conclude(console, opened);
    archive::SyncOptions options;
    options.withNames = invocation.has("--with-names");
    archive::SyncSummary summary;
    TerminalProgress progress(console.err, console.progressBars);
    const OperationResult synced =
        archive::syncArchive(*local, *server, options, progress, summary);
    console.out << tr("Sent %1 downloads (%2 records) and %3 configurations to %4.\n")
                       .arg(summary.downloads)
                       .arg(summary.records)
                       .arg(summary.configurations)
                       .arg(uri);
    console.out.flush();
    return conclude(console, synced);
}

} // namespace cli
