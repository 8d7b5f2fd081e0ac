#include "app/talvik.h"

#include "usb/modulesession.h"

// The window's protocol members hand over to its module session, which the
// command line shares.

int Talvik::transact(const unsigned char *request, int requestLength, unsigned char *reply)
{
    return session->transact(request, requestLength, reply);
}

int Talvik::readParamFloat(int parameterIndex, float &value)
{
    return session->readParamFloat(parameterIndex, value);
}

int Talvik::writeParamFloat(int parameterIndex, float value)
{
    return session->writeParamFloat(parameterIndex, value);
}

int Talvik::readParamInt16(int parameterIndex, int &value)
{
    return session->readParamInt16(parameterIndex, value);
}

int Talvik::writeParamInt16(int parameterIndex, int value)
{
    return session->writeParamInt16(parameterIndex, value);
}

int Talvik::readParamString(int parameterIndex, QString &text)
{
    return session->readParamString(parameterIndex, text);
}

int Talvik::writeParamString(int parameterIndex, const QString &text)
{
    return session->writeParamString(parameterIndex, text);
}
