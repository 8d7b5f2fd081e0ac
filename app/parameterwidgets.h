#ifndef PARAMETERWIDGETS_H
#define PARAMETERWIDGETS_H

#include "config/configuration.h"

#include <QString>
#include <QVector>

class QLineEdit;
class QWidget;

namespace Ui
{
class TalvikClass;
}

// Binds the form to the configuration: which widget holds which item, the
// form read into a configuration, and values put back into the widgets.
namespace binding
{

// The widget of each item of the parameter map, in map order, taken from the
// form's own pointers. An item whose widget the form lacks gets nullptr.
QVector<QWidget *> parameterWidgets(const Ui::TalvikClass &form);

// The verify field of each password pair, in the pairs' order.
QVector<QLineEdit *> verifyFields(const Ui::TalvikClass &form);

// Every item as the form holds it now, the units boxes' items included.
config::Configuration formConfiguration(const Ui::TalvikClass &form);

// Shows a value in the item's widget as a read or a load puts it there: a
// Choice selects the index, every line edit takes the text.
void showValue(QWidget *widget, const config::Parameter &parameter, const QString &value);

} // namespace binding

#endif
