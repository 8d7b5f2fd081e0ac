#include "config/parameterwidgets.h"

#include "config/parametermap.h"
#include "ui_talvik.h"

#include <QHash>

namespace config
{

QVector<QWidget *> parameterWidgets(const Ui::TalvikClass &form)
{
    // Every widget that the map names, in no particular order: the map alone
    // fixes the order, this only ties its names to the form.
    QWidget *const fields[] = {
        form.LineEditID,          form.LineEditAPN,         form.LineEditSC,
        form.ComboBoxDL,          form.ComboBoxLogRate,     form.ComboBoxLogEmailRate,
        form.ComboBoxLogFTPRate,  form.ComboBoxFan,         form.ComboBoxTempUnits,
        form.LineEditTempSlope,   form.LineEditTempOffset,  form.LineEditHumidSlope,
        form.LineEditHumidOffset, form.ComboBoxPressUnits,  form.LineEditPressAlt,
        form.LineEditPressSlope,  form.LineEditPressOffset, form.ComboBoxWindUnits,
        form.LineEditWindSlope,   form.LineEditWindOffset,  form.ComboBoxAN1Type,
        form.ComboBoxAN1Units,    form.LineEditAN1A,        form.LineEditAN1B,
        form.LineEditAN1C,        form.LineEditAN1D,        form.LineEditAN1Ref,
        form.LineEditAN1Units,    form.ComboBoxAN2Type,     form.ComboBoxAN2Units,
        form.LineEditAN2A,        form.LineEditAN2B,        form.LineEditAN2C,
        form.LineEditAN2D,        form.LineEditAN2Ref,      form.LineEditAN2Units,
        form.ComboBoxRainType,    form.LineEditRainInc,     form.ComboBoxWURate,
        form.LineEditWUUser,      form.LineEditWUPass,      form.LineEditEmailTo,
        form.LineEditEmailFrom,   form.LineEditEmailServer, form.LineEditEmailServerPort,
        form.LineEditEmailUser,   form.LineEditEmailPass,   form.LineEditFTPServer,
        form.LineEditFTPUser,     form.LineEditFTPPass,     form.ComboBoxLightning,
        form.LineEditWiFiAP,      form.LineEditWiFiPass,
    };
    QHash<QString, QWidget *> byName;
    for (QWidget *field : fields)
        byName.insert(field->objectName(), field);

    QVector<QWidget *> widgets;
    widgets.reserve(ParameterCount);
    for (const Parameter &parameter : ParameterMap)
        widgets.append(byName.value(QString::fromLatin1(parameter.widget), nullptr));
    return widgets;
}

} // namespace config
