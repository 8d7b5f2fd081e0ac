#ifndef CONFIGFIXTURE_H
#define CONFIGFIXTURE_H

#include <QByteArray>
#include <QString>
#include <QVector>

// The configuration items as the module and the files know them, written out
// here on their own so that the tests check the program's map against them.
struct ExpectedItem {
    const char *widget;
    int index;
    char kind;           // 'F' float, 'C' choice, 'P' port, 'T' text, 'W' password
    const char *fileKey; // nullptr when not kept in files
};

const QVector<ExpectedItem> &expectedItems();

// One output report as the port hands it to the bus: report ID 0, the
// payload, zero fill to 65 bytes.
QByteArray report(const QByteArray &payload);
QByteArray be16(int value);
QByteArray be32(quint32 value);
quint32 bitsOf(float value);

#endif
