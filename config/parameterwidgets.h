#ifndef PARAMETERWIDGETS_H
#define PARAMETERWIDGETS_H

#include <QString>
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

// A line edit of the map as the user finds it: its label's current text,
// after the title of the box around it ("Temperature Slope"), and the title
// of its page.
QString fieldName(const Ui::TalvikClass &form, const QWidget *field);
QString pageTitle(const Ui::TalvikClass &form, const QWidget *field);

} // namespace config

#endif
