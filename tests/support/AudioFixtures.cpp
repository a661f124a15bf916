#include "tests/support/AudioFixtures.h"

#include "audio/EncoderLibrary.h"
#include "audio/Mp3Decoder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <cmath>
#include <numbers>
#include <vector>

QByteArray AudioFixtures::mpegStream(double seconds)
{
    EncoderLibrary encoder;
    if (encoder.load(QStringLiteral(PARLUNE_BIN_DIR "/libencodermp3.so")) !=
            EncoderLibrary::LoadResult::Loaded ||
        encoder.init(EncoderLibrary::defaultConfig(32000)) != 0)
        return {};
    const auto chunks = static_cast<size_t>(seconds * 32000 / 1152);
    std::vector<int16_t> chunk(1152);
    std::vector<uint8_t> mp3;
    size_t sample = 0;
    for (size_t c = 0; c < chunks; ++c) {
        for (auto& value : chunk) {
            value = static_cast<int16_t>(
                6000 * std::sin(2 * std::numbers::pi * 440 * double(sample++) / 32000));
        }
        encoder.encode(chunk.data(), 1152, mp3);
    }
    encoder.finish(mp3);
    return QByteArray(reinterpret_cast<const char*>(mp3.data()), qsizetype(mp3.size()));
}

bool AudioFixtures::writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray AudioFixtures::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool AudioFixtures::writeWav(const QString& path, const QByteArray& data, int rate, int channels)
{
    QByteArray header;
    const auto put = [&](quint32 value, int size) {
        char bytes[4];
        qToLittleEndian(value, bytes);
        header.append(bytes, size);
    };
    header.append("RIFF");
    put(quint32(36 + data.size()), 4);
    header.append("WAVEfmt ");
    put(16, 4);
    put(1, 2);
    put(quint32(channels), 2);
    put(quint32(rate), 4);
    put(quint32(rate * channels * 2), 4);
    put(quint32(channels * 2), 2);
    put(16, 2);
    header.append("data");
    put(quint32(data.size()), 4);
    return writeFile(path, header + data);
}

bool AudioFixtures::writeWav(const QString& path, const std::vector<Piece>& pieces, int rate,
                             int channels)
{
    QByteArray data;
    size_t n = 0;
    for (const Piece& piece : pieces) {
        const auto frames = static_cast<size_t>(piece.seconds * rate);
        for (size_t i = 0; i < frames; ++i, ++n) {
            const auto value =
                piece.tone
                    ? static_cast<int16_t>(piece.amplitude *
                                           std::sin(2 * std::numbers::pi * 440 * double(n) / rate))
                    : int16_t{0};
            for (int c = 0; c < channels; ++c) {
                char bytes[2];
                qToLittleEndian(value, bytes);
                data.append(bytes, 2);
            }
        }
    }
    return writeWav(path, data, rate, channels);
}

QByteArray AudioFixtures::randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

std::vector<int16_t> AudioFixtures::decodeRecording(const QString& path)
{
    Mp3Decoder decoder;
    if (!decoder.open(path) || decoder.channels() != 1)
        return {};
    std::vector<int16_t> samples;
    int16_t chunk[4096];
    for (long long got; (got = decoder.read(chunk, 4096)) > 0;)
        samples.insert(samples.end(), chunk, chunk + got);
    return samples;
}

double AudioFixtures::toneAmplitude(const int16_t* samples, size_t count, double hz, int rate)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double previous = 0, beforePrevious = 0;
    for (size_t i = 0; i < count; ++i) {
        const double current = samples[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    return count ? 2 * std::sqrt(std::max(0.0, power)) / double(count) : 0;
}
