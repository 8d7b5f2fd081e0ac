#include "app/stationarchive.h"

#include "archive/archivedatabase.h"
#include "archive/archivelocation.h"
#include "archive/configurationrecord.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QSysInfo>

StationArchive::StationArchive(QMainWindow *window, QMenu *tools)
    : QObject(window), label(new QLabel(window)), toggle(tools->addAction(tr("Archive Downloads")))
{
    label->setObjectName("LabelStation");
    window->statusBar()->addPermanentWidget(label);
    toggle->setObjectName("actionArchive");
    toggle->setCheckable(true);
    toggle->setChecked(archive::archivePreference());
    // TALVIK_ARCHIVE decides for this run whatever the preference says.
    toggle->setEnabled(qEnvironmentVariableIsEmpty("TALVIK_ARCHIVE"));
    connect(toggle, &QAction::toggled, this, [this](bool on) {
        archive::setArchivePreference(on);
        show();
    });
    show();
}

StationArchive::~StationArchive() = default;

bool StationArchive::enabled() const
{
    return archive::localArchive(archive::archivePreference()).enabled;
}

void StationArchive::connectionOpened()
{
    ++connections;
    asked = false;
    known = false;
    lastDownloadText.clear();
    show();
    emit moduleConnected();
}

void StationArchive::connectionLost()
{
    known = false;
    lastDownloadText.clear();
    show();
    emit moduleLost();
}

bool StationArchive::identityDue() const
{
    return enabled() && !asked;
}

void StationArchive::askIdentity(ModuleSession &session)
{
    asked = true;
    const quint64 during = connections;
    archive::StationIdentity identity;
    const bool told = archive::askStationIdentity(session, identity).succeeded();
    // A reconnection while it was asked leaves the answer to the next module.
    if (told && during == connections) {
        station = identity;
        known = true;
    }
    show();
    if (known)
        emit stationKnown(station.serial, station.idText);
}

void StationArchive::serialSet(quint32 serial)
{
    if (!known)
        return;
    station.serial = serial;
    show();
}

void StationArchive::configurationWritten(const config::Configuration &values)
{
    if (!known)
        return;
    station.idText = values.value("ID");
    show();
    keepConfiguration(station.serial, true, values);
}

archive::Database *StationArchive::database()
{
    const archive::Location location = archive::localArchive(archive::archivePreference());
    if (!location.enabled)
        return nullptr;
    if (db && openedPath == location.path)
        return db.get();
    db.reset();
    const OperationResult opened = archive::Database::openLocal(location.path, db);
    if (opened.failed()) {
        notArchived = opened.message();
        return nullptr;
    }
    openedPath = location.path;
    return db.get();
}

std::unique_ptr<archive::DownloadArchiver> StationArchive::archiverFor(ModuleSession &session,
                                                                       bool full)
{
    notArchived.clear();
    if (!enabled())
        return nullptr;
    if (!known)
        askIdentity(session);
    if (!known) {
        notArchived = tr("the module did not tell its serial number");
        return nullptr;
    }
    if (!archive::archivableSerial(station.serial)) {
        notArchived = tr("the module has no serial number (it reads %1)").arg(station.serial);
        return nullptr;
    }
    archive::Database *opened = database();
    if (opened == nullptr)
        return nullptr;
    archive::DownloadFacts facts = archive::downloadFactsFor(station, full);
    if (versionSerial == station.serial)
        facts.softwareVersion = softwareVersion;
    return std::make_unique<archive::DownloadArchiver>(*opened, RecordStore::programWide(), facts);
}

void StationArchive::downloadEnded(const archive::DownloadArchiver *archiver, bool filesWritten)
{
    if (!enabled() || !filesWritten)
        return;
    if (archiver != nullptr && archiver->attempted())
        lastDownloadText = archiver->statusText();
    else
        lastDownloadText = tr("Not archived: %1.")
                               .arg(notArchived.isEmpty() ? tr("the module was "
                                                               "reconnected during the "
                                                               "download")
                                                          : notArchived);
    show();
}

void StationArchive::configurationRead(const config::ModuleIdentity &identity,
                                       const config::Configuration &values)
{
    versionSerial = identity.serialNumber;
    softwareVersion = identity.softwareVersion;
    keepConfiguration(identity.serialNumber, false, values);
}

void StationArchive::keepConfiguration(quint32 serial, bool written,
                                       const config::Configuration &values)
{
    if (!enabled() || !archive::archivableSerial(serial))
        return;
    archive::Database *opened = database();
    if (opened == nullptr)
        return;
    archive::ConfigurationFacts facts;
    facts.serial = serial;
    facts.recordedAt = QDateTime::currentMSecsSinceEpoch();
    facts.direction =
        written ? archive::ConfigurationDirection::Written : archive::ConfigurationDirection::Read;
    facts.program = "talvik";
    facts.host = QSysInfo::machineHostName();
    facts.user = qEnvironmentVariable("USER");
    const OperationResult kept = archive::recordConfiguration(*opened, facts, values);
    if (kept.failed()) {
        lastDownloadText = tr("Configuration not archived. %1").arg(kept.message());
        show();
    }
}

void StationArchive::showNote(const QString &text)
{
    lastDownloadText = text;
    show();
}

void StationArchive::show()
{
    QString text;
    if (known)
        text = archive::stationText(station);
    if (!lastDownloadText.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" · ")) + lastDownloadText;
    label->setText(text);
    label->setVisible(!text.isEmpty());
}
