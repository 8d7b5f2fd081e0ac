#ifndef FIELDNAMES_H
#define FIELDNAMES_H

#include <QString>

// The names under which the form shows its fields to the user, so that a
// message about a field names it as the window does.
namespace config
{

// A field as the user finds it: its label without the colon, after the title
// of the box around it ("Temperature Slope"). The labels of an analog
// channel's first two rows follow the channel's type.
QString fieldName(const QString &widget, int analogType);
// The title of the page the field is on.
QString pageTitle(const QString &widget);

} // namespace config

#endif
