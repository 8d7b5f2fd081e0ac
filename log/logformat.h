#ifndef LOGFORMAT_H
#define LOGFORMAT_H

#include <QString>

#include <array>

// The columns of the measurement file, once: the title the header gives each,
// the group the viewer lists it in, what it measures and the unit the file
// fixes. The export writes its header and values from this table, the reader
// knows the columns by it, the health check and the viewer take groups and
// units from what the reader found.
namespace LogFormat
{

// What a column measures, as far as the health check needs to know.
enum class Quantity {
    Temperature,
    Humidity,
    Pressure,
    WindSpeed,
    Direction,
    BatteryVoltage,
    InputVoltage,
    Rain,
    Status,
    Other
};

// How the record holds a value, and so how many decimals the file prints.
enum class Encoding {
    Real,       // f32, six significant digits
    Int16,      // s16, whole numbers
    Milli,      // s16 / 1000
    Hundredths, // s16 / 100
    Tenths,     // s16 / 10
};

struct Column {
    const char *title;
    const char *group;
    Quantity quantity;
    Encoding encoding;
    // The unit the file fixes; empty where the module's unit settings choose
    // it, which the file does not record.
    const char *unit;
    // Where the value lies in the record, for the columns every line has;
    // the optional blocks place their own.
    int offset;
};

// The 28 columns every measurement line has, in the file's order.
extern const std::array<Column, 28> FixedColumns;
// Those of the optional blocks, each written only when its group is on.
extern const std::array<Column, 12> SoilColumns;
extern const std::array<Column, 2> SolvaneColumns;
// Written once for each globe temperature channel that is on.
extern const Column GlobeColumn;

// The groups in the order the viewer lists them: the weather first, then
// what the station says about itself.
extern const std::array<const char *, 10> GroupOrder;

// The column a header title names, or nullptr for a title no log has.
const Column *columnTitled(const QString &title);

// The most decimals a value of this encoding prints; -1 for six significant
// digits.
int decimalsOf(Encoding encoding);

constexpr char SystemHeader[] = "Index,Date/Time (UTC),System Information";
QString measurementHeader(bool soil, bool solvane, bool globeTemp1, bool globeTemp2);

} // namespace LogFormat

#endif
