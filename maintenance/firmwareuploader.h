#ifndef FIRMWAREUPLOADER_H
#define FIRMWAREUPLOADER_H

#include "core/operationresult.h"

#include <QString>
#include <QtGlobal>

#include <vector>

class ModuleSession;
class OperationProgress;

// A firmware image read whole from its file, as it goes to the module.
struct FirmwareImage {
    // The buffer the module's largest image fits in, zero beyond the file,
    // so the part of the last frame past the image is zeros.
    std::vector<unsigned char> bytes;
    quint32 size = 0;
    quint16 checksum = 0;
};

// Reads the file into image. A file that cannot be opened or read, is empty
// or is larger than the module takes is refused (Reason::File, with the text
// to show) and image stays unchanged.
OperationResult loadFirmwareImage(const QString &path, FirmwareImage &image);

// Streams a loaded image: the start frame, the module's pause, the data
// frames with progress and a cancel check before each, and the verdict.
// progress is finished before the verdict is awaited; on the failures
// before that it is left as it is. Succeeds with "Firmware upload
// complete." when the module accepted the image; fails with "Firmware upload
// failed. N", or with Reason::Cancelled and no message when the user stopped
// it during the stream: the module is then left mid-image and told nothing.
OperationResult uploadFirmwareImage(ModuleSession &session, const FirmwareImage &image,
                                    OperationProgress &progress);

// Both of the above.
OperationResult uploadFirmware(ModuleSession &session, const QString &path,
                               OperationProgress &progress);

#endif
