#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

/// Real MP3 audio for tests, made by the real encoder library of the build.
class AudioFixtures {
public:
    /// A piece of a test WAV: some seconds of a 440 Hz tone, or of silence.
    struct Piece {
        double seconds;
        bool tone;
        int amplitude = 12000;
    };

    /// An MPEG stream (no tag) of about `seconds` of a 440 Hz tone, 32 kbit/s mono 32 kHz.
    static QByteArray mpegStream(double seconds);
    /// Writes `bytes` to `path` (replacing it); false on failure.
    static bool writeFile(const QString& path, const QByteArray& bytes);
    /// Writes 16-bit little-endian PCM `data` as a WAV file of `rate` and `channels`.
    static bool writeWav(const QString& path, const QByteArray& data, int rate, int channels = 1);
    /// Writes `pieces` one after the other as a 16-bit WAV of `rate` with `channels` identical
    /// channels; the tone runs on across pieces.
    static bool writeWav(const QString& path, const std::vector<Piece>& pieces, int rate = 32000,
                         int channels = 1);
    /// `size` bytes that look like noise, the same for the same `seed`.
    static QByteArray randomBytes(qsizetype size, quint32 seed);
    /// The whole content of `path`, empty when it cannot be read.
    static QByteArray readFile(const QString& path);
    /// The decoded samples of the recording `path` (mono), empty when it cannot be read.
    static std::vector<int16_t> decodeRecording(const QString& path);
    /// The amplitude of the `hz` tone in `count` samples at `rate` (a Goertzel filter).
    static double toneAmplitude(const int16_t* samples, size_t count, double hz, int rate = 32000);
};
