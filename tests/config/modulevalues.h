#ifndef MODULEVALUES_H
#define MODULEVALUES_H

#include "tests/config/configfixture.h"

#include <QList>
#include <QMap>

// A configuration unlike the emulated module's own, put on the module before
// a test, and what the program should make of it.
constexpr int ModulePort = 40000; // shows as -25536 in the form

QString moduleFloatText(int row);
QByteArray moduleText(int index);
// The log rate box has nine items: the module's 9 selects none of them.
int formChoice(const QString &widget);

void fillModuleWithTestValues();
// Every item as the module holds it, by parameter index.
QMap<int, QByteArray> moduleState();

// The request that reads an item.
QByteArray readRequest(const ExpectedItem &item);
// The frames a write sends after reading these values back, in map order;
// the passwords, when filled, as "new" followed by their index.
QList<QByteArray> writesOfModuleValues(bool withPasswords);

#endif
