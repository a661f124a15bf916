// Times the recording list on large folders: loading through the index, loading by reading
// every tag, and sorting. Usage: list_bench [count...] (default 10000 100000).

#include "bench/TaggedFolder.h"
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
    if (!TaggedFolder::make(folder, count)) {
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
    list.Sort(RecordingList::SortKey::Date, false);
    print("sort by date", count, timer.elapsed());
    timer.restart();
    list.Sort(RecordingList::SortKey::Name, true);
    print("sort by name", count, timer.elapsed());
    timer.restart();
    list.Sort(RecordingList::SortKey::Notes, true);
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
