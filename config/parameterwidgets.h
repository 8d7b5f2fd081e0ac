#ifndef PARAMETERWIDGETS_H
#define PARAMETERWIDGETS_H

#include <QVector>

class QWidget;

namespace Ui
{
class TalvikClass;
}

namespace config
{

// The widget of each item of the parameter map, in map order, taken from the
// form's own pointers. An item whose widget the form lacks gets nullptr.
QVector<QWidget *> parameterWidgets(const Ui::TalvikClass &form);

} // namespace config

#endif
