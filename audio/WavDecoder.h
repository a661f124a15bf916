#pragma once

#include "audio/PcmSource.h"
#include "platform/WavFileReader.h"

/// The sound of a .wav file for the player. Lifecycle and thread as PcmSource.
class WavDecoder final : public PcmSource {
public:
    /// Opens `path`; false (with errorText()) when it is not a readable sound file.
    bool open(const QString& path) { return m_reader.open(path); }

    int rate() const override { return m_reader.rate(); }
    int channels() const override { return m_reader.channels(); }
    long long lengthFrames() const override { return m_reader.frames(); }
    long long read(int16_t* buffer, long long maxFrames) override;
    bool seek(long long frame) override { return m_reader.seek(frame); }
    QString errorText() const override { return m_reader.errorText(); }

private:
    WavFileReader m_reader;
};
