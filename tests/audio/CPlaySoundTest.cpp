#include "audio/CPlaySound.h"
#include "audio/Mp3Decoder.h"
#include "store/Id3Tag.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/PrivateAudioServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The encoder writes 144-byte frames of 1152 samples at 32 kHz: 36 ms each.
constexpr int kFrameBytes = 144;
constexpr int kFrameMs = 36;

/// Records the null sink's monitor with parec, so a test hears what the player sent.
class MonitorRecorder {
public:
    bool start()
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { m_bytes += m_process.readAllStandardOutput(); });
        m_process.start(u"parec"_s, {u"-d"_s, u"nullsink.monitor"_s, u"--format=s16le"_s,
                                     u"--rate=32000"_s, u"--channels=1"_s, u"--latency-msec=20"_s});
        // The recording runs once the first (silent) audio arrives.
        return m_process.waitForStarted(5000) && waitFor([this] { return samples() > 0; });
    }
    ~MonitorRecorder()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    qsizetype samples() const { return m_bytes.size() / 2; }
    int16_t sample(qsizetype index) const
    {
        return qFromLittleEndian<int16_t>(m_bytes.constData() + index * 2);
    }
    /// The loudest sample from `from` on.
    int peakSince(qsizetype from) const
    {
        int peak = 0;
        for (qsizetype i = from; i < samples(); ++i)
            peak = std::max(peak, std::abs(int(sample(i))));
        return peak;
    }

private:
    QProcess m_process;
    QByteArray m_bytes;
};

class CPlaySoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
        folder = env.root() + u"recordings/"_s;
        QDir().mkpath(folder);
        connectSignals(player);
    }

    void connectSignals(CPlaySound& sound)
    {
        QObject::connect(&sound, &CPlaySound::playbackEnded, [this] { ++ended; });
        QObject::connect(&sound, &CPlaySound::playbackFailed,
                         [this](const QString& reason) { failures << reason; });
    }

    /// A recording as this system writes it: a tag whose size counts its header, then audio.
    QString writeRecording(const QString& name, const QByteArray& audio)
    {
        const QString path = folder + name + u".mp3"_s;
        EXPECT_TRUE(AudioFixtures::writeFile(path, audio));
        Id3Tag tag;
        EXPECT_TRUE(tag.Open(path));
        tag.ReadTag();
        tag.SetText("TIT2", name);
        tag.SetText("COMM", u"a test recording"_s);
        EXPECT_TRUE(tag.WriteTag());
        return path;
    }

    /// Long audio made cheaply: encoded frames of a tone repeated to the wanted length.
    static QByteArray longAudio(long long milliseconds)
    {
        const QByteArray source = AudioFixtures::mpegStream(4.0);
        const QByteArray body = source.mid(2 * kFrameBytes, 80 * kFrameBytes);
        const long long frames = (milliseconds + kFrameMs - 1) / kFrameMs;
        QByteArray audio;
        audio.reserve(qsizetype(frames * kFrameBytes));
        while (audio.size() < frames * kFrameBytes)
            audio += body;
        audio.truncate(qsizetype(frames * kFrameBytes));
        return audio;
    }

    static long long lengthOf(const QByteArray& audio)
    {
        return audio.size() / kFrameBytes * kFrameMs;
    }

    QString writeWave(const QString& name, int milliseconds)
    {
        const int frames = 32000 * milliseconds / 1000;
        QByteArray data(frames * 2, Qt::Uninitialized);
        for (int i = 0; i < frames; ++i) {
            const auto value = int16_t(8000 * std::sin(2 * 3.14159265 * 330 * i / 32000.0));
            qToLittleEndian(value, data.data() + i * 2);
        }
        const QString path = folder + name + u".wav"_s;
        EXPECT_TRUE(AudioFixtures::writeWav(path, data, 32000));
        return path;
    }

    long long position() const { return lengthAndPosition().second; }
    long long length() const { return lengthAndPosition().first; }
    std::pair<long long, long long> lengthAndPosition() const
    {
        long long length = 0;
        long long pos = 0;
        player.GetLengthAndPosition(length, pos);
        return {length, pos};
    }

    TestEnvironment env;
    QString folder;
    mutable CPlaySound player;
    int ended = 0;
    QStringList failures;
};

// ---- The classic method: our own decoder and playback stream -----------------------------

TEST_F(CPlaySoundTest, ClassicPlaySkipsTheTagByItsSizeField)
{
    const QByteArray audio = AudioFixtures::mpegStream(2.0);
    const QString tagged = writeRecording(u"tagged"_s, audio);
    const QString raw = folder + u"raw.mp3"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(raw, audio));
    Id3Tag tag;
    ASSERT_TRUE(tag.Open(tagged, true));
    ASSERT_EQ(tag.ReadHeader(), Id3Tag::TagRead);
    EXPECT_EQ(Mp3Decoder::audioOffset(tagged), tag.TagSize());
    EXPECT_EQ(Mp3Decoder::audioOffset(raw), 0);

    ASSERT_TRUE(player.Play(tagged, false));
    const long long taggedLength = length();
    ASSERT_TRUE(player.Play(raw, false));
    EXPECT_EQ(length(), taggedLength);
    EXPECT_EQ(CPlaySound::classicDurationMs(tagged), taggedLength);
}

TEST_F(CPlaySoundTest, PauseHoldsThePositionAndPlayFromResumesThere)
{
    const QString path = writeRecording(u"held"_s, AudioFixtures::mpegStream(8.0));
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.start());
    ASSERT_TRUE(player.Play(path, false));
    ASSERT_TRUE(waitFor([&] { return position() >= 800; }));

    ASSERT_TRUE(player.PausePlay());
    const long long paused = position();
    // Half a second of the sink's output goes by while paused: the position stays and the
    // sink plays silence once what was already queued has gone.
    qsizetype mark = monitor.samples();
    ASSERT_TRUE(waitFor([&] { return monitor.samples() >= mark + 16000; }));
    EXPECT_EQ(position(), paused);
    mark = monitor.samples();
    ASSERT_TRUE(waitFor([&] { return monitor.samples() >= mark + 8000; }));
    EXPECT_LT(monitor.peakSince(mark), 50);
    EXPECT_EQ(position(), paused);

    ASSERT_TRUE(player.PlayFrom(paused));
    EXPECT_GE(position(), paused);
    EXPECT_LT(position(), paused + 200);
    mark = monitor.samples();
    EXPECT_TRUE(waitFor([&] { return monitor.peakSince(mark) > 3000; }));
    EXPECT_TRUE(waitFor([&] { return position() > paused + 400; }));
}

TEST_F(CPlaySoundTest, PlaysTheSoundToTheEndAndStopsByItself)
{
    const QByteArray audio = AudioFixtures::mpegStream(1.5);
    const QString path = writeRecording(u"short"_s, audio);
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.start());
    const qsizetype before = monitor.samples();
    ASSERT_TRUE(player.Play(path, false));
    EXPECT_NEAR(length(), lengthOf(audio), 40);
    EXPECT_TRUE(waitFor([&] { return monitor.peakSince(before) > 3000; }));
    ASSERT_TRUE(waitFor([&] { return ended == 1; }));
    EXPECT_EQ(position(), length());
    EXPECT_TRUE(failures.isEmpty());
    // Nothing more is played after the end. The monitor hands its audio over a server cycle
    // at a time (PipeWire's is 21 ms), so the first 100 ms may still hold the sound's last cycle.
    const qsizetype mark = monitor.samples() + 3200;
    ASSERT_TRUE(waitFor([&] { return monitor.samples() >= mark + 8000; }));
    EXPECT_LT(monitor.peakSince(mark), 50);
    // The file stays open at its end, and plays again from a position.
    ASSERT_TRUE(player.PlayFrom(500));
    EXPECT_LT(position(), 700);
    EXPECT_TRUE(waitFor([&] { return ended == 2; }));
}

TEST_F(CPlaySoundTest, AWaveFilePlaysAndIsMeasuredByItsFrames)
{
    const QString path = writeWave(u"Beep1"_s, 2000);
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.start());
    const qsizetype mark = monitor.samples();
    ASSERT_TRUE(player.Play(path, false));
    EXPECT_EQ(length(), 2000);
    EXPECT_TRUE(waitFor([&] { return monitor.peakSince(mark) > 3000; }));
    EXPECT_EQ(CPlaySound::classicDurationMs(path), 2000);
    EXPECT_TRUE(waitFor([&] { return ended == 1; }));
}

// ---- Steps: a fortieth of the length, between 3 and 30 seconds ----------------------------

TEST_F(CPlaySoundTest, StepsFollowTheRuleForShortMediumAndLongRecordings)
{
    struct Case {
        long long lengthMs;
        long long step;
    };
    for (const Case& c : {Case{60000, 3000}, Case{600000, 15000}, Case{2400000, 30000}}) {
        SCOPED_TRACE(c.lengthMs);
        const QByteArray audio = longAudio(c.lengthMs);
        const QString path = writeRecording(u"long"_s, audio);
        ASSERT_TRUE(player.Play(path, false));
        ASSERT_NEAR(length(), c.lengthMs, 40);
        EXPECT_EQ(CPlaySound::stepFor(length()), c.step);
        EXPECT_EQ(player.FastForward(20000, false), 20000 + c.step);
        EXPECT_EQ(player.Rewind(40000, false), 40000 - c.step);
        EXPECT_EQ(player.FastForward(length() - 100, false), length());
        EXPECT_EQ(player.Rewind(c.step - 1, false), 1);
        EXPECT_EQ(player.Rewind(c.step, false), 0);

        const long long from = position();
        const long long landed = player.FastForward(0, true);
        EXPECT_GE(landed, from + c.step);
        EXPECT_GE(position(), landed);
        EXPECT_LT(position(), landed + 300);
        const long long back = player.Rewind(0, true);
        EXPECT_GE(back, from);
        EXPECT_LT(back, landed - c.step + 400);
        EXPECT_GE(position(), back);
        EXPECT_LT(position(), back + 300);
        player.StopPlay();
    }
}

// ---- The alternative method: Qt Multimedia -------------------------------------------------

TEST_F(CPlaySoundTest, AlternativeMethodGivesTheSameLengthsAndPositions)
{
    const QString path = writeRecording(u"alt"_s, AudioFixtures::mpegStream(6.0));
    ASSERT_TRUE(player.Play(path, false));
    const long long classicLength = length();
    player.StopPlay();

    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.start());
    const qsizetype mark = monitor.samples();
    int started = 0;
    QObject::connect(&player, &CPlaySound::playbackStarted, [&] { ++started; });
    ASSERT_TRUE(player.Play(path, true));
    EXPECT_TRUE(player.isAlternative());
    ASSERT_TRUE(waitFor([&] { return started == 1; }));
    EXPECT_NEAR(length(), classicLength, 250);
    EXPECT_TRUE(waitFor([&] { return monitor.peakSince(mark) > 3000; }));
    ASSERT_TRUE(waitFor([&] { return position() > 500; }));

    ASSERT_TRUE(player.PausePlay());
    // Qt reports positions a little late: let half a second of the sink's output go by, then
    // the position must hold for the next half second.
    qsizetype clock = monitor.samples();
    ASSERT_TRUE(waitFor([&] { return monitor.samples() >= clock + 16000; }));
    const long long paused = position();
    clock = monitor.samples();
    ASSERT_TRUE(waitFor([&] { return monitor.samples() >= clock + 16000; }));
    EXPECT_EQ(position(), paused);
    EXPECT_LT(monitor.peakSince(clock), 50);
    EXPECT_EQ(player.FastForward(paused, false), paused + 3000);

    ASSERT_TRUE(player.PlayFrom(3000));
    EXPECT_TRUE(waitFor([&] { return position() >= 3000 && position() < 3600; }));
    EXPECT_TRUE(waitFor([&] { return ended == 1; }, 15000));
    EXPECT_EQ(position(), length());
}

TEST_F(CPlaySoundTest, AlternativeLoadIsNeverWaitedForAndCanBeStoppedOrRefused)
{
    // Play() returns while the file opens; a stop meanwhile (a click, a detected call) drops
    // the load, and a file that cannot be opened ends in playbackFailed().
    const QString path = writeRecording(u"alt"_s, AudioFixtures::mpegStream(2.0));
    int started = 0;
    QObject::connect(&player, &CPlaySound::playbackStarted, [&] { ++started; });
    ASSERT_TRUE(player.Play(path, true));
    EXPECT_TRUE(player.isLoading());
    player.StopPlay();
    EXPECT_FALSE(player.isOpen());
    ASSERT_TRUE(player.Play(path, true));
    ASSERT_TRUE(player.Play(path, true));
    ASSERT_TRUE(waitFor([&] { return started >= 1 && position() > 300; }));
    EXPECT_EQ(started, 1);

    const QString junk = folder + u"junk.mp3"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(junk, QByteArray(4000, 'x')));
    ASSERT_TRUE(player.Play(junk, true));
    ASSERT_TRUE(waitFor([&] { return failures.size() == 1; }));
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(started, 1);
}

// ---- When the audio server is missing or goes away ----------------------------------------

TEST_F(CPlaySoundTest, WithNoAudioServerClassicPlayFailsAtOnce)
{
    const QString path = writeRecording(u"quiet"_s, AudioFixtures::mpegStream(2.0));
    env.setVariable("PULSE_SERVER", u"unix:"_s + env.root() + u"no-server/pulse.sock"_s);
    EXPECT_FALSE(player.Play(path, false));
    EXPECT_FALSE(player.isOpen());
    EXPECT_FALSE(player.PausePlay());
    EXPECT_FALSE(player.PlayFrom(0));
    EXPECT_EQ(length(), 0);
    // Steps without an open file move only the given position.
    EXPECT_EQ(player.FastForward(0, true), 0);
    EXPECT_EQ(player.Rewind(2000, false), 1);
    EXPECT_EQ(player.Rewind(5000, false), 2000);
    EXPECT_FALSE(player.ControlloPresenzaScheda());
    // A file that is not audio fails at the open, before any server is asked.
    const QString junk = folder + u"junk.mp3"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(junk, QByteArray(4000, 'x')));
    EXPECT_FALSE(player.Play(junk, false));
}

TEST_F(CPlaySoundTest, AServerThatGoesAwayMidPlayEndsThePlaybackWithAReport)
{
    PrivateAudioServer server;
    ASSERT_TRUE(server.start());
    env.setVariable("PULSE_SERVER", server.address());
    const QString path = writeRecording(u"cut"_s, AudioFixtures::mpegStream(20.0));
    ASSERT_TRUE(player.Play(path, false));
    ASSERT_TRUE(waitFor([&] { return position() > 300; }));

    server.stop();
    ASSERT_TRUE(waitFor([&] { return failures.size() == 1; }));
    EXPECT_TRUE(player.hasFailed());
    EXPECT_FALSE(player.failureText().isEmpty());
    EXPECT_EQ(position(), length());
    EXPECT_FALSE(player.PausePlay());
    EXPECT_FALSE(player.PlayFrom(1000));
    EXPECT_EQ(ended, 0);
    player.StopPlay();
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(length(), 0);
}

TEST_F(CPlaySoundTest, TwoPlayersPlayAtTheSameTime)
{
    CPlaySound warning;
    const QString call = writeRecording(u"call"_s, AudioFixtures::mpegStream(4.0));
    const QString beep = writeWave(u"Beep1"_s, 1000);
    ASSERT_TRUE(player.Play(call, false));
    ASSERT_TRUE(warning.Play(beep, false));
    long long length = 0;
    long long at = 0;
    EXPECT_TRUE(waitFor([&] {
        warning.GetLengthAndPosition(length, at);
        return at == length && length == 1000;
    }));
    EXPECT_GT(position(), 0);
}

} // namespace
