#ifndef HIDRAWBUS_H
#define HIDRAWBUS_H

#include <QString>

// The end-to-end tests' bus: the control API of sim/simdevice.h, carried out
// on a hidraw node in a umockdev testbed instead of in place of hidapi. The
// program under test opens, writes and reads that node through the real
// libhidapi-hidraw; the simulated module behind it answers every report.
namespace e2e
{

// Empty when this process can put the module on an emulated node: it runs
// with libumockdev-preload (umockdev-wrapper). Otherwise what is missing.
QString hidrawBusProblem();

// The node the module appears as, e.g. "/dev/hidraw0".
QString hidrawNode();

} // namespace e2e

#endif
