#include "log/logformat.h"

#include <algorithm>

namespace LogFormat
{

namespace
{
constexpr char Battery[] = "Battery and module";
} // namespace

const std::array<Column, 28> FixedColumns = {{
    {"Wind", "Wind", Quantity::WindSpeed, Encoding::Real, "", 9},
    {"Direction", "Wind", Quantity::Direction, Encoding::Int16, "°", 13},
    {"Wind 2 min", "Wind", Quantity::WindSpeed, Encoding::Real, "", 15},
    {"Direction 2 min", "Wind", Quantity::Direction, Encoding::Int16, "°", 19},
    {"Wind 10 min", "Wind", Quantity::WindSpeed, Encoding::Real, "", 21},
    {"Direction 10 min", "Wind", Quantity::Direction, Encoding::Int16, "°", 25},
    {"Gust", "Wind", Quantity::WindSpeed, Encoding::Real, "", 27},
    {"Gust Direction", "Wind", Quantity::Direction, Encoding::Int16, "°", 31},
    {"WDS Status", Battery, Quantity::Status, Encoding::Int16, "", 33},
    {"Temperature", "Temperature", Quantity::Temperature, Encoding::Real, "", 35},
    {"Humidity", "Humidity", Quantity::Humidity, Encoding::Real, "%", 39},
    {"Pressure", "Pressure", Quantity::Pressure, Encoding::Real, "", 43},
    {"Pressure Temperature", "Temperature", Quantity::Temperature, Encoding::Real, "", 47},
    {"Trend", "Pressure", Quantity::Other, Encoding::Int16, "", 51},
    {"TPH Status", Battery, Quantity::Status, Encoding::Int16, "", 53},
    {"Rain Inc", "Rain", Quantity::Rain, Encoding::Real, "", 55},
    {"Rain Day", "Rain", Quantity::Rain, Encoding::Real, "", 59},
    {"Rain Rate", "Rain", Quantity::Rain, Encoding::Real, "", 63},
    {"Analog 1", "Analog channels", Quantity::Other, Encoding::Real, "", 67},
    {"Analog 2", "Analog channels", Quantity::Other, Encoding::Real, "", 71},
    {"Battery Voltage", Battery, Quantity::BatteryVoltage, Encoding::Milli, "V", 75},
    {"Input Voltage", Battery, Quantity::InputVoltage, Encoding::Milli, "V", 77},
    {"Charger Status", Battery, Quantity::Status, Encoding::Int16, "", 79},
    {"CM Temperature", Battery, Quantity::Other, Encoding::Int16, "", 81},
    {"Lightning Strikes", "Lightning", Quantity::Status, Encoding::Int16, "", 83},
    {"Lightning Distance", "Lightning", Quantity::Status, Encoding::Int16, "", 85},
    {"Lightning Noise", "Lightning", Quantity::Status, Encoding::Int16, "", 87},
    {"Lightning Disturber", "Lightning", Quantity::Status, Encoding::Int16, "", 89},
}};

// "Mosture" is how the export has always spelled it; files and the
// spreadsheets built on them depend on the title.
const std::array<Column, 12> SoilColumns = {{
    {"Soil Mosture 1", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Mosture 2", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Mosture 3", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Mosture 4", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Mosture 5", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Mosture 6", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Temp 1", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Temp 2", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Temp 3", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Temp 4", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Temp 5", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
    {"Soil Temp 6", "Soil", Quantity::Other, Encoding::Hundredths, "", 0},
}};

const std::array<Column, 2> SolvaneColumns = {{
    {"Solvane Filtered", "Solar", Quantity::Other, Encoding::Tenths, "", 0},
    {"Solvane Sensor", "Solar", Quantity::Other, Encoding::Tenths, "", 0},
}};

const Column GlobeColumn = {
    "WetBulb Globe Temperature", "Temperature", Quantity::Temperature, Encoding::Real, "", 0};

const std::array<const char *, 10> GroupOrder = {
    "Temperature", "Humidity",        "Pressure", "Wind",  "Rain",
    "Solar",       "Analog channels", "Soil",     Battery, "Lightning"};

const Column *columnTitled(const QString &title)
{
    const auto in = [&title](const Column *begin, const Column *end) -> const Column * {
        const Column *found = std::find_if(begin, end, [&title](const Column &column) {
            return title == QLatin1String(column.title);
        });
        return found != end ? found : nullptr;
    };
    const Column *found = in(FixedColumns.begin(), FixedColumns.end());
    if (found == nullptr)
        found = in(SoilColumns.begin(), SoilColumns.end());
    if (found == nullptr)
        found = in(SolvaneColumns.begin(), SolvaneColumns.end());
    if (found == nullptr)
        found = in(&GlobeColumn, &GlobeColumn + 1);
    return found;
}

int decimalsOf(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Int16:
        return 0;
    case Encoding::Milli:
        return 3;
    case Encoding::Hundredths:
        return 2;
    case Encoding::Tenths:
        return 1;
    case Encoding::Real:
        break;
    }
    return -1;
}

QString measurementHeader(bool soil, bool solvane, bool globeTemp1, bool globeTemp2)
{
    QString header = QStringLiteral("Index,Date/Time (UTC)");
    const auto add = [&header](const Column &column) {
        header += QLatin1Char(',') + QLatin1String(column.title);
    };
    for (const Column &column : FixedColumns)
        add(column);
    if (soil)
        for (const Column &column : SoilColumns)
            add(column);
    if (solvane)
        for (const Column &column : SolvaneColumns)
            add(column);
    if (globeTemp1)
        add(GlobeColumn);
    if (globeTemp2)
        add(GlobeColumn);
    return header;
}

} // namespace LogFormat
