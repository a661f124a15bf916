// Measures the recorder on one hour of audio from a WAV file: the CPU seconds the capture,
// auto-recording decisions, encoding and writing take, against the lame command line encoding
// the same audio at the same settings, and the peak memory while recording.
// Usage: record_bench [minutes] (default 60). Needs `lame` on the PATH.

#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "control/RecorderController.h"
#include "control/RecorderView.h"
#include "store/RecordingList.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace {

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
    std::optional<SaveAnswer> askRecordingName(const RecordingEntry&, const QString&) override
    {
        return SaveAnswer{QStringLiteral("bench"), QString()};
    }
    void reportMessage(int stringId, const QString& argument, Severity) override
    {
        std::printf("message %d %s\n", stringId, qPrintable(argument));
    }
    void reportFatal(int stringId) override { std::printf("fatal %d\n", stringId); }
};

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir root;
    // A throwaway user, so the bench's log and settings touch nothing of the real one.
    qputenv("HOME", root.path().toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root.path() + "/config").toUtf8());
    QCoreApplication application(argc, argv);
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
        Settings settings;
        settings.workingFolder = work;
        settings.silenceSecondsText = "10";
        settings.singleFileText = "0";
        settings.thresholdText = "1000";
        RecordingList list;
        list.setFolder(work);
        list.LoadList();
        SilentView view;
        CWriteSoundFile writer;
        CRecordSound capture(CRecordSound::wavFile(wav), root.path() + "/data/");
        bool ended = false;
        QObject::connect(&capture, &CRecordSound::inputEnded, &application,
                         [&] { ended = true; });
        RecorderController::Config config;
        config.programFolder = QStringLiteral(PARLUNE_BIN_DIR "/");
        RecorderController controller(view, list, settings, capture, writer, config);

        const double cpuStart = cpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        controller.start();
        controller.ToggleAutoRecording();
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
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

    std::printf("recorder: %.2f s CPU (%.2f s wall)\n", recorderCpu, recorderWall);
    std::printf("lame:     %.2f s CPU (%.2f s wall)\n", lameCpu, lameWall.elapsed() / 1000.0);
    std::printf("ratio:    %.2fx (goal: at most 1.2x)\n", recorderCpu / lameCpu);
    std::printf("max RSS:  %ld KB before recording, %ld KB after\n", rssBefore, rssRecording);
    return 0;
}
