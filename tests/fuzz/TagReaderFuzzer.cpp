#include "store/Id3Tag.h"

#include <cstddef>
#include <cstdint>

// The tag reader on arbitrary bytes: the first eight choose the file size the reader is told,
// the rest are the tag's body.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    qint64 fileSize = 0;
    for (int i = 0; i < 8; ++i)
        fileSize = (fileSize << 8) | data[i];
    if (fileSize < 0)
        fileSize = -(fileSize + 1);
    std::vector<Id3Tag::Frame> frames;
    const QByteArrayView body(reinterpret_cast<const char*>(data + 8), qsizetype(size - 8));
    Id3Tag::parseFrames(body, fileSize, frames);
    for (const auto& frame : frames) {
        // Encoding what was decoded must hold for every text the reader can produce.
        (void)Id3Tag::encodeFrame(frame);
    }
    return 0;
}
