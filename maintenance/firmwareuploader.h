#ifndef FIRMWAREUPLOADER_H
#define FIRMWAREUPLOADER_H

#include <QString>
#include <QtGlobal>

#include <vector>

class ModuleSession;
class OperationProgress;

// What uploadFirmware returns when the user stopped it during the stream;
// the module is then left mid-image and told nothing.
constexpr int FirmwareUploadCancelled = -2;

// A firmware image read whole from its file, as it goes to the module.
struct FirmwareImage {
    // The buffer the module's largest image fits in, zero beyond the file,
    // so the part of the last frame past the image is zeros.
    std::vector<unsigned char> bytes;
    quint32 size = 0;
    quint16 checksum = 0;
};

// Reads the file into image. A file that cannot be opened or read, is empty
// or is larger than the module takes is refused: -1 with the text to show,
// and image unchanged.
int loadFirmwareImage(const QString &path, FirmwareImage &image, QString &message);

// Streams a loaded image: the start frame, the module's pause, the data
// frames with progress and a cancel check before each, and the verdict.
// progress is finished before the verdict is awaited; on the failures
// before that it is left as it is. 0 when the module accepted the image, -1
// with "Firmware upload failed. N", FirmwareUploadCancelled without message.
int uploadFirmwareImage(ModuleSession &session, const FirmwareImage &image,
                        OperationProgress &progress, QString &message);

// Both of the above; on success message is "Firmware upload complete.".
int uploadFirmware(ModuleSession &session, const QString &path, OperationProgress &progress,
                   QString &message);

#endif
