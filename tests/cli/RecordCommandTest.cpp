#include "audio/CWriteSoundFile.h"
#include "res/StringTable.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/MicrophoneFeeder.h"
#include "tests/support/PrivateAudioServer.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct CtlRun {
    int status = -1;
    QString out;
    QString err;
};

// `parlunectl record` as a script runs it, on spoken calls made with espeak-ng and sox.
class RecordCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + u"calls/"_s;
        QDir().mkpath(folder);
        ASSERT_TRUE(SpokenAudio::toolsPresent());
    }

    /// A WAV of spoken sentences, each after `gap` seconds of silence, ending in silence.
    QString spokenCalls(const QStringList& sentences, double gap, const QString& name)
    {
        const QString path = SpokenAudio::calls(env.root(), sentences, gap, name);
        EXPECT_FALSE(path.isEmpty());
        return path;
    }

    QStringList recordArgs(const QStringList& args) const
    {
        return QStringList({"--folder", folder, "record"}) + args;
    }

    /// Starts `parlunectl record` with `args` beside the test.
    bool launch(QProcess& recorder, const QStringList& args) const
    {
        recorder.start(QStringLiteral(PARLUNE_BIN_DIR "/parlunectl"), recordArgs(args));
        return recorder.waitForStarted();
    }

    /// Runs parlunectl; a run still going after `timeoutMs` is killed and reads as status -1.
    CtlRun ctl(const QStringList& args, int timeoutMs = 120000)
    {
        QProcess process;
        process.start(QStringLiteral(PARLUNE_BIN_DIR "/parlunectl"), args);
        if (!process.waitForFinished(timeoutMs))
            return {-1, {}, u"still running after %1 ms"_s.arg(timeoutMs)};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QJsonArray listJson()
    {
        const CtlRun run = ctl({"--folder", folder, "list", "--json"});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).array();
    }

    static int durationSeconds(const QJsonValue& entry)
    {
        const QStringList parts = entry.toObject()["duration"].toString().split(u':');
        return parts.size() == 2 ? parts[0].toInt() * 60 + parts[1].toInt() : -1;
    }

    QJsonObject tagsOf(const QString& name)
    {
        const CtlRun run = ctl({"--folder", folder, "tags", folder + name + ".mp3", "--json"});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }

    static QString frameText(const QJsonObject& tags, const QString& id)
    {
        for (const QJsonValue& frame : tags["frames"].toArray()) {
            if (frame.toObject()["id"].toString() == id)
                return frame.toObject()["text"].toString();
        }
        return {};
    }

    bool indexed(const QString& name) const
    {
        QFile index(folder + u"Index.txt"_s);
        return index.open(QIODevice::ReadOnly) && index.readAll().contains(name.toUtf8());
    }

    /// A long tone, long enough to be still recording when the test acts.
    QString longTone()
    {
        const QString path = env.root() + u"long.wav"_s;
        EXPECT_TRUE(SpokenAudio::runTool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", path,
                                                 "synth", "1800", "sine", "440", "vol", "0.4"}));
        return path;
    }

    /// Starts `parlunectl record` on a long tone and waits until its file holds some audio.
    bool startRecordingLongTone(QProcess& recorder)
    {
        return launch(recorder, {"--input", longTone()}) &&
               waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() > 20000; },
                       60000);
    }

    /// The loudest `hz` tone of the recording `name` over quarter seconds, with the other
    /// tone's level in the same quarter when `other` is given.
    double loudestTone(const QString& name, double hz, double other = 0,
                       double* otherLevel = nullptr)
    {
        const std::vector<int16_t> audio =
            AudioFixtures::decodeRecording(folder + name + u".mp3"_s);
        EXPECT_FALSE(audio.empty()) << name.toStdString();
        double loudest = 0;
        for (size_t at = 0; at + 8000 <= audio.size(); at += 8000) {
            const double level = AudioFixtures::toneAmplitude(audio.data() + at, 8000, hz);
            if (level <= loudest)
                continue;
            loudest = level;
            if (otherLevel)
                *otherLevel = AudioFixtures::toneAmplitude(audio.data() + at, 8000, other);
        }
        return loudest;
    }

    static int sourceOutputs()
    {
        QProcess pactl;
        pactl.start(u"pactl"_s, {"list", "short", "source-outputs"});
        pactl.waitForFinished(5000);
        return int(pactl.readAllStandardOutput().count('\n'));
    }

    TestEnvironment env;
    QString folder;
};

} // namespace

TEST_F(RecordCommandTest, AutoRecordingKeepsEachSpokenCallAsItsOwnRecording)
{
    const QString calls =
        spokenCalls({"Good morning, I am calling about the invoice from last week.",
                     "Hello again, the delivery will arrive on Tuesday afternoon."},
                    4.0, "calls.wav");
    const CtlRun run =
        ctl(recordArgs({"--auto", "--input", calls, "--silence", "2", "--threshold", "3000"}));
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"Recording 1\nRecording 2\n"_s);

    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 2);
    for (const QJsonValue& entry : list) {
        // A sentence of about three seconds and the two seconds of silence that ended it.
        EXPECT_GE(durationSeconds(entry), 4);
        EXPECT_LE(durationSeconds(entry), 7);
        const QString name = entry.toObject()["name"].toString();
        EXPECT_TRUE(indexed(name));
        EXPECT_EQ(frameText(tagsOf(name), "TIT2"), name);
    }
    EXPECT_TRUE(QDir(folder).entryList({"*.prl", "*.dtm"}, QDir::Files).isEmpty());
}

TEST_F(RecordCommandTest, ListingsBesideAnAutoRecorderTakeNoneOfItsCalls)
{
    // Many short calls, so that hand-overs are frequent while the listings run.
    constexpr int kCalls = 24;
    std::vector<AudioFixtures::Piece> pieces{{0.5, false}};
    for (int call = 0; call < kCalls; ++call)
        pieces.insert(pieces.end(), {{1.3, true}, {1.3, false}});
    const QString input = env.root() + u"calls.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(input, pieces));
    QProcess recorder;
    ASSERT_TRUE(
        launch(recorder, {"--auto", "--input", input, "--silence", "1", "--threshold", "3000"}));
    int listings = 0;
    while (recorder.state() != QProcess::NotRunning && !recorder.waitForFinished(0)) {
        EXPECT_EQ(ctl({"--folder", folder, "list"}).status, 0);
        ++listings;
    }
    EXPECT_EQ(recorder.exitCode(), 0) << recorder.readAllStandardError().toStdString();
    QString expected;
    for (int call = 1; call <= kCalls; ++call)
        expected += u"Recording %1\n"_s.arg(call);
    EXPECT_EQ(QString::fromUtf8(recorder.readAllStandardOutput()), expected);
    EXPECT_EQ(listJson().size(), kCalls) << listings << " listings ran beside the recorder";
    EXPECT_TRUE(QDir(folder).entryList({"*.prl", "*.dtm"}, QDir::Files).isEmpty());
}

TEST_F(RecordCommandTest, SingleFileModeGathersEveryCallIntoOneRecording)
{
    const QString calls = spokenCalls(
        {"First caller speaking now.", "Second caller on the line.", "Third and last one."}, 4.0,
        "calls.wav");
    const CtlRun run = ctl(recordArgs(
        {"--auto", "--single-file", "--input", calls, "--silence", "2", "--threshold", "3000"}));
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"Recording 1\n"_s);
    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    // Three short sentences, each with the two seconds of silence that closed it.
    EXPECT_GE(durationSeconds(list[0]), 7);
}

TEST_F(RecordCommandTest, RecordingThatFillsTheDiskStopsAndKeepsWhatWasWritten)
{
    // A minute of tone: more than the disk holds.
    const QString tone = env.root() + u"tone.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(tone, {{60.0, true}}));
    TmpfsMount disk(env.root() + u"small/"_s, 1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    folder = env.root() + u"small/"_s;
    ASSERT_EQ(listJson().size(), 0);
    // Room for some seconds of audio at 32 kbit/s.
    ASSERT_TRUE(disk.fill(64 * 1024));
    const CtlRun run = ctl(recordArgs({"--input", tone}));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(StringTable::text(CWriteSoundFile::kTemporaryFileString).left(40)))
        << run.err.toStdString();

    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    const QString name = list[0].toObject()["name"].toString();
    const CtlRun measured = ctl({"duration", folder + name + ".mp3"});
    EXPECT_EQ(measured.status, 0);
    EXPECT_GT(measured.out.trimmed().toLongLong(), 1000);
    EXPECT_TRUE(QDir(folder).entryList({"*.prl", "*.dtm"}, QDir::Files).isEmpty());
}

TEST_F(RecordCommandTest, ReadOnlyFolderIsRefusedOnceBeforeArming)
{
    TmpfsMount disk(env.root() + u"locked/"_s, 1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    folder = env.root() + u"locked/"_s;
    ASSERT_EQ(listJson().size(), 0);
    ASSERT_TRUE(disk.setReadOnly(true));
    const QString calls = env.root() + u"calls.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(calls, {{1.0, false}, {3.0, true}, {3.0, false}}));
    const CtlRun run = ctl(recordArgs(
        {"--auto", "--input", calls, "--silence", "1", "--threshold", "3000", "--seconds", "20"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.count(u"cannot be changed"_s), 1) << run.err.toStdString();
    EXPECT_EQ(run.err.trimmed().count(u'\n'), 0) << run.err.toStdString();
    EXPECT_LT(env.logLines().size(), 200);
}

TEST_F(RecordCommandTest, BadArgumentsAreUsageErrors)
{
    // A good input, so that a value let through ends in a quick recording, not a usage error.
    const QString tone = env.root() + u"tone.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(tone, {{1.0, true}}));
    const QStringList badValues[] = {
        {"--seconds", "soon"},       {"--seconds", "0"},          {"--seconds", "-3"},
        {"--seconds", "2147484"},    {"--seconds", "2147483647"}, {"--threshold", "99"},
        {"--threshold", "32768"},    {"--silence", "-1"},         {"--silence", "86401"},
        {"--silence", "2147483647"}, {"--pre-roll", "6"},         {"--pre-roll", "-1"},
        {"--pre-roll", "x"},         {"--pre-roll", "1.5"}};
    for (const QStringList& option : badValues) {
        const CtlRun run = ctl(recordArgs(QStringList{"--input", tone} + option), 30000);
        EXPECT_EQ(run.status, 2) << option.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(option.first())) << run.err.toStdString();
    }
    for (const char* serverOnly : {"--both-sides", "--on-microphone-open"})
        EXPECT_EQ(ctl(recordArgs({"--input", tone, serverOnly})).status, 2) << serverOnly;
    for (const QStringList& missingValue :
         {QStringList{"--input"}, {"--input", tone, "--pre-roll"}})
        EXPECT_EQ(ctl(recordArgs(missingValue)).status, 2) << missingValue.join(u' ').toStdString();
    EXPECT_EQ(ctl(recordArgs({"--input", env.root() + "missing.wav"})).status, 1);
}

TEST_F(RecordCommandTest, InputsThatCannotBeRecordedAreRefusedWithAMessage)
{
    const QString good = env.root() + u"good.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(good, {{1.0, true}}));
    const QByteArray samples = AudioFixtures::readFile(good).mid(44);
    const QString bad = env.root() + u"bad.wav"_s;
    const std::pair<const char*, std::function<bool()>> inputs[] = {
        {"random bytes",
         [&] { return AudioFixtures::writeFile(bad, AudioFixtures::randomBytes(4096, 7)); }},
        {"30-byte header",
         [&] { return AudioFixtures::writeFile(bad, AudioFixtures::readFile(good).left(30)); }},
        {"empty", [&] { return AudioFixtures::writeFile(bad, {}); }},
        {"rate 0", [&] { return AudioFixtures::writeWav(bad, samples, 0); }},
        {"no channels", [&] { return AudioFixtures::writeWav(bad, samples, 32000, 0); }},
        {"rate 1", [&] { return AudioFixtures::writeWav(bad, samples, 1); }},
        {"rate 7999", [&] { return AudioFixtures::writeWav(bad, samples, 7999); }}};
    for (const auto& [name, write] : inputs) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(write());
        const CtlRun run = ctl(recordArgs({"--input", bad}), 30000);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains(bad)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_TRUE(QDir(folder).entryList({"*.mp3", "*.dtm"}, QDir::Files).isEmpty());
}

TEST_F(RecordCommandTest, FailingWriterEndsTheCommandWithItsMessage)
{
    // A folder in the temporary file's place cannot be opened for writing, not even by root.
    ASSERT_TRUE(QDir().mkpath(folder + "tmp_nome_reg.dtm"));
    const CtlRun run = ctl(recordArgs({"--input", longTone()}), 60000);
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(QFileInfo(folder + "tmp_nome_reg.dtm").isDir());
}

TEST_F(RecordCommandTest, TerminationSignalStopsAndKeepsTheRecording)
{
    QProcess recorder;
    ASSERT_TRUE(startRecordingLongTone(recorder));
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(60000));
    EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(recorder.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(recorder.readAllStandardOutput()), u"Recording 1\n"_s);
    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    EXPECT_GT(durationSeconds(list[0]), 0);
}

TEST_F(RecordCommandTest, KilledRecorderLeavesARecordingThatTheNextCommandRecovers)
{
    QProcess recorder;
    ASSERT_TRUE(startRecordingLongTone(recorder));
    recorder.kill();
    ASSERT_TRUE(recorder.waitForFinished(60000));
    ASSERT_TRUE(QFileInfo::exists(folder + "tmp_nome_reg.dtm"));

    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    const QString name = list[0].toObject()["name"].toString();
    EXPECT_EQ(name, u"Recording 1"_s);
    EXPECT_GT(durationSeconds(list[0]), 0);
    EXPECT_GT(list[0].toObject()["size"].toInt(), 20000);
    EXPECT_FALSE(QFileInfo::exists(folder + "tmp_nome_reg.dtm"));
    EXPECT_TRUE(indexed(name));
    // It plays: its duration is measured from the audio again.
    const CtlRun measured = ctl({"duration", folder + name + ".mp3"});
    EXPECT_EQ(measured.status, 0);
    EXPECT_GT(measured.out.trimmed().toLongLong(), 1000);
}

TEST_F(RecordCommandTest, AutoRecordingFromTheMicrophoneSurvivesAServerRestart)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    QProcess recorder;
    MicrophoneFeeder feeder(false);
    ASSERT_TRUE(launch(recorder, {"--auto", "--seconds", "20", "--silence", "1", "--threshold",
                                  "3000", "--no-antibump"}));
    ASSERT_TRUE(waitFor([] { return MicrophoneFeeder::streamConnected(); }, 30000));
    feeder.setTone(true);
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() >= 4000; }, 30000));
    {
        PrivateAudioServer::SharedOutage outage;
        ASSERT_TRUE(outage.stopped());
        ASSERT_TRUE(waitFor([&] { return QDir(folder).entryList({"*.mp3"}).size() == 1; }));
    }
    // Back by itself: the tone that goes on is the next call.
    ASSERT_TRUE(waitFor([] { return MicrophoneFeeder::streamConnected(); }, 30000));
    const double before = feeder.toneSeconds();
    ASSERT_TRUE(waitFor([&] { return feeder.toneSeconds() >= before + 2.5; }, 30000));
    feeder.setTone(false);
    ASSERT_TRUE(recorder.waitForFinished(60000));
    const QString err = QString::fromUtf8(recorder.readAllStandardError());
    EXPECT_EQ(recorder.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(StringTable::text(503))) << err.toStdString();
    EXPECT_EQ(QString::fromUtf8(recorder.readAllStandardOutput()), u"Recording 1\nRecording 2\n"_s);
    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 2);
    for (const QJsonValue& entry : list)
        EXPECT_GE(durationSeconds(entry), 1);
}

TEST_F(RecordCommandTest, ManualRecordingFromTheMicrophoneEndsAndIsKeptWhenTheServerGoesAway)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    QProcess recorder;
    MicrophoneFeeder feeder(true);
    ASSERT_TRUE(launch(recorder, {"--seconds", "60"}));
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() >= 6000; }, 30000));
    PrivateAudioServer::SharedOutage outage;
    ASSERT_TRUE(outage.stopped());
    // Not a minute later: as soon as the microphone is gone.
    ASSERT_TRUE(recorder.waitForFinished(10000));
    EXPECT_EQ(recorder.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(recorder.readAllStandardError())
                    .contains(StringTable::text(502).section(u'(', 0, 0)));
    EXPECT_EQ(QString::fromUtf8(recorder.readAllStandardOutput()), u"Recording 1\n"_s);
    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    EXPECT_GE(durationSeconds(list[0]), 1);
}

TEST_F(RecordCommandTest, AnAccountWhereTheWindowNeverRanGetsItsSettingsAndFolder)
{
    const QString recordings = env.dataFolder() + u"Recordings/"_s;
    const CtlRun listed = ctl({"list"});
    EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.isEmpty());
    EXPECT_TRUE(QFileInfo(recordings).isDir());
    EXPECT_TRUE(TestEnvironment::settingsFileLines(env.userSettingsFile())
                    .contains("WorkDir=" + recordings));

    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    // A timed recording from the default microphone, on another fresh account.
    TestEnvironment fresh;
    CtlRun recorded;
    {
        // The tone lasts as long as the recorder, so a slow start cannot leave it unheard.
        MicrophoneFeeder feeder(true);
        recorded = ctl({"record", "--seconds", "3"});
    }
    ASSERT_EQ(recorded.status, 0) << recorded.err.toStdString();
    EXPECT_EQ(recorded.out, u"Recording 1\n"_s);
    const QJsonArray list = QJsonDocument::fromJson(ctl({"list", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(list.size(), 1);
    EXPECT_TRUE(QFileInfo(fresh.dataFolder() + "Recordings/Recording 1.mp3").isFile());
    const QString duration = list[0].toObject()["duration"].toString();
    EXPECT_TRUE(duration == u"00:02"_s || duration == u"00:03"_s) << duration.toStdString();
}

TEST_F(RecordCommandTest, BothSidesOfACallOnThisComputerAreRecordedFromTheMicrophoneAndTheSpeakers)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    // The speakers turned down: the far side is still recorded at the level it was played.
    ASSERT_EQ(QProcess::execute(u"pactl"_s, {"set-sink-volume", "@DEFAULT_SINK@", "40%"}), 0);
    const auto volumeBack = qScopeGuard([] {
        QProcess::execute(u"pactl"_s, {"set-sink-volume", "@DEFAULT_SINK@", "100%"});
    });
    const QString farSide = env.root() + u"far.wav"_s;
    ASSERT_TRUE(SpokenAudio::runTool("sox", {"-n", "-r", "32000", "-c", "1", "-b", "16", farSide,
                                             "synth", "3", "sine", "1000", "vol", "0.3"}));
    MicrophoneFeeder feeder(false);
    QProcess recorder;
    ASSERT_TRUE(launch(recorder, {"--auto", "--both-sides", "--seconds", "60", "--silence", "1",
                                  "--threshold", "3000", "--no-antibump"}));
    ASSERT_TRUE(waitFor([] { return sourceOutputs() >= 2; }, 30000)); // microphone and monitor
    // The far side speaks first, alone: that starts the recording.
    QProcess player;
    player.start(u"paplay"_s, {farSide});
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() > 3000; }, 30000));
    feeder.setTone(true);
    ASSERT_TRUE(waitFor([&] { return feeder.toneSeconds() >= 1.5; }, 30000));
    feeder.setTone(false);
    ASSERT_TRUE(player.waitForFinished(30000));
    ASSERT_TRUE(waitFor([&] { return QDir(folder).entryList({"*.mp3"}).size() == 1; }, 30000));
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(30000));
    ASSERT_EQ(QString::fromUtf8(recorder.readAllStandardOutput()), u"Recording 1\n"_s);
    double nearWithFar = 0;
    const double far = loudestTone(u"Recording 1"_s, 1000, 440);
    const double near = loudestTone(u"Recording 1"_s, 440, 1000, &nearWithFar);
    // 40 % on the slider is 6 % of the signal; raised too far, it would clip. (PipeWire's
    // mono mix of the stereo monitor is 3 dB louder than the sound played.)
    EXPECT_GT(far, 0.3 * 32767 * 0.6);
    EXPECT_LT(far, 0.3 * 32767 * 1.5);
    EXPECT_GT(near, 12000 * 0.7);
    EXPECT_GT(nearWithFar, 0.3 * 32767 * 0.7) << "the two sides overlap in one quarter second";
}

TEST_F(RecordCommandTest, AProgramOpeningTheMicrophoneStartsARecordingAndItsEndStopsIt)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    MicrophoneFeeder feeder(false); // a silent microphone
    QProcess recorder;
    ASSERT_TRUE(launch(recorder, {"--auto", "--on-microphone-open", "--seconds", "60", "--silence",
                                  "1", "--threshold", "3000"}));
    ASSERT_TRUE(waitFor([] { return sourceOutputs() == 1; }, 30000)); // its own stream only
    QProcess callProgram;
    callProgram.setStandardOutputFile(QProcess::nullDevice());
    callProgram.start(u"parec"_s, {"--raw"});
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() > 3000; }, 30000));
    // Kept well past a bump's length, then the call program lets the microphone go.
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() > 12000; }, 30000));
    callProgram.terminate();
    ASSERT_TRUE(callProgram.waitForFinished(10000));
    ASSERT_TRUE(waitFor([&] { return QDir(folder).entryList({"*.mp3"}).size() == 1; }, 30000));
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(recorder.readAllStandardOutput()), u"Recording 1\n"_s);
    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    // Parlune's own stream never counted: the call lasted as long as the program's.
    EXPECT_LE(durationSeconds(list[0]), 10);
    EXPECT_TRUE(
        AudioFixtures::readFile(env.dataFolder() + u"PL.log"_s).contains("Microfono aperto da "));
}

TEST_F(RecordCommandTest, PreRollKeepsTheQuietStartOfACallBeforeItsVoice)
{
    // Half a second under the threshold, then the voice.
    const QString call = env.root() + u"call.wav"_s;
    ASSERT_TRUE(AudioFixtures::writeWav(
        call, {{2.0, false}, {0.5, true, 1500}, {2.0, true, 12000}, {3.0, false}}));
    for (const int preRoll : {0, 1}) {
        SCOPED_TRACE(preRoll);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const CtlRun run =
            ctl(recordArgs({"--auto", "--input", call, "--threshold", "3000", "--silence", "1",
                            "--no-antibump", "--pre-roll", QString::number(preRoll)}));
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const std::vector<int16_t> audio =
            AudioFixtures::decodeRecording(folder + u"Recording 1.mp3"_s);
        const auto voice =
            std::find_if(audio.begin(), audio.end(), [](int16_t sample) { return sample > 8000; });
        ASSERT_NE(voice, audio.end());
        const auto voiceAt = size_t(voice - audio.begin());
        if (preRoll == 0) {
            EXPECT_LT(voiceAt, 32000u / 10);
            continue;
        }
        // Whole buffers reach back at least the pre-roll: all of the quiet start is there.
        ASSERT_GE(voiceAt, 32000u);
        const double quiet =
            AudioFixtures::toneAmplitude(audio.data() + voiceAt - 15000, 12000, 440);
        EXPECT_NEAR(quiet, 1500, 300);
        EXPECT_LT(AudioFixtures::toneAmplitude(audio.data(), 8000, 440), 100); // silence before
    }
}
