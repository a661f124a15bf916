// Times the recording list on large folders: loading through the index, loading by reading
// every tag, and sorting. Usage: list_bench [count...] (default 10000 100000).

#include "store/Id3Tag.h"
#include "store/RecordingList.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Silent MPEG-1 Layer III frames, 32 kbit/s mono at 32 kHz: 144 bytes each.
QByteArray silentAudio(int frames)
{
    QByteArray frame(144, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x18);
    frame[3] = char(0xC0);
    return frame.repeated(frames);
}

// The tag the program writes, with a name, date and notes of its own for each file.
QByteArray tagFor(const QString& name, int i)
{
    const auto frame = [](const char* id, const QString& value) {
        return Id3Tag::encodeFrame({QByteArray(id), value});
    };
    QByteArray frames;
    frames += frame("TDAT", QString::asprintf("%02d%02d", 1 + i % 28, 1 + i % 12));
    frames += frame("TYER", QString::number(2015 + i % 10));
    frames += frame("TIME", QString::asprintf("%02d:%02d:%02d", i % 24, i % 60, (i / 60) % 60));
    frames += frame("TLEN", QStringLiteral("00:00:01"));
    frames += frame("TIT2", name);
    frames += frame("COMM", i % 4 ? QString() : QStringLiteral("Customer asked for a call back"));
    frames += frame("TRCK", QStringLiteral("0"));
    frames += frame("TALB", i % 3 ? QString() : QStringLiteral("Desk 2"));
    frames += frame("TCON", QStringLiteral("(24)Soundtrack"));
    frames += frame("TPE1", QStringLiteral("Parlune"));
    frames += frame("TXXX", QStringLiteral("Non Protetta"));
    QByteArray header("ID3\x03\x00\x00", 6);
    return header + Id3Tag::synchsafe(uint32_t(10 + frames.size())) + frames;
}

bool makeFolder(const QString& folder, int count)
{
    QDir().mkpath(folder);
    const QByteArray audio = silentAudio(7);
    for (int i = 0; i < count; ++i) {
        // Mixed case, so sorting by name has work to do.
        const QString name = QStringLiteral("%1 %2")
                                 .arg(i % 2 ? "call" : "Call")
                                 .arg((i * 7919) % count, 6, 10, QChar(u'0'));
        QFile file(folder + name + QStringLiteral(".mp3"));
        if (!file.open(QIODevice::WriteOnly) || file.write(tagFor(name, i) + audio) < 0)
            return false;
    }
    return true;
}

void print(const char* what, int count, qint64 ms)
{
    std::printf("%s %d: %lld ms\n", what, count, static_cast<long long>(ms));
    std::fflush(stdout);
}

// Times `runs` calls of `load` (which returns the entries it found) and prints the best, with
// every run in brackets.
template <typename Load> void measure(const char* what, int count, int runs, Load load)
{
    qint64 best = -1;
    QString all;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int found = load();
        const qint64 ms = timer.elapsed();
        if (found != count)
            std::printf("  (found %d entries, expected %d)\n", found, count);
        best = best < 0 ? ms : std::min(best, ms);
        all += (all.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(ms);
    }
    std::printf("%s %d: %lld ms (runs: %s)\n", what, count, static_cast<long long>(best),
                qPrintable(all));
    std::fflush(stdout);
}

int run(const QString& base, int count)
{
    const QString folder = base + QStringLiteral("n%1/").arg(count);
    QElapsedTimer timer;
    timer.start();
    if (!makeFolder(folder, count)) {
        std::printf("cannot write the recordings under %s\n", qPrintable(folder));
        return 1;
    }
    print("write recordings", count, timer.elapsed());

    RecordingList list;
    list.setFolder(folder);
    timer.restart();
    list.LoadList();
    print("first load (every tag read, index written)", count, timer.elapsed());

    measure("load with index", count, 3, [&] {
        list.Clear();
        list.LoadList();
        return list.Count();
    });

    Settings settings;
    settings.indexDisabled = true;
    RecordingList withoutIndex;
    withoutIndex.applySettings(settings);
    withoutIndex.setFolder(folder);
    measure("load without index (every tag read)", count, 2, [&] {
        withoutIndex.Clear();
        withoutIndex.LoadList();
        return withoutIndex.Count();
    });
    withoutIndex.Clear();

    timer.restart();
    list.Sort(2, false);
    print("sort by date", count, timer.elapsed());
    timer.restart();
    list.Sort(1, true);
    print("sort by name", count, timer.elapsed());
    timer.restart();
    list.Sort(4, true);
    print("sort by notes", count, timer.elapsed());
    list.Clear();
    QDir(folder).removeRecursively();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir base;
    if (!base.isValid())
        return 1;
    // The program's log lines go to the throwaway folder, not to the user's data folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(base.path() + QStringLiteral("/data")));
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {10000, 100000};
    for (const int count : counts) {
        if (run(base.path() + u'/', count) != 0)
            return 1;
    }
    return 0;
}
