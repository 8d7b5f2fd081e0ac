#include "app/parameterwidgets.h"

#include "ui_talvik.h"

#include <QComboBox>
#include <QHash>
#include <QLineEdit>

namespace binding
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
    widgets.reserve(config::ParameterCount);
    for (const config::Parameter &parameter : config::ParameterMap)
        widgets.append(byName.value(QString::fromLatin1(parameter.widget), nullptr));
    return widgets;
}

QVector<QLineEdit *> verifyFields(const Ui::TalvikClass &form)
{
    return {form.LineEditWUPassVer, form.LineEditEmailPassVer, form.LineEditFTPPassVer};
}

config::Configuration formConfiguration(const Ui::TalvikClass &form)
{
    config::Configuration configuration;
    const QVector<QWidget *> widgets = parameterWidgets(form);
    for (int item = 0; item < config::ParameterCount; ++item) {
        const config::Parameter &parameter = config::ParameterMap[item];
        const QString key = config::Configuration::keyOf(parameter);
        if (parameter.kind == config::Kind::Choice)
            configuration.setValue(
                key, QString::number(static_cast<QComboBox *>(widgets[item])->currentIndex()));
        else
            configuration.setValue(key, static_cast<QLineEdit *>(widgets[item])->text());
    }
    const QVector<QLineEdit *> verify = verifyFields(form);
    for (int pair = 0; pair < verify.size(); ++pair)
        configuration.setValue(QString::fromLatin1(config::PasswordPairs[pair].verify),
                               verify[pair]->text());
    configuration.setUnitChoiceCount(0, form.ComboBoxAN1Units->count());
    configuration.setUnitChoiceCount(1, form.ComboBoxAN2Units->count());
    return configuration;
}

void showValue(QWidget *widget, const config::Parameter &parameter, const QString &value)
{
    if (parameter.kind == config::Kind::Choice)
        static_cast<QComboBox *>(widget)->setCurrentIndex(value.toInt());
    else
        static_cast<QLineEdit *>(widget)->setText(value);
}

} // namespace binding
