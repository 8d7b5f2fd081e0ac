#include "archive/visitreport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QStringList>

namespace archive
{

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("Talvik", text);
}

QString pcTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss");
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString countOf(const QJsonObject &details, const char *key)
{
    return QString::number(details.value(key).toVariant().toLongLong());
}

QString stationOf(const VisitFacts &facts)
{
    const QString serial = tr("serial %1").arg(facts.serial);
    return facts.idText.trimmed().isEmpty() ? serial : facts.idText + ", " + serial;
}

// The module's software version, from the last read that told it.
QString softwareVersionOf(const Visit &visit)
{
    QString version;
    for (const VisitAction &action : visit.actions)
        if (action.name == action::ConfigurationRead && action.details.contains("softwareVersion"))
            version = countOf(action.details, "softwareVersion");
    return version.isEmpty() ? tr("not read") : version;
}

QString row(const QStringList &cells, const char *tag = "td")
{
    QString text = "<tr>";
    for (const QString &cell : cells)
        text += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), cell);
    return text + "</tr>";
}

QString section(const QString &title, const QStringList &items)
{
    if (items.isEmpty())
        return QString();
    QString text = "<h2>" + escaped(title) + "</h2><ul>";
    for (const QString &item : items)
        text += "<li>" + item + "</li>";
    return text + "</ul>";
}
} // namespace

QString actionTitle(const QString &name)
{
    static const QMap<QString, const char *> titles{
        {action::Connected, "Reconnected"},
        {action::ConfigurationRead, "Configuration read"},
        {action::ConfigurationWritten, "Configuration written"},
        {action::FileLoaded, "Settings file loaded"},
        {action::FileSaved, "Settings file saved"},
        {action::FirmwareUpload, "Firmware uploaded"},
        {action::ClockSet, "Clock set"},
        {action::ClockUpdate, "Clock update logged"},
        {action::SerialSet, "Serial number set"},
        {action::LogErased, "Log erased"},
        {action::CellSwitched, "Cell modem switched"},
        {action::Download, "Log downloaded"},
        {action::Findings, "Health check"},
        {action::Note, "Note"},
    };
    const auto title = titles.find(name);
    return title == titles.end() ? name : tr(title.value());
}

QStringList configurationChanges(const VisitAction &action)
{
    QStringList changes;
    for (const QJsonValue &change : action.details.value("changes").toArray()) {
        const QJsonObject item = change.toObject();
        changes << QStringLiteral("%1: %2 → %3")
                       .arg(item.value("field").toString(), item.value("before").toString(),
                            item.value("after").toString());
    }
    return changes;
}

QString actionSummary(const VisitAction &action)
{
    const QJsonObject &details = action.details;
    const QString &name = action.name;
    if (name == action::ConfigurationRead)
        return tr("%1 values, software version %2")
            .arg(details.value("values").toObject().size())
            .arg(countOf(details, "softwareVersion"));
    if (name == action::ConfigurationWritten) {
        if (!details.contains("comparedWith"))
            return tr("%1 values; what the module held was not known")
                .arg(details.value("values").toObject().size());
        const int changed = details.value("changes").toArray().size();
        return changed == 1 ? tr("1 field changed") : tr("%1 fields changed").arg(changed);
    }
    if (name == action::FileLoaded || name == action::FileSaved)
        return details.value("file").toString();
    if (name == action::FirmwareUpload)
        return tr("%1, %2 bytes, checksum 0x%3")
            .arg(details.value("file").toString(), countOf(details, "size"))
            .arg(details.value("checksum").toInt(), 4, 16, QChar('0'));
    if (name == action::ClockSet)
        return tr("to this PC's time %1").arg(details.value("pcTime").toString());
    if (name == action::ClockUpdate)
        return tr("from %1 to %2 (%3 s)")
            .arg(details.value("from").toString(), details.value("to").toString(),
                 countOf(details, "differenceSeconds"));
    if (name == action::SerialSet)
        return tr("to %1").arg(countOf(details, "serial"));
    if (name == action::LogErased)
        return tr("the archive holds %1 records of the station")
            .arg(countOf(details, "archivedRecords"));
    if (name == action::CellSwitched)
        return details.value("enabled").toBool() ? tr("enabled") : tr("disabled");
    if (name == action::Download) {
        const QString kind = details.value("full").toBool() ? tr("full") : tr("new records");
        const QString archived =
            details.value("archived").toBool()
                ? tr("%1 new to the archive").arg(countOf(details, "newToArchive"))
                : tr("not archived");
        return tr("%1: %2 records, %3, %4 retries")
            .arg(kind, countOf(details, "records"), archived, countOf(details, "retries"));
    }
    if (name == action::Findings) {
        const int count = details.value("findings").toArray().size();
        return count == 0 ? tr("nothing to look at")
                          : (count == 1 ? tr("1 finding") : tr("%1 findings").arg(count));
    }
    if (name == action::Note)
        return details.value("text").toString();
    if (name == action::Connected)
        return tr("serial %1").arg(countOf(details, "serial"));
    return QString();
}

QString visitReportHtml(const Visit &visit)
{
    const VisitFacts &facts = visit.facts;
    QString html =
        "<html><head><meta charset=\"utf-8\"><title>" + escaped(stationOf(facts)) +
        "</title><style>table{border-collapse:collapse;width:100%}td,th{border:1px solid "
        "#999;padding:3px 6px;text-align:left;vertical-align:top}</style></head><body>";
    html += "<h1>" +
            escaped(facts.collection ? tr("Collection by talvik-cli") : tr("Service visit")) +
            "</h1><table>";
    const QStringList header[] = {
        {tr("Station"), stationOf(facts)},
        {tr("Date"), pcTime(facts.startedAt)},
        {tr("Technician"), facts.user.isEmpty() ? tr("not recorded") : facts.user},
        {tr("PC"), facts.host.isEmpty() ? tr("not recorded") : facts.host},
        {tr("Talvik"), facts.program + ' ' + facts.version},
        {tr("Module software version"), softwareVersionOf(visit)},
    };
    for (const QStringList &line : header)
        html += row({"<b>" + escaped(line[0]) + "</b>", escaped(line[1])});
    html += "</table><h2>" + escaped(tr("Actions")) + "</h2><table>";
    html += row({tr("Time"), tr("Action"), tr("Outcome"), tr("Details")}, "th");
    QStringList changes, clock, records, findings, notes;
    for (const VisitAction &action : visit.actions) {
        const QString outcome = action.failure.isEmpty() ? tr("done") : action.failure;
        html += row({pcTime(action.at), escaped(actionTitle(action.name)), escaped(outcome),
                     escaped(actionSummary(action))});
        const QString when = pcTime(action.at) + ": ";
        if (action.name == action::ConfigurationWritten && action.failure.isEmpty())
            for (const QString &change : configurationChanges(action))
                changes << escaped(change);
        if ((action.name == action::ClockSet || action.name == action::ClockUpdate))
            clock << escaped(when + actionTitle(action.name) + ' ' + actionSummary(action) +
                             (action.failure.isEmpty() ? QString() : " (" + action.failure + ')'));
        if (action.name == action::Download && action.failure.isEmpty())
            records << escaped(when + actionSummary(action));
        if (action.name == action::Findings)
            for (const QJsonValue &finding : action.details.value("findings").toArray())
                findings << escaped(finding.toObject().value("text").toString());
        if (action.name == action::Note)
            notes << escaped(when + actionSummary(action));
    }
    html += "</table>";
    html += section(tr("Configuration changes"), changes);
    html += section(tr("Clock"), clock);
    html += section(tr("Records collected"), records);
    html += section(tr("Findings"), findings);
    html += section(tr("Notes"), notes);
    return html + "</body></html>";
}

QJsonObject visitJson(const Visit &visit)
{
    const VisitFacts &facts = visit.facts;
    QJsonArray actions;
    for (const VisitAction &action : visit.actions)
        actions.append(QJsonObject{{"at", pcTime(action.at)},
                                   {"action", action.name},
                                   {"outcome", action.failure.isEmpty() ? "success" : "failure"},
                                   {"message", action.failure},
                                   {"details", action.details}});
    return QJsonObject{{"id", visit.id},
                       {"kind", facts.collection ? "collection" : "visit"},
                       {"serial", qint64(facts.serial)},
                       {"station", facts.idText},
                       {"started", pcTime(facts.startedAt)},
                       {"program", facts.program},
                       {"version", facts.version},
                       {"host", facts.host},
                       {"user", facts.user},
                       {"actions", actions}};
}

QString visitLine(const Visit &visit)
{
    const VisitFacts &facts = visit.facts;
    QStringList names;
    for (const VisitAction &action : visit.actions)
        names << actionTitle(action.name).toLower();
    names.removeDuplicates();
    return QStringLiteral("%1  %2  %3  %4@%5  %6")
        .arg(visit.id)
        .arg(pcTime(facts.startedAt),
             facts.collection ? QStringLiteral("collection") : QStringLiteral("visit     "),
             facts.user.isEmpty() ? QStringLiteral("-") : facts.user,
             facts.host.isEmpty() ? QStringLiteral("-") : facts.host,
             names.isEmpty() ? tr("nothing done") : names.join(", "));
}

} // namespace archive
