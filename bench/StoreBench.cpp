// Throughput of protecting, unprotecting and joining recordings, each next to a plain copy of
// the same amount of data on the same disk, which is the least any of them can cost.
//
// Usage: store_bench [folder [megabytes]]   (default: the system's temporary folder, 100 MB)
// Figures are with a warm page cache: the sources were just written.

#include "audio/EncoderLibrary.h"
#include "platform/FileOps.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/Joiner.h"
#include "store/OleDate.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kRuns = 5;
constexpr int kJoinSources = 5;

// About ten seconds of real MPEG audio, so that measuring the joined duration scans real frames.
QByteArray mpegBlock()
{
    EncoderLibrary encoder;
    std::vector<uint8_t> mp3;
    if (encoder.load(QStringLiteral(PARLUNE_BIN_DIR "/libencodermp3.so")) ==
            EncoderLibrary::LoadResult::Loaded &&
        encoder.init(EncoderLibrary::defaultConfig(32000)) == 0) {
        std::vector<int16_t> chunk(1152);
        size_t sample = 0;
        for (int c = 0; c < 280; ++c) {
            for (auto& value : chunk) {
                value = static_cast<int16_t>(
                    6000 * std::sin(2 * std::numbers::pi * 440 * double(sample++) / 32000));
            }
            encoder.encode(chunk.data(), 1152, mp3);
        }
        encoder.finish(mp3);
    }
    if (mp3.empty()) {
        std::fprintf(stderr, "encoder library not found: using random bytes as audio\n");
        QByteArray random(40000, Qt::Uninitialized);
        for (char& byte : random)
            byte = char(QRandomGenerator::global()->bounded(256));
        return random;
    }
    return QByteArray(reinterpret_cast<const char*>(mp3.data()), qsizetype(mp3.size()));
}

// A recording file: a bare tag header, then `bytes` of audio made of `block` repeated.
bool writeRecording(const QString& path, const QByteArray& block, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray big;
    while (big.size() < (1 << 20))
        big += block;
    bool ok = file.write(QByteArray("ID3\x03\x00\x00", 6) + Id3Tag::synchsafe(10)) == 10;
    for (qint64 left = bytes; ok && left > 0; left -= big.size())
        ok = file.write(big.constData(), std::min<qint64>(left, big.size())) > 0;
    return ok;
}

// Copies `from` to `to` in pieces the size the store uses, syncing at the end when asked.
bool plainCopy(const QString& from, const QString& to, bool sync)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
        !out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    std::vector<char> buffer(size_t(Protection::kPiece));
    for (;;) {
        const qint64 got = in.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (out.write(buffer.data(), got) != got)
            return false;
    }
    return !sync || FileOps::sync(out);
}

// The best of kRuns timings of `run`, in seconds; `prepare` runs untimed before each.
double bestSeconds(
    const std::function<bool()>& run, const std::function<void()>& prepare = [] {})
{
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        ::sync(); // so that write-back of the previous run does not land in this one
        QElapsedTimer timer;
        timer.start();
        if (!run()) {
            std::fprintf(stderr, "run failed\n");
            return std::nan("");
        }
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

void report(const char* what, double megabytes, double seconds, double baseSeconds = 0)
{
    std::printf("%-48s %8.1f MB/s", what, megabytes / seconds);
    if (baseSeconds > 0)
        std::printf("   x%.2f the time of the copy", seconds / baseSeconds);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const qint64 megabytes = argc > 2 ? std::max(5, std::atoi(argv[2])) : 100;
    QTemporaryDir dir(parent + QStringLiteral("/store_bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder in %s\n", qPrintable(parent));
        return 1;
    }
    const QString folder = dir.path() + u'/';
    const qint64 bytes = megabytes * 1000 * 1000;
    const double mb = double(bytes) / 1e6;
    const QByteArray block = mpegBlock();

    RecordingEntry entry;
    entry.name = QStringLiteral("bench");
    entry.folder = folder;
    entry.keyWord = QStringLiteral("bench key word");
    if (!writeRecording(entry.filePath(), block, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(entry.filePath()));
        return 1;
    }
    std::printf("%.1f MB in %s, best of %d runs\n", mb, qPrintable(folder), kRuns);

    const QString copyPath = folder + QStringLiteral("copy.bin");
    const double copy = bestSeconds([&] { return plainCopy(entry.filePath(), copyPath, false); });
    const double copySynced =
        bestSeconds([&] { return plainCopy(entry.filePath(), copyPath, true); });
    const double qtCopy = bestSeconds([&] { return QFile::copy(entry.filePath(), copyPath); },
                                      [&] { QFile::remove(copyPath); });
    QFile::remove(copyPath);
    report("plain copy (500 kB pieces)", mb, copy);
    report("plain copy + fsync", mb, copySynced);
    report("QFile::copy", mb, qtCopy);

    // The scrambling alone: one piece-sized buffer scrambled as often as the file has pieces.
    QByteArray piece(Protection::kPiece, 'x');
    const QByteArray key = entry.keyWord.toUtf8();
    const double scrambleMemory = bestSeconds([&] {
        for (qint64 at = 0; at < bytes; at += Protection::kPiece)
            Protection::scramble(piece.data(), piece.size(), key, at);
        return true;
    });
    report("scramble in memory (no files)", mb, scrambleMemory);

    // Copies for playback are not synced; replacements are, like the copy they are held to.
    const QString output = Protection::outputPath(entry);
    const double protectCopy = bestSeconds([&] { return Protection::Protect(entry, true); });
    QFile::remove(output);
    double unprotectReplace = 1e9;
    const double protectReplace =
        bestSeconds([&] { return Protection::Protect(entry, false); },
                    [&] {
                        if (entry.isProtected) {
                            QElapsedTimer timer;
                            ::sync();
                            timer.start();
                            Protection::Unprotect(entry, false);
                            unprotectReplace =
                                std::min(unprotectReplace, timer.nsecsElapsed() / 1e9);
                        }
                    });
    const double unprotectCopy = bestSeconds([&] { return Protection::Unprotect(entry, true); });
    QFile::remove(output);
    report("protect, copy kept beside (no sync)", mb, protectCopy, copy);
    report("protect, replacing the recording (fsync)", mb, protectReplace, copySynced);
    report("unprotect, copy for playback (no sync)", mb, unprotectCopy, copy);
    if (unprotectReplace < 1e9)
        report("unprotect, replacing the recording (fsync)", mb, unprotectReplace, copySynced);
    QFile::remove(entry.filePath());

    // Joins of five sources, remade before each run since a join deletes them.
    std::vector<RecordingEntry> sources(kJoinSources);
    for (int i = 0; i < kJoinSources; ++i) {
        sources[size_t(i)].name = QStringLiteral("part %1").arg(i + 1);
        sources[size_t(i)].folder = folder;
    }
    std::vector<const RecordingEntry*> order;
    for (const RecordingEntry& source : sources)
        order.push_back(&source);
    const auto makeSources = [&] {
        for (const RecordingEntry& source : sources)
            writeRecording(source.filePath(), block, bytes / kJoinSources);
    };
    RecordingEntry joined;
    joined.name = QStringLiteral("joined");
    joined.folder = folder;
    const auto join = [&](double duration) {
        joined.duration = duration;
        return Joiner::Join(order, joined, joined.name);
    };
    const double joinGiven =
        bestSeconds([&] { return join(OleDate::fromSeconds(60)); }, makeSources);
    const double joinMeasured =
        bestSeconds([&] { return join(OleDate::kNoDuration); }, makeSources);
    char label[80];
    std::snprintf(label, sizeof label, "join %d x %.0f MB, duration given", kJoinSources,
                  mb / kJoinSources);
    report(label, mb, joinGiven, copySynced);
    std::snprintf(label, sizeof label, "join %d x %.0f MB, duration measured", kJoinSources,
                  mb / kJoinSources);
    report(label, mb, joinMeasured, copySynced);
    std::printf("(joined audio measured at %lld s)\n",
                static_cast<long long>(OleDate::toSeconds(joined.duration)));

    // The duration of a one-hour recording (32 kbit/s: 14.4 MB of frames), as the list measures
    // a recording whose tag tells none.
    const QString hour = folder + QStringLiteral("hour.mp3");
    if (!writeRecording(hour, block, 3600LL * 4000)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(hour));
        return 1;
    }
    double measured = 0;
    const double durationSeconds = bestSeconds([&] {
        measured = EntryTags::CalcolaDurata(hour, 0);
        return measured > 0;
    });
    std::printf("duration of a one-hour recording: %.1f ms (measured %lld s)\n",
                durationSeconds * 1000, static_cast<long long>(OleDate::toSeconds(measured)));
    return 0;
}
