#ifndef MODULESTORE_H
#define MODULESTORE_H

#include "sim/simdevice.h"

#include <QByteArray>
#include <QMap>

#include <functional>

// A Control Module's parameter store and identity, answering the parameter
// commands and the three identity queries on the simulated bus. Writes land
// in the store, so a test can read the module back after a write.
struct ModuleStore {
    quint32 serialNumber = 1234;
    quint16 softwareVersion = 7;
    quint16 eepromVersion = 12;

    QMap<int, quint32> floats; // IEEE 754 bits
    QMap<int, quint16> words;
    QMap<int, QByteArray> texts;

    // The parameter command (0x10..0x15) with this 1-based number is answered
    // with a wrong code; 0 for never.
    int wrongCodeAtParameterCommand = 0;
    // Identity query answered with a wrong code; -1 for none.
    int wrongCodeForQuery = -1;
    // Answers nothing at all.
    bool silent = false;

    int parameterCommands = 0;
    // Called with every request before it is answered.
    std::function<void(const unsigned char *payload)> observer;

    // Installs this store as the module's responder; the store must outlive it.
    void install();
    std::vector<sim::Report> answer(const unsigned char *payload);
};

#endif
