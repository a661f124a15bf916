#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "audio/MpegDuration.h"
#include "audio/ThreadMessages.h"
#include "platform/PulseWaveInput.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/MicrophoneFeeder.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>
#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

using namespace ThreadMessages;

namespace {

using Piece = AudioFixtures::Piece;

long long durationMs(const QString& path)
{
    return MpegDuration::milliseconds(path, 0).value_or(-1);
}

/// The two threads as the window starts them, with what they reported.
struct CaptureRig {
    TestEnvironment env;
    QString work;
    CWriteSoundFile writer;
    std::unique_ptr<CRecordSound> capture;
    std::vector<std::pair<QString, bool>> ready;
    int voices = 0;
    int maxLevel = 0;
    int lastLevel = -1;
    int levels = 0;
    bool ended = false;

    /// `prepare` runs before the threads start.
    explicit CaptureRig(const CRecordSound::InputFactory& input,
                        const std::function<void(CaptureRig&)>& prepare = {})
        : work(env.root() + u"work/"_s)
    {
        QDir().mkpath(work);
        if (prepare)
            prepare(*this);
        capture = std::make_unique<CRecordSound>(input, env.dataFolder());
        writer.setWriterFolders(env.programFolder(), work);
        QObject::connect(
            &writer, &CWriteSoundFile::fileReady, qApp,
            [this](const QString& path, bool discard) { ready.emplace_back(path, discard); });
        QObject::connect(capture.get(), &CRecordSound::voiceDetected, qApp, [this] { ++voices; });
        QObject::connect(capture.get(), &CRecordSound::inputLevel, qApp, [this](int peak, int) {
            ++levels;
            lastLevel = peak;
            maxLevel = std::max(maxLevel, peak);
        });
        QObject::connect(capture.get(), &CRecordSound::inputEnded, qApp, [this] { ended = true; });
        capture->startThread();
        writer.startThread();
        capture->postSetWriter(&writer);
    }
    ~CaptureRig()
    {
        capture->endThread();
        capture.reset();
    }
    void arm(int threshold, int silenceSeconds, bool antiBump)
    {
        capture->setThreshold(threshold);
        capture->setSilenceSeconds(silenceSeconds);
        capture->setAntiBump(antiBump);
        capture->enableAutoRecording();
        capture->postStartRecording();
    }
    /// Stops, waits for the writer to close, and lets the queued signals arrive.
    bool finish()
    {
        const bool stopped = capture->stopRecordingAndWait(10000);
        QCoreApplication::processEvents();
        return stopped;
    }
    QString temporary() const { return work + u"tmp_nome_reg.dtm"_s; }
};

// A rig fed a WAV of `pieces`, started by `start`, run to the input's end and stopped.
struct FileRun {
    TestEnvironment scratch;
    std::unique_ptr<CaptureRig> rig;

    FileRun(const std::vector<Piece>& pieces, const std::function<void(CaptureRig&)>& start,
            int rate = 32000, int channels = 1)
    {
        const QString wav = scratch.root() + u"input.wav"_s;
        EXPECT_TRUE(AudioFixtures::writeWav(wav, pieces, rate, channels));
        rig = std::make_unique<CaptureRig>(CRecordSound::wavFile(wav));
        start(*rig);
        EXPECT_TRUE(waitFor([&] { return rig->ended; }, 60000))
            << rig->voices << " " << rig->ready.size() << " " << rig->levels;
        EXPECT_TRUE(rig->finish());
    }
};

TEST(CRecordSoundFromFile, TwoBurstsSeparatedByMoreThanTheSilenceGiveTwoCalls)
{
    FileRun run({{1, false}, {3, true}, {4, false}, {2, true}, {4, false}},
                [](CaptureRig& r) { r.arm(1000, 2, true); });
    const CaptureRig& rig = *run.rig;

    EXPECT_EQ(rig.voices, 2);
    ASSERT_EQ(rig.ready.size(), 2u);
    EXPECT_FALSE(rig.ready[0].second);
    EXPECT_FALSE(rig.ready[1].second);
    // Each call: its voice plus the two seconds of silence that ended it.
    EXPECT_NEAR(durationMs(rig.ready[0].first), 5000, 150);
    EXPECT_NEAR(durationMs(rig.ready[1].first), 4000, 150);
    // At most one level every fourth 36 ms buffer (the first more than 125 ms after the last),
    // and only when it changed: at least at each edge of the two calls.
    EXPECT_LE(rig.levels, 14000 / 144 + 2);
    EXPECT_GE(rig.levels, 4);
    EXPECT_GE(rig.maxLevel, 11000);
}

TEST(CRecordSoundFromFile, ManualRecordingOfAResampledStereoFileKeepsItsLength)
{
    FileRun run(
        {{2, true}, {1, false}},
        [](CaptureRig& r) {
            r.capture->disableAutoRecording();
            r.capture->postStartRecording();
        },
        48000, 2);
    const CaptureRig& rig = *run.rig;

    EXPECT_EQ(rig.voices, 0);
    EXPECT_TRUE(rig.ready.empty());
    EXPECT_NEAR(durationMs(rig.temporary()), 3000, 100);
}

TEST(CRecordSoundFromFile, EndingTheThreadsStopsTheRecordingAndEndsTheWriter)
{
    TestEnvironment scratch;
    const QString wav = scratch.root() + u"long.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(wav, {{4, true}}));
    CaptureRig rig(CRecordSound::wavFile(wav));
    rig.capture->postStartRecording();
    ASSERT_TRUE(waitFor([&] { return !rig.writer.isWriterIdle(); }));
    EXPECT_TRUE(rig.capture->endThread());
    EXPECT_TRUE(rig.writer.isWriterIdle());
    EXPECT_GT(durationMs(rig.temporary()), 0);
}

TEST(CRecordSoundFromFile, SampleLogCopiesTheForwardedAudioWhenItsSwitchFileExists)
{
    TestEnvironment scratch;
    const QString wav = scratch.root() + u"short.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(wav, {{1, true}}));
    // The switch is read when the capture thread starts.
    CaptureRig rig(CRecordSound::wavFile(wav), [](CaptureRig& r) {
        QDir().mkpath(r.env.dataFolder());
        AudioFixtures::writeFile(r.env.dataFolder() + u"LogCampionamenti.log"_s, {});
    });
    rig.capture->postStartRecording();
    ASSERT_TRUE(waitFor([&] { return rig.ended; }));
    ASSERT_TRUE(rig.finish());
    ASSERT_TRUE(rig.capture->endThread());

    const QStringList copies =
        QDir(rig.env.dataFolder()).entryList({u"WavLogRec_*.wav"_s}, QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    const QByteArray copy = AudioFixtures::readFile(rig.env.dataFolder() + copies[0]);
    EXPECT_EQ(copy.size(), 28 * 1152 * 2); // every forwarded buffer, whole
    EXPECT_TRUE(copy.startsWith("RIFF"));
    EXPECT_EQ(copy.mid(50, 4), QByteArray("data"));
    const QByteArray log =
        AudioFixtures::readFile(rig.env.dataFolder() + u"LogCampionamenti.log"_s);
    EXPECT_TRUE(log.contains("\r\n36\r\n"));
}

TEST(CRecordSoundMicrophone, FakeMicrophoneMovesTheLevelAndGrowsTheTemporaryFile)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    CaptureRig rig(CRecordSound::microphone());
    rig.capture->postStartRecording();
    ASSERT_TRUE(waitFor([&] { return rig.capture->isRecording(); }));

    MicrophoneFeeder feeder(true);
    const bool heard = waitFor([&] { return rig.maxLevel >= 11000; }, 20000);
    const bool grew = waitFor([&] { return QFileInfo(rig.temporary()).size() >= 6000; }, 20000);
    const qint64 size = QFileInfo(rig.temporary()).size();
    const bool growing = waitFor([&] { return QFileInfo(rig.temporary()).size() > size; }, 20000);
    EXPECT_TRUE(waitFor([&] { return feeder.toneSeconds() >= 3.0; }, 20000));
    EXPECT_TRUE(heard);
    EXPECT_TRUE(grew);
    EXPECT_TRUE(growing);
    ASSERT_TRUE(rig.finish());
    EXPECT_GE(durationMs(rig.temporary()), 2500);
}

// A second record source beside the fake microphone, a 2000 Hz tone of its own: record device
// 1 while loaded, since the null sink's monitor before it is no record device. Unloaded with
// the object, whatever the test did.
struct SineSource {
    QString module;
    SineSource()
    {
        QProcess pactl;
        pactl.start(u"pactl"_s,
                    {u"load-module"_s, u"module-sine-source"_s, u"source_name=parlunesine"_s,
                     u"rate=32000"_s, u"frequency=2000"_s});
        if (pactl.waitForFinished(10000) && pactl.exitCode() == 0)
            module = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    }
    ~SineSource()
    {
        if (!module.isEmpty())
            QProcess::execute(u"pactl"_s, {u"unload-module"_s, module});
    }
};

// The tone's frequency, from its sign changes.
double frequencyOf(const std::vector<int16_t>& samples)
{
    int changes = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        changes += (samples[i - 1] < 0) != (samples[i] < 0);
    return changes / 2.0 * WaveInput::kSampleRate / double(samples.size());
}

// The fake microphone plays 440 Hz, the second source 2000 Hz: each device number records its
// own, and a number beyond the list the default.
TEST(PulseWaveInputDevices, EachNumberRecordsItsSourceAndOneBeyondTheListTheDefault)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    SineSource sine;
    if (sine.module.isEmpty())
        GTEST_SKIP() << "this audio server cannot make a second source";
    MicrophoneFeeder feeder(true);
    const std::tuple<int, QString, double> cases[] = {{0, u"fakemic"_s, 440},
                                                      {1, u"parlunesine"_s, 2000},
                                                      {2, u"fakemic"_s, 440},
                                                      {-1, u"fakemic"_s, 440}};
    for (const auto& [device, source, hz] : cases) {
        SCOPED_TRACE(device);
        std::mutex mutex;
        std::vector<WaveInputBuffer> buffers; // the first kQueued: the others are dropped
        PulseWaveInput input([&](WaveInputBuffer&& buffer) {
            std::lock_guard lock(mutex);
            buffers.push_back(std::move(buffer));
        });
        input.setDevice(device);
        uint32_t code = 0;
        QString error;
        ASSERT_TRUE(input.start(code, error)) << error.toStdString();
        EXPECT_EQ(input.deviceName(), source);
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(mutex);
            return buffers.size() == size_t(WaveInput::kQueued);
        }));
        input.stop();
        EXPECT_NEAR(frequencyOf(buffers.back().samples), hz, hz / 5);
    }
}

// The number given to the capture thread is looked up at the next start: a device unplugged
// since then is the default.
TEST(CRecordSoundMicrophone, ChosenDeviceIsLookedUpAtEachStart)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    MicrophoneFeeder feeder(false);
    auto sine = std::make_unique<SineSource>();
    if (sine->module.isEmpty())
        GTEST_SKIP() << "this audio server cannot make a second source";
    CaptureRig rig(CRecordSound::microphone());
    rig.capture->setRecordingDevice(1);
    rig.capture->postStartRecording();
    EXPECT_TRUE(waitFor([&] { return rig.maxLevel >= 10000; }));
    ASSERT_TRUE(rig.finish());

    sine.reset();
    rig.capture->postStartRecording();
    // The default source is the silent fake microphone.
    EXPECT_TRUE(waitFor([&] { return rig.lastLevel == 0; }));
    ASSERT_TRUE(rig.finish());
    EXPECT_TRUE(waitFor([&] {
        return containsInOrder(rig.env.logLines(),
                               {u"Sorgente di registrazione: parlunesine (dispositivo 1)"_s,
                                u"Sorgente di registrazione: fakemic (dispositivo 1)"_s});
    }));
}

} // namespace

TEST(CRecordSoundMicrophone, BothSidesSwitchedOnWhileArmedTakeNoCallFromThisProgramsOwnPlayback)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    TestEnvironment scratch;
    // The recording played back is a 700 Hz tone, the other program's sound a 1 kHz one.
    const auto toneFile = [&](const QString& name, const char* hertz, const char* seconds) {
        const QString path = scratch.root() + name;
        EXPECT_TRUE(SpokenAudio::runTool("sox", {"-n", "-r", "32000", "-c", "1", "-b", "16", path,
                                                 "synth", seconds, "sine", hertz, "vol", "0.4"}));
        return path;
    };
    const QString tone = toneFile(u"played.wav"_s, "700", "1");
    const QString other = toneFile(u"other.wav"_s, "1000", "1.5");
    MicrophoneFeeder feeder(false);
    CaptureRig rig(CRecordSound::microphone());
    rig.arm(3000, 1, false);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(rig.temporary()); }, 20000));
    // Switched on while armed: the input opens the far side at once.
    WaveInput::CallOptions options;
    options.bothSides = true;
    rig.capture->setCallOptions(options);
    rig.capture->setOwnPlayback(true);
    const auto recordStreams = [] {
        QProcess pactl;
        pactl.start(u"pactl"_s, {"list", "short", "source-outputs"});
        pactl.waitForFinished(5000);
        return pactl.readAllStandardOutput().count('\n');
    };
    ASSERT_TRUE(waitFor([&] { return recordStreams() == 2; }, 20000));
    ASSERT_EQ(QProcess::execute(u"paplay"_s, {tone}), 0); // a recording played back
    rig.capture->setOwnPlayback(false);
    ASSERT_EQ(QProcess::execute(u"paplay"_s, {other}), 0); // another program's sound
    // Its call holds it, and no call holds anything of the playback before it. (A call of the
    // test microphone's own, left by an earlier test, may come first.)
    const auto level = [](const QString& path, double hertz) {
        const std::vector<int16_t> call = AudioFixtures::decodeRecording(path);
        double loudest = 0;
        for (size_t at = 0; at + 4000 <= call.size(); at += 4000)
            loudest =
                std::max(loudest, AudioFixtures::toneAmplitude(call.data() + at, 4000, hertz));
        return loudest;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            return std::any_of(rig.ready.begin(), rig.ready.end(),
                               [&](const auto& file) { return level(file.first, 1000) > 5000; });
        },
        20000));
    EXPECT_TRUE(rig.finish());
    for (const auto& file : rig.ready)
        EXPECT_LT(level(file.first, 700), 500) << file.first.toStdString();
}
