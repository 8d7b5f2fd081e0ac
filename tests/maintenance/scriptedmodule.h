#ifndef SCRIPTEDMODULE_H
#define SCRIPTEDMODULE_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QtGlobal>

// A module scripted through the simulated bus's responder, just enough for
// the maintenance commands: firmware receiver, clock, serial number, log
// erase and 16-bit parameters. Each reply code can be bent or silenced to
// play a faulty module. Lives on the test's (GUI) thread.
class ScriptedModule
{
public:
    // A reply code of -1 means the module stays silent.
    int startReply = 0x09;
    int finalReply = 0x0A;
    int clockReply = 0x08;
    int serialSetReply = 0x01;
    int serialGetReply = 0x01;
    int eraseReply = 0x06;
    int int16WriteReply = 0x13;

    // Drops off the bus when this data frame (counted from 1) arrives; the
    // frame itself still reaches the module.
    int unplugAtDataFrame = 0;
    // Sends its verdict right behind the start reply instead of after the
    // image.
    bool verdictWithStartReply = false;
    // Drops off the bus once the whole image has arrived, without a verdict.
    bool unplugAfterImage = false;

    // What the module reports when asked for its serial number; set frames
    // store into it unless keepReportedSerial is set.
    quint32 serialNumber = 0;
    bool keepReportedSerial = false;

    QMap<int, int> int16Parameters;
    // Image bytes as they arrived, fill included, and the announced size.
    QByteArray receivedImage;
    quint32 announcedSize = 0;
    quint16 announcedChecksum = 0;
    int dataFrames = 0;

    ScriptedModule();
    ~ScriptedModule();
    ScriptedModule(const ScriptedModule &) = delete;
    ScriptedModule &operator=(const ScriptedModule &) = delete;

private:
    QList<QByteArray> answer(const unsigned char *payload);
    bool receiving = false;
};

// The 64 data bytes of every output report written so far.
QList<QByteArray> writtenPayloads();
QByteArray bytes(std::initializer_list<int> values);

#endif
