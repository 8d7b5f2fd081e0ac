#include "config/parameterwidgets.h"

#include "config/parametermap.h"
#include "ui_talvik.h"

#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QTabWidget>

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

QString fieldName(const Ui::TalvikClass &form, const QWidget *field)
{
    // The form places its widgets by position only, so the label beside
    // each field is named here.
    const QHash<const QWidget *, const QLabel *> labels = {
        {form.LineEditID, form.label},
        {form.LineEditTempSlope, form.label_8},
        {form.LineEditTempOffset, form.label_9},
        {form.LineEditHumidSlope, form.label_10},
        {form.LineEditHumidOffset, form.label_11},
        {form.LineEditPressAlt, form.label_13},
        {form.LineEditPressSlope, form.label_14},
        {form.LineEditPressOffset, form.label_15},
        {form.LineEditWindSlope, form.label_17},
        {form.LineEditWindOffset, form.label_18},
        {form.LineEditAN1Units, form.LabelAN1Units},
        {form.LineEditAN1A, form.LabelAN1A},
        {form.LineEditAN1B, form.LabelAN1B},
        {form.LineEditAN1C, form.LabelAN1C},
        {form.LineEditAN1D, form.LabelAN1D},
        {form.LineEditAN1Ref, form.LabelAN1Ref},
        {form.LineEditAN2Units, form.LabelAN2Units},
        {form.LineEditAN2A, form.LabelAN2A},
        {form.LineEditAN2B, form.LabelAN2B},
        {form.LineEditAN2C, form.LabelAN2C},
        {form.LineEditAN2D, form.LabelAN2D},
        {form.LineEditAN2Ref, form.LabelAN2Ref},
        {form.LineEditRainInc, form.label_22},
        {form.LineEditWUUser, form.label_24},
        {form.LineEditWUPass, form.label_25},
        {form.LineEditEmailTo, form.label_28},
        {form.LineEditEmailFrom, form.label_29},
        {form.LineEditEmailServer, form.label_30},
        {form.LineEditEmailServerPort, form.label_31},
        {form.LineEditEmailUser, form.label_32},
        {form.LineEditEmailPass, form.label_33},
        {form.LineEditFTPServer, form.label_36},
        {form.LineEditFTPUser, form.label_37},
        {form.LineEditFTPPass, form.label_38},
        {form.LineEditSC, form.label_43},
        {form.LineEditAPN, form.label_44},
        {form.LineEditWiFiAP, form.label_46},
        {form.LineEditWiFiPass, form.label_47},
    };
    const QLabel *label = labels.value(field, nullptr);
    QString name = label != nullptr ? label->text() : field->objectName();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    for (const QWidget *up = field->parentWidget(); up != nullptr; up = up->parentWidget()) {
        if (const auto *box = qobject_cast<const QGroupBox *>(up))
            return box->title() + QLatin1Char(' ') + name;
    }
    return name;
}

QString pageTitle(const Ui::TalvikClass &form, const QWidget *field)
{
    for (int page = 0; page < form.TabWidget->count(); ++page)
        if (form.TabWidget->widget(page)->isAncestorOf(field))
            return form.TabWidget->tabText(page);
    return QString();
}

} // namespace config
