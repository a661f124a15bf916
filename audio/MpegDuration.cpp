#include "audio/MpegDuration.h"

#include "audio/Mp3Decoder.h"

std::optional<long long> MpegDuration::milliseconds(const QString& path, long long audioOffset)
{
    Mp3Decoder decoder;
    // One sequential pass over the file: a large buffer keeps it to a few reads.
    decoder.setReadBuffer(1 << 20);
    if (!decoder.open(path, audioOffset) || decoder.rate() <= 0)
        return std::nullopt;
    return decoder.lengthFrames() * 1000 / decoder.rate();
}
