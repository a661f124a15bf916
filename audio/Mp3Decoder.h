#pragma once

#include "audio/PcmSource.h"

#include <cstdio>
#include <optional>
#include <sys/types.h>

struct mpg123_handle_struct;

/// The sound of a recording (.mp3) for the player, decoded by libmpg123 from the audio
/// offset on: this system's tag in front is skipped by its size field, which counts the whole
/// tag including its 10 header bytes. The exact length comes from a scan of every frame at
/// open(). Lifecycle and thread as PcmSource.
class Mp3Decoder final : public PcmSource {
public:
    Mp3Decoder() = default;
    ~Mp3Decoder() override;
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    /// Opens `path` and measures it; false (with errorText()) when it cannot be read or holds
    /// no MPEG audio after its tag. `audioStart` overrides where the audio begins.
    bool open(const QString& path, std::optional<long long> audioStart = std::nullopt);
    /// Opens with a larger read buffer, for a one-off measurement of a whole file.
    void setReadBuffer(int bytes) { m_readBuffer = bytes; }

    /// Where the audio of `path` starts: the size field of an "ID3" header at its front when it
    /// fits the file, else 0.
    static long long audioOffset(const QString& path);

    int rate() const override { return m_rate; }
    int channels() const override { return m_channels; }
    long long lengthFrames() const override { return m_length; }
    long long read(int16_t* buffer, long long maxFrames) override;
    bool seek(long long frame) override;
    QString errorText() const override { return m_error; }

    /// The reader seen by libmpg123: the file from the audio offset on.
    struct Source {
        std::FILE* file = nullptr;
        off_t offset = 0;
    };

private:
    void close();
    bool failWith(const QString& text);

    Source m_source;
    mpg123_handle_struct* m_handle = nullptr;
    int m_rate = 0;
    int m_channels = 0;
    long long m_length = 0;
    int m_readBuffer = 1 << 16;
    QString m_error;
};
