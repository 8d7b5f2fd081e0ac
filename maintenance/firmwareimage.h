#ifndef FIRMWAREIMAGE_H
#define FIRMWAREIMAGE_H

#include <QString>
#include <QtGlobal>

// The firmware image and the frames that carry it to the module. Plain code:
// no widgets, no port.
namespace maintenance
{

// The module takes images of at most 256 KiB; the upload holds the whole file
// in a buffer of this size.
constexpr int ImageCapacity = 262144;
constexpr int DataFrameSize = 64;

constexpr int StartFrameLength = 7;

// The module checks the image against this sum of its bytes taken unsigned,
// modulo 65,536.
quint16 imageChecksum(const unsigned char *bytes, qint64 size);

// Fills frame (at least 64 bytes, zero after the command) and returns the
// number of bytes to send.
int buildStartFrame(unsigned char *frame, quint16 checksum, quint32 size);

// Copies the 64 image bytes from offset into frame; the part of the last
// frame beyond size is filled with zeros.
void sliceDataFrame(unsigned char *frame, const unsigned char *image, quint32 size, quint32 offset);

QString uploadLabel(quint32 offset, quint32 size);

enum class ImageLoad { Loaded, CannotOpen, CannotRead, Empty, TooLarge };

// Reads the whole file into image (ImageCapacity bytes, zeroed beyond the
// file) and sums it. size and checksum change only when the file is loaded.
ImageLoad loadImage(const QString &path, unsigned char *image, quint32 &size, quint16 &checksum);
// The same for an image already in memory: Empty, TooLarge or Loaded.
ImageLoad takeImage(const char *bytes, qint64 length, unsigned char *image, quint32 &size,
                    quint16 &checksum);

} // namespace maintenance

#endif
