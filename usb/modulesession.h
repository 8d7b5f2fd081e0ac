#ifndef MODULESESSION_H
#define MODULESESSION_H

#include <QString>
#include <QtGlobal>

class QUSBPort;

// One conversation with the module over the port: the request rule and the
// commands that every front end uses. It holds no state of its own beyond
// the port, so the window and talvik-cli each make one over their port.
class ModuleSession
{
public:
    explicit ModuleSession(QUSBPort &port);

    QUSBPort &port() const { return usbPort; }

    // Flush, write, read one 64-byte reply; once more only when nothing at
    // all came. Returns the number of reply bytes of the last attempt.
    int transact(const unsigned char *request, int requestLength, unsigned char *reply);
    // Flush, write, read one 64-byte reply with no second attempt, for the
    // commands that change the module outright.
    int transactOnce(const unsigned char *request, int requestLength, unsigned char *reply);

    // Each returns 0 when the module echoed the command code, -1 otherwise;
    // the output changes only on success.
    int readParamFloat(int parameterIndex, float &value);
    int writeParamFloat(int parameterIndex, float value);
    int readParamInt16(int parameterIndex, int &value);
    int writeParamInt16(int parameterIndex, int value);
    int readParamString(int parameterIndex, QString &text);
    int writeParamString(int parameterIndex, const QString &text);

    // The identity queries: the command byte alone, the value after the
    // echoed code. 0 on success, -1 otherwise.
    int querySerialNumber(quint32 &serialNumber);
    int querySoftwareVersion(int &version);
    int queryEepromVersion(int &version);

    // Modules whose EEPROM layout this program knows.
    static bool eepromSupported(int version);

private:
    QUSBPort &usbPort;
};

#endif
