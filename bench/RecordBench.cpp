// Measures the recorder on one hour of audio from a WAV file: the CPU seconds the capture,
// auto-recording decisions, encoding and writing take, against the lame command line encoding
// the same audio at the same settings and against libmp3lame alone (lame_floor), and the peak
// memory while recording.
// Usage: record_bench [minutes] (default 60). Needs `lame` on the PATH.
// record_bench --live-armed SECONDS (default 60) instead measures the recorder armed for
// auto-recording on the default microphone while it hears silence: the CPU share of one core
// and the peak memory; record_bench --gui-armed SECONDS measures the whole `parlune` program
// started armed the same way, thread by thread. Both need an audio server whose default source is
// fed by a FIFO, as `eval "$(scripts/pulse-test-server.sh start DIR)"` gives (PULSE_SERVER,
// PARLUNE_TEST_MIC_FIFO).
// record_bench --live-armed SECONDS --calls measures the same with the three options for calls
// on this computer on (both sides, start when a program opens the microphone, 1 s pre-roll).
// record_bench --far-side CALLS plays CALLS words into the default sink while armed with both
// sides and a 1 s pre-roll: the delay from each word's start to the recording's start, and
// where the word begins in its recording (it must be in it, after the pre-roll).

#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "audio/Mp3Decoder.h"
#include "control/RecorderController.h"
#include "control/RecorderView.h"
#include "store/RecordingList.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

namespace {

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long maxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A tone with noise, written a second at a time so the bench's own memory stays small.
bool writeToneWithNoise(const QString& path, int seconds)
{
    constexpr int rate = 32000;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const quint32 dataBytes = quint32(seconds) * rate * 2;
    QByteArray header;
    const auto put = [&](quint32 v, int size) {
        char b[4];
        qToLittleEndian(v, b);
        header.append(b, size);
    };
    header.append("RIFF");
    put(36 + dataBytes, 4);
    header.append("WAVEfmt ");
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(rate, 4);
    put(rate * 2, 4);
    put(2, 2);
    put(16, 2);
    header.append("data");
    put(dataBytes, 4);
    file.write(header);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-1500, 1500);
    QByteArray second(rate * 2, '\0');
    size_t n = 0;
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < rate; ++i, ++n) {
            const auto value = static_cast<int16_t>(
                9000 * std::sin(2 * std::numbers::pi * 330 * double(n) / rate) + noise(random));
            qToLittleEndian(value, second.data() + 2 * i);
        }
        if (file.write(second) != second.size())
            return false;
    }
    return true;
}

class SilentView : public RecorderView {
public:
    std::optional<SaveAnswer> askRecordingName(const RecordingEntry&, const QString&,
                                               const SaveAnswer&) override
    {
        return SaveAnswer{QStringLiteral("bench"), QString()};
    }
    void reportMessage(int stringId, const QString& argument, Severity) override
    {
        std::printf("message %d %s\n", stringId, qPrintable(argument));
    }
    void reportFatal(int stringId) override { std::printf("fatal %d\n", stringId); }
};

// An event loop rather than a processEvents() loop, which would spin the main thread idle.
void runEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The child process that plays silence into the fake microphone at a real microphone's pace
// (its FIFO has no clock), kept out of the process whose CPU is measured.
int feedSilence(const QString& fifo, int seconds)
{
    QFile mic(fifo);
    if (!mic.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    // A real source honours the latency the recorder asks for and hands over one buffer
    // (1,152 samples, 36 ms) at a time; the pipe source hands over what the FIFO got.
    const std::vector<int16_t> piece(1152, 0);
    auto due = std::chrono::steady_clock::now();
    for (int n = 0; n < seconds * 1000 / 36; ++n) {
        mic.write(reinterpret_cast<const char*>(piece.data()), qint64(piece.size() * 2));
        due += std::chrono::milliseconds(36);
        std::this_thread::sleep_until(due);
    }
    return 0;
}

// Both runs arm with ten seconds of silence to end a call and a low threshold.
Settings benchSettings(const QString& work)
{
    Settings settings;
    settings.workingFolder = work;
    settings.silenceSeconds = 10;
    settings.threshold = 1000;
    settings.antiBump = true;
    return settings;
}

// The recorder as the window runs it, on the default microphone, for the live measures.
struct LiveRecorder {
    RecordingList list;
    SilentView view;
    CWriteSoundFile writer;
    CRecordSound capture;
    std::unique_ptr<RecorderController> controller;

    LiveRecorder(const QString& root, const QString& work, const Settings& settings)
        : capture(CRecordSound::microphone(), root + "/data/")
    {
        list.setFolder(work);
        list.LoadList();
        RecorderController::Config config;
        config.programFolder = QStringLiteral(PARLUNE_BIN_DIR "/");
        controller =
            std::make_unique<RecorderController>(view, list, settings, capture, writer, config);
    }
};

// Starts the child that feeds the private server's microphone `seconds` of silence; false,
// saying why, without that server or when the child does not start.
bool startSilenceFeeder(QProcess& feeder, int seconds)
{
    const QString fifo = qEnvironmentVariable("PARLUNE_TEST_MIC_FIFO");
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || fifo.isEmpty()) {
        std::printf("needs PULSE_SERVER and PARLUNE_TEST_MIC_FIFO: "
                    "eval \"$(scripts/pulse-test-server.sh start DIR)\"\n");
        return false;
    }
    feeder.start(QCoreApplication::applicationFilePath(),
                 {"--feed-silence", fifo, QString::number(seconds)});
    if (!feeder.waitForStarted()) {
        std::printf("cannot start the silence feeder\n");
        return false;
    }
    return true;
}

int liveArmedBench(const QString& root, int seconds, bool calls)
{
    // The feeder runs a little longer than the measure, so the recorder never starves.
    QProcess feeder;
    if (!startSilenceFeeder(feeder, seconds + 10))
        return 1;
    const QString work = root + "/work/";
    QDir().mkpath(work);
    std::printf("armed on the default microphone for %d s of silence%s\n", seconds,
                calls ? ", recording both sides, watching the microphone, 1 s pre-roll" : "");
    const long rssBefore = maxRssKb();
    double cpu = 0;
    double wallSeconds = 0;
    long rssArmed = 0;
    {
        Settings settings = benchSettings(work);
        settings.bothSides = calls;
        settings.startOnMicrophoneOpen = calls;
        settings.preRollSeconds = calls ? 1 : 0;
        LiveRecorder recorder(root, work, settings);
        RecordingList& list = recorder.list;
        RecorderController& controller = *recorder.controller;
        controller.start();
        controller.ToggleAutoRecording();
        // The measure starts once the stream runs, leaving out the connection's one-off cost.
        runEventsFor(2000);
        const double cpuStart = cpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        runEventsFor(seconds * 1000);
        cpu = cpuSeconds(RUSAGE_SELF) - cpuStart;
        wallSeconds = wall.elapsed() / 1000.0;
        rssArmed = maxRssKb();
        std::printf("recordings kept: %d (expected 0: silence only)\n", list.Count());
        controller.StopRecording(true);
        controller.shutdown();
    }
    feeder.kill();
    feeder.waitForFinished();
    std::printf("recorder: %.3f s CPU in %.1f s wall\n", cpu, wallSeconds);
    std::printf("CPU share: %.2f%% of one core (goal: under %s)\n", 100 * cpu / wallSeconds,
                calls ? "0.5%" : "1%");
    std::printf("max RSS:  %ld KB before arming, %ld KB armed\n", rssBefore, rssArmed);
    return 0;
}

// Words played into the default sink while armed with both sides: how long after each word's
// start the recording starts, and how far into its recording the word begins.
int farSideBench(const QString& root, int calls)
{
    QProcess feeder;
    if (!startSilenceFeeder(feeder, calls * 6 + 20))
        return 1;
    const QString work = root + "/work/";
    QDir().mkpath(work);
    // A word: 0.6 s of a 1 kHz tone, then silence.
    const QString word = root + "/word.wav";
    if (QProcess::execute("sox", {"-n", "-r", "32000", "-c", "1", "-b", "16", word, "synth", "0.6",
                                  "sine", "1000", "vol", "0.3"}) != 0) {
        std::printf("needs sox on the PATH\n");
        return 1;
    }
    std::vector<double> delays;
    std::vector<QString> names;
    {
        Settings settings = benchSettings(work);
        settings.bothSides = true;
        settings.preRollSeconds = 1;
        settings.silenceSeconds = 1;
        settings.antiBump = false;
        LiveRecorder recorder(root, work, settings);
        RecordingList& list = recorder.list;
        RecorderController& controller = *recorder.controller;
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> detectedAt{-1};
        QObject::connect(
            &recorder.capture, &CRecordSound::voiceDetected, &recorder.capture,
            [&](qint64) { detectedAt = clock.elapsed(); }, Qt::DirectConnection);
        controller.start();
        controller.ToggleAutoRecording();
        runEventsFor(2000);
        for (int i = 0; i < calls; ++i) {
            detectedAt = -1;
            QProcess player;
            player.start("paplay", {word});
            player.waitForStarted();
            const qint64 started = clock.elapsed();
            while (detectedAt < 0 && clock.elapsed() - started < 5000)
                runEventsFor(5);
            delays.push_back(detectedAt < 0 ? -1 : double(detectedAt - started));
            player.waitForFinished();
            runEventsFor(2500); // the call's silence ends it
        }
        controller.StopRecording(true);
        controller.shutdown();
        for (const auto& entry : list.entries())
            names.push_back(work + entry->name + ".mp3");
    }
    feeder.kill();
    feeder.waitForFinished();
    std::sort(names.begin(), names.end());
    std::printf("recordings kept: %zu of %d words\n", names.size(), calls);
    int whole = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        Mp3Decoder decoder;
        if (!decoder.open(names[i]))
            continue;
        std::vector<int16_t> audio;
        int16_t chunk[4096];
        for (long long got; (got = decoder.read(chunk, 4096)) > 0;)
            audio.insert(audio.end(), chunk, chunk + got);
        const auto onset = std::find_if(audio.begin(), audio.end(),
                                        [](int16_t sample) { return std::abs(sample) > 3000; });
        const double onsetMs = onset == audio.end() ? -1 : double(onset - audio.begin()) / 32.0;
        whole += onsetMs > 0;
        std::printf("call %zu: recording started %.0f ms after paplay began the word; the word "
                    "begins %.0f ms into the recording\n",
                    i + 1, i < delays.size() ? delays[i] : -1.0, onsetMs);
    }
    std::printf("words whole in their recording: %d of %d (goal: all; paplay's own start is "
                "part of the delay)\n",
                whole, calls);
    return 0;
}

// CPU seconds of each thread of process `pid`, by thread name, from /proc.
std::map<QString, double> threadCpu(qint64 pid)
{
    std::map<QString, double> result;
    const double tick = double(sysconf(_SC_CLK_TCK));
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + task + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(stat.readAll());
        const qsizetype open = text.indexOf('(');
        const qsizetype close = text.lastIndexOf(')');
        const QStringList fields = text.mid(close + 2).split(' ');
        // utime and stime are the stat file's 14th and 15th fields.
        if (open < 0 || close < 0 || fields.size() < 13)
            continue;
        result[text.mid(open + 1, close - open - 1)] +=
            (fields[11].toDouble() + fields[12].toDouble()) / tick;
    }
    return result;
}

// The whole program as a user runs it: `parlune` started armed on the default microphone with
// the settings a first start creates, hearing silence.
int guiArmedBench(const QString& root, int seconds)
{
    QProcess feeder;
    if (!startSilenceFeeder(feeder, seconds + 40))
        return 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains("QT_QPA_PLATFORM"))
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    const QString settingsFile = root + "/config/Orvane/Parlune.conf";
    const auto runParlune = [&](QProcess& program) {
        program.setProcessEnvironment(environment);
        program.setProgram(QStringLiteral(PARLUNE_BIN_DIR "/parlune"));
        program.start();
        return program.waitForStarted();
    };
    // A first start creates the settings; the second one starts armed with them.
    {
        QProcess first;
        if (!runParlune(first))
            return 1;
        QElapsedTimer created;
        created.start();
        while (!QFileInfo::exists(settingsFile) && created.elapsed() < 20000)
            runEventsFor(100);
        runEventsFor(2000);
        first.terminate();
        first.waitForFinished(20000);
    }
    QFile settings(settingsFile);
    if (!settings.open(QIODevice::ReadWrite)) {
        std::printf("no settings were created\n");
        return 1;
    }
    QByteArray text = settings.readAll();
    text.replace("AvviaInAutoReg=0", "AvviaInAutoReg=1");
    settings.resize(0);
    settings.write(text);
    settings.close();

    QProcess program;
    if (!runParlune(program))
        return 1;
    // The measure starts once the window is up and the stream runs.
    runEventsFor(5000);
    const auto before = threadCpu(program.processId());
    QElapsedTimer wall;
    wall.start();
    runEventsFor(seconds * 1000);
    const auto after = threadCpu(program.processId());
    const double wallSeconds = wall.elapsed() / 1000.0;
    QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
    QByteArray rss;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                rss = line.mid(6).trimmed();
    program.terminate();
    program.waitForFinished(20000);
    feeder.kill();
    feeder.waitForFinished();

    double total = 0;
    std::printf("parlune armed on the default microphone, %.1f s of silence\n", wallSeconds);
    for (const auto& [name, cpu] : after) {
        const auto start = before.find(name);
        const double used = cpu - (start == before.end() ? 0.0 : start->second);
        total += used;
        if (used > 0)
            std::printf("  %-16s %.3f s (%.2f%%)\n", qPrintable(name), used,
                        100 * used / wallSeconds);
    }
    std::printf("whole process: %.3f s CPU, %.2f%% of one core (goal: under 0.3%%)\n", total,
                100 * total / wallSeconds);
    std::printf("resident memory: %s\n", rss.constData());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--feed-silence") == 0)
        return feedSilence(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    QTemporaryDir root;
    // A throwaway user, so the bench's log and settings touch nothing of the real one.
    qputenv("HOME", root.path().toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root.path() + "/config").toUtf8());
    QCoreApplication application(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--gui-armed") == 0)
        return guiArmedBench(root.path(), argc > 2 ? std::max(1, std::atoi(argv[2])) : 60);
    if (argc > 1 && std::strcmp(argv[1], "--live-armed") == 0)
        return liveArmedBench(root.path(), argc > 2 ? std::max(1, std::atoi(argv[2])) : 60,
                              argc > 3 && std::strcmp(argv[3], "--calls") == 0);
    if (argc > 1 && std::strcmp(argv[1], "--far-side") == 0)
        return farSideBench(root.path(), argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const QString work = root.path() + "/work/";
    QDir().mkpath(work);
    const QString wav = root.path() + "/input.wav";
    if (!writeToneWithNoise(wav, minutes * 60)) {
        std::printf("cannot write %s\n", qPrintable(wav));
        return 1;
    }
    std::printf("input: %d minutes of tone and noise, 32000 Hz mono 16-bit\n", minutes);

    double recorderCpu = 0;
    double recorderWall = 0;
    long rssBefore = maxRssKb();
    {
        Settings settings = benchSettings(work);
        RecordingList list;
        list.setFolder(work);
        list.LoadList();
        SilentView view;
        CWriteSoundFile writer;
        CRecordSound capture(CRecordSound::wavFile(wav), root.path() + "/data/");
        // An event loop rather than a processEvents() loop, which would spin the main thread.
        QEventLoop waiting;
        QObject::connect(&capture, &CRecordSound::inputEnded, &waiting, &QEventLoop::quit,
                         Qt::QueuedConnection);
        RecorderController::Config config;
        config.programFolder = QStringLiteral(PARLUNE_BIN_DIR "/");
        RecorderController controller(view, list, settings, capture, writer, config);

        const double cpuStart = cpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        controller.start();
        controller.ToggleAutoRecording();
        waiting.exec();
        controller.StopRecording(true);
        controller.shutdown();
        recorderWall = wall.elapsed() / 1000.0;
        recorderCpu = cpuSeconds(RUSAGE_SELF) - cpuStart;
        std::printf("recordings kept: %d, file %lld bytes\n", list.Count(),
                    list.Count() > 0 ? QFileInfo(list.at(0)->filePath()).size() : 0LL);
    }
    const long rssRecording = maxRssKb();

    const double lameStart = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer lameWall;
    lameWall.start();
    QProcess lame;
    lame.start("lame", {"--quiet", "-b", "32", "--cbr", "-m", "m", "--resample", "32", "-q", "3",
                        wav, root.path() + "/lame.mp3"});
    if (!lame.waitForFinished(-1) || lame.exitCode() != 0) {
        std::printf("lame did not run (install it: apt-get install lame)\n");
        return 1;
    }
    const double lameCpu = cpuSeconds(RUSAGE_CHILDREN) - lameStart;

    const double floorStart = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer floorWall;
    floorWall.start();
    QProcess floor;
    floor.start(QStringLiteral(PARLUNE_BIN_DIR "/lame_floor"), {wav, root.path() + "/floor.mp3"});
    if (!floor.waitForFinished(-1) || floor.exitCode() != 0) {
        std::printf("lame_floor did not run\n");
        return 1;
    }
    const double floorCpu = cpuSeconds(RUSAGE_CHILDREN) - floorStart;

    std::printf("recorder: %.2f s CPU (%.2f s wall)\n", recorderCpu, recorderWall);
    std::printf("lame:     %.2f s CPU (%.2f s wall)\n", lameCpu, lameWall.elapsed() / 1000.0);
    std::printf("floor:    %.2f s CPU (%.2f s wall): libmp3lame alone, 1152-sample chunks\n",
                floorCpu, floorWall.elapsed() / 1000.0);
    std::printf("ratio:    %.2fx lame, %.2fx the floor (goal: at most 1.1x the floor)\n",
                recorderCpu / lameCpu, recorderCpu / floorCpu);
    std::printf("max RSS:  %ld KB before recording, %ld KB after\n", rssBefore, rssRecording);
    return 0;
}
