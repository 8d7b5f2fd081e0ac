#include "sim/demo/demomodule.h"

#include "sim/logrecords.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"

#include <QDateTime>

namespace
{

constexpr int DemoRecords = 3200;
constexpr int DemoNewRecords = 420;
constexpr int LogIntervalSeconds = 600;

} // namespace

// A module as a technician finds it in the field.
void plugInDemoModule()
{
    sim::SimulatedModule &module = sim::freshModule(false);
    sim::setPacing(sim::Pacing::FullSpeed);

    // The log ends about now; its times are the module's UTC.
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-qint64(DemoRecords) *
                                                                    LogIntervalSeconds * 98 / 100);
    sim::LogOptions options;
    options.start = sim::LogTime{start.date().year(), start.date().month(),  start.date().day(),
                                 start.time().hour(), start.time().minute(), 0};
    options.intervalSeconds = LogIntervalSeconds;
    // The configuration has soil probes and a globe thermometer on analog 2.
    options.soil = true;
    options.globe2 = true;
    options.firstIndex = 18000;
    module.addRecords(sim::generateLog(DemoRecords, 2024, options));
    module.setNewMark(DemoRecords - DemoNewRecords);

    // Checking and storing an image takes the module a moment.
    module.setFirmwareVerdictDelay(1500);
    sim::plug();
}
