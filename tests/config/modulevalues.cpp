#include "tests/config/modulevalues.h"

#include "sim/simulatedmodule.h"

namespace
{

int moduleChoice(const QString &widget)
{
    static const QMap<QString, int> values = {
        {"ComboBoxDL", 3},         {"ComboBoxLogRate", 9},   {"ComboBoxLogEmailRate", 2},
        {"ComboBoxLogFTPRate", 4}, {"ComboBoxFan", 2},       {"ComboBoxTempUnits", 1},
        {"ComboBoxPressUnits", 4}, {"ComboBoxWindUnits", 3}, {"ComboBoxAN1Type", 1},
        {"ComboBoxAN1Units", 1},   {"ComboBoxAN2Type", 2},   {"ComboBoxAN2Units", 0},
        {"ComboBoxRainType", 2},   {"ComboBoxWURate", 5},    {"ComboBoxLightning", 1},
    };
    return values.value(widget, -100);
}

QByteArray textWrite(int index, const QByteArray &text)
{
    return report(QByteArray(1, 0x15) + be16(index) + QByteArray(1, char(text.size())) + text);
}

} // namespace

QString moduleFloatText(int row)
{
    static const QMap<QString, QString> special = {
        {"LineEditTempSlope", "0.1"},
        {"LineEditAN1A", "1.234567e-07"},
        {"LineEditAN1C", "2.5e+07"},
        {"LineEditAN2B", "-0.4"},
    };
    return special.value(expectedItems()[row].widget, QString::number(row + 0.25));
}

QByteArray moduleText(int index)
{
    return "text" + QByteArray::number(index);
}

int formChoice(const QString &widget)
{
    return widget == "ComboBoxLogRate" ? -1 : moduleChoice(widget);
}

void fillModuleWithTestValues()
{
    sim::SimulatedModule &module = sim::module();
    const QVector<ExpectedItem> &items = expectedItems();
    for (int row = 0; row < items.size(); ++row) {
        const ExpectedItem &item = items[row];
        switch (item.kind) {
        case 'F':
            module.setFloatParameterBits(item.index, bitsOf(moduleFloatText(row).toFloat()));
            break;
        case 'C':
            module.setInt16Parameter(item.index, moduleChoice(item.widget));
            break;
        case 'P':
            module.setInt16Parameter(item.index, ModulePort);
            break;
        case 'T':
            module.setTextParameter(item.index, moduleText(item.index).toStdString());
            break;
        case 'W':
            module.setTextParameter(item.index, "old" + std::to_string(item.index));
            break;
        }
    }
}

QMap<int, QByteArray> moduleState()
{
    const sim::SimulatedModule &module = sim::module();
    QMap<int, QByteArray> state;
    for (const ExpectedItem &item : expectedItems()) {
        if (item.kind == 'F')
            state[item.index] = be32(module.floatParameterBits(item.index));
        else if (item.kind == 'C' || item.kind == 'P')
            state[item.index] = be16(module.int16Parameter(item.index));
        else
            state[item.index] = QByteArray::fromStdString(module.textParameter(item.index));
    }
    return state;
}

QByteArray readRequest(const ExpectedItem &item)
{
    const char code = item.kind == 'F' ? 0x10 : item.kind == 'T' ? 0x14 : 0x12;
    return report(QByteArray(1, code) + be16(item.index));
}

QList<QByteArray> writesOfModuleValues(bool withPasswords)
{
    QList<QByteArray> frames;
    const QVector<ExpectedItem> &items = expectedItems();
    for (int row = 0; row < items.size(); ++row) {
        const ExpectedItem &item = items[row];
        switch (item.kind) {
        case 'F':
            frames << report(QByteArray(1, 0x11) + be16(item.index) +
                             be32(bitsOf(moduleFloatText(row).toFloat())));
            break;
        case 'C':
            frames << report(QByteArray(1, 0x13) + be16(item.index) +
                             be16(formChoice(item.widget) & 0xFFFF));
            break;
        case 'P':
            frames << report(QByteArray(1, 0x13) + be16(item.index) + be16(ModulePort));
            break;
        case 'T':
            frames << textWrite(item.index, moduleText(item.index));
            break;
        case 'W':
            if (withPasswords)
                frames << textWrite(item.index, "new" + QByteArray::number(item.index));
            break;
        }
    }
    return frames;
}
