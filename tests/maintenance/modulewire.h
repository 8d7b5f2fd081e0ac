#ifndef MODULEWIRE_H
#define MODULEWIRE_H

#include "sim/simdevice.h"

#include <QByteArray>
#include <QList>

#include <initializer_list>

// The 64 data bytes of every output report written so far.
QList<QByteArray> writtenPayloads();
QByteArray bytes(std::initializer_list<int> values);
// One input report: the bytes given, zeros after them.
sim::Report report(const QByteArray &start);

#endif
