#include "audio/EncoderLibrary.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <numbers>

namespace {

constexpr uint32_t kRate = 32000;
constexpr int kFrameBytes = 144; // 32 kbit/s at 32 kHz, never padded

std::vector<int16_t> tone(size_t samples)
{
    std::vector<int16_t> pcm(samples);
    for (size_t i = 0; i < samples; ++i)
        pcm[i] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * i / kRate));
    return pcm;
}

class EncoderLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(encoder.load(QStringLiteral(PARLUNE_BIN_DIR "/") + EncoderLibrary::fileName()),
                  EncoderLibrary::LoadResult::Loaded);
        ASSERT_EQ(encoder.init(EncoderLibrary::defaultConfig(kRate)), 0u);
    }

    EncoderLibrary encoder;
};

TEST_F(EncoderLibraryTest, ChunksBecomeWhole144ByteMonoFramesWithoutAnyTag)
{
    const auto pcm = tone(1152 * 50);
    std::vector<uint8_t> mp3;
    for (size_t chunk = 0; chunk < 50; ++chunk) {
        ASSERT_EQ(encoder.encode(pcm.data() + chunk * 1152, 1152, mp3), 0u);
        if (chunk == 0) {
            EXPECT_EQ(mp3.size(), 0u) << "the encoder holds back its first chunk";
        }
    }
    ASSERT_EQ(encoder.finish(mp3), 0u);
    encoder.close();
    ASSERT_EQ(mp3.size() % kFrameBytes, 0u);
    ASSERT_GE(mp3.size() / kFrameBytes, 50u);
    for (size_t offset = 0; offset < mp3.size(); offset += kFrameBytes) {
        // Sync, MPEG-1 Layer III without CRC, 32 kbit/s, 32 kHz, no padding, mono.
        ASSERT_EQ(mp3[offset], 0xFF) << offset;
        ASSERT_EQ(mp3[offset + 1], 0xFB) << offset;
        ASSERT_EQ(mp3[offset + 2], 0x18) << offset;
        ASSERT_EQ(mp3[offset + 3] & 0xC0, 0xC0) << offset;
    }
    EXPECT_NE(std::string(mp3.begin(), mp3.begin() + 3), "ID3");
}

TEST_F(EncoderLibraryTest, StreamDecodesToTheLengthOfItsFrames)
{
    const size_t chunks = 3 * kRate / 1152; // about three seconds
    const auto pcm = tone(chunks * 1152);
    std::vector<uint8_t> mp3;
    for (size_t chunk = 0; chunk < chunks; ++chunk)
        ASSERT_EQ(encoder.encode(pcm.data() + chunk * 1152, 1152, mp3), 0u);
    ASSERT_EQ(encoder.finish(mp3), 0u);

    TestEnvironment env;
    const QString path = env.root() + QStringLiteral("stream.mp3");
    ASSERT_TRUE(AudioFixtures::writeFile(
        path, QByteArray(reinterpret_cast<const char*>(mp3.data()), qsizetype(mp3.size()))));

    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(mpg123_open(handle, QFile::encodeName(path).constData()), MPG123_OK);
    long rate = 0;
    int channels = 0, encoding = 0;
    ASSERT_EQ(mpg123_getformat(handle, &rate, &channels, &encoding), MPG123_OK);
    EXPECT_EQ(rate, 32000);
    EXPECT_EQ(channels, 1);
    ASSERT_EQ(mpg123_scan(handle), MPG123_OK);
    const off_t decoded = mpg123_length(handle);
    mpg123_close(handle);
    mpg123_delete(handle);
    const auto frames = static_cast<off_t>(mp3.size() / kFrameBytes);
    EXPECT_EQ(decoded, frames * 1152);
    EXPECT_GE(decoded, static_cast<off_t>(pcm.size()));
    EXPECT_LE(decoded, static_cast<off_t>(pcm.size() + 3 * 1152));
}

TEST(EncoderLibraryLoadTest, MissingFileOrEntryPointsAreTold)
{
    TestEnvironment env(TestEnvironment::Encoder::Missing);
    EncoderLibrary encoder;
    EXPECT_EQ(encoder.load(env.programFolder() + EncoderLibrary::fileName()),
              EncoderLibrary::LoadResult::NotFound);
    // A real shared library without the five names: libmpg123 itself.
    EXPECT_EQ(encoder.load(QStringLiteral(FOREIGN_LIBRARY)),
              EncoderLibrary::LoadResult::EntryMissing);
    EXPECT_FALSE(encoder.isLoaded());
    EXPECT_NE(encoder.init(EncoderLibrary::defaultConfig(kRate)), 0u);
}

TEST_F(EncoderLibraryTest, RefusesAChunkLargerThanItsSize)
{
    const auto pcm = tone(2000);
    std::vector<uint8_t> mp3;
    EXPECT_NE(encoder.encode(pcm.data(), 2000, mp3), 0u);
    EXPECT_TRUE(mp3.empty());
}

} // namespace
