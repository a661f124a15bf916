#pragma once

#include <QString>

#include <cstdint>

/// Reads the sound of a .wav file (any PCM or float format the file holds) as 16-bit signed
/// interleaved frames. Created, used and destroyed by one thread; no shared state.
class WavFileReader {
public:
    WavFileReader() = default;
    ~WavFileReader();
    WavFileReader(const WavFileReader&) = delete;
    WavFileReader& operator=(const WavFileReader&) = delete;

    /// Opens `path`; false (with errorText()) when it is missing or not a sound file.
    bool open(const QString& path);
    void close();

    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    long long frames() const { return m_frames; }

    /// Reads up to `maxFrames` frames into `buffer` (room for maxFrames x channels samples).
    /// Returns the frames read, 0 at the end, -1 on a read error.
    long long read(int16_t* buffer, long long maxFrames);
    /// Moves to frame `frame` (from the start); false when the file cannot seek there.
    bool seek(long long frame);

    QString errorText() const { return m_error; }

private:
    void* m_file = nullptr; // SNDFILE*, kept opaque so that callers need no libsndfile header
    int m_rate = 0;
    int m_channels = 0;
    long long m_frames = 0;
    QString m_error;
};
