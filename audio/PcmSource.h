#pragma once

#include <QString>

#include <cstdint>

/// Decoded sound of one file as 16-bit signed interleaved frames, for the player. Opened,
/// read and destroyed by one thread at a time (the player hands it to its playback thread).
class PcmSource {
public:
    virtual ~PcmSource() = default;

    virtual int rate() const = 0;
    virtual int channels() const = 0;
    /// The length of the whole sound, in frames.
    virtual long long lengthFrames() const = 0;
    /// Reads up to `maxFrames` frames into `buffer` (room for maxFrames x channels samples).
    /// Returns the frames read, 0 at the end, -1 on a decoding error.
    virtual long long read(int16_t* buffer, long long maxFrames) = 0;
    /// Moves so that the next read starts at frame `frame`; false when it cannot.
    virtual bool seek(long long frame) = 0;
    /// The last failure, in words for the log.
    virtual QString errorText() const = 0;
};
