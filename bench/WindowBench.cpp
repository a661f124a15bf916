// Starts the real Recorder window on folders of indexed recordings and prints the time until it
// is shown and idle, its resident memory then, and the time of header sorts.
// Usage: window_bench [count...] (default 30000 100000). The window needs an audio server:
// run it with PULSE_SERVER set (scripts/pulse-test-server.sh). Each window runs in a process of
// its own, so its memory is the window's alone.

#include "bench/TaggedFolder.h"
#include "store/RecordingList.h"
#include "ui/CRecorderApp.h"
#include "ui/CRecorderDlg.h"
#include "ui/MessagePresenter.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

// Messages are counted, never shown.
class SilentMessages : public MessagePresenter {
public:
    void showMessage(QWidget*, const QString& text, const QString&, Icon) override
    {
        std::printf("  (message: %s)\n", qPrintable(text));
    }
};

// CPU milliseconds of this process (all threads) or of the calling thread: on a busy machine
// they tell what the window costs better than the clock does.
long long cpuMs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Notes when its object is first painted.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        painted = painted || event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};

// Calls `then` once, the next time the event loop has nothing left to do.
void whenIdle(const std::function<void()>& then)
{
    auto* dispatcher = QAbstractEventDispatcher::instance();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [=] {
        QObject::disconnect(*connection);
        then();
    });
}

// The measured part, in a process of its own: the window on the folder the settings name.
int runWindow(int argc, char** argv, int count)
{
    QApplication application(argc, argv);
    const double before = residentMb();
    SilentMessages messages;
    QElapsedTimer timer;
    timer.start();
    const long long cpuBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    CRecorderApp recorder(messages, qEnvironmentVariable("XDG_RUNTIME_DIR") + "/bench.lock");
    PaintWatch paint;
    std::function<void(CRecorderDlg*, qint64)> measure;
    QObject::connect(&recorder, &CRecorderApp::windowStarted, [&](CRecorderDlg* window) {
        window->findChild<QTreeView*>(QStringLiteral("RecordingList"))
            ->viewport()
            ->installEventFilter(&paint);
        const qint64 shown = timer.elapsed();
        whenIdle([&, window, shown] { measure(window, shown); });
    });
    // Idle once the list has been painted.
    measure = [&](CRecorderDlg* window, qint64 shown) {
        if (!paint.painted) {
            whenIdle([&, window, shown] { measure(window, shown); });
            return;
        }
        const qint64 idle = timer.elapsed();
        std::printf("window %d: shown after %lld ms, idle after %lld ms (CPU %lld ms), resident "
                    "%.1f MB (%.1f MB before the window)\n",
                    count, static_cast<long long>(shown), static_cast<long long>(idle),
                    cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore, residentMb(), before);
        auto* list = window->findChild<QTreeView*>(QStringLiteral("RecordingList"));
        // Header clicks: by name (ascending), by date (descending), by duration.
        auto sortBy = std::make_shared<std::function<void(std::vector<int>)>>();
        *sortBy = [=](std::vector<int> sections) {
            if (sections.empty()) {
                window->OnClose();
                return;
            }
            const int section = sections.front();
            sections.erase(sections.begin());
            QElapsedTimer sort;
            sort.start();
            const long long cpuStart = cpuMs(CLOCK_THREAD_CPUTIME_ID);
            Q_EMIT list->header()->sectionClicked(section);
            const qint64 sorted = sort.elapsed();
            const long long sortCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
            whenIdle([=] {
                std::printf("header sort %d by section %d: %lld ms (sort and model; CPU %lld ms), "
                            "%lld ms until idle\n",
                            count, section, static_cast<long long>(sorted), sortCpu,
                            static_cast<long long>(sort.elapsed()));
                std::fflush(stdout);
                QTimer::singleShot(0, window, [=] { (*sortBy)(sections); });
            });
        };
        QTimer::singleShot(0, window, [=] { (*sortBy)({1, 2, 5}); });
    };
    recorder.InitInstance();
    // The window's own figures: the list's load and sort times.
    QFile log(qEnvironmentVariable("XDG_DATA_HOME") + "/Parlune/PL.log");
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (line.startsWith("Tempo"))
                std::printf("  log: %s\n", line.trimmed().constData());
        }
    }
    return 0;
}

// A throwaway user whose working folder holds `count` indexed recordings.
bool prepare(const QString& base, int count)
{
    for (const char* folder : {"home", "config/Orvane", "data", "machine", "runtime", "program"})
        QDir().mkpath(base + QString::fromLatin1(folder));
    QFile::setPermissions(base + "runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(base + "home"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + "config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(base + "data"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(base + "machine"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + "runtime"));
    qputenv("PARLUNE_PROGRAM_DIR", QFile::encodeName(base + "program"));
    QFile::link(QStringLiteral(PARLUNE_BIN_DIR "/libencodermp3.so"),
                base + "program/libencodermp3.so");
    const QString folder = base + "recordings/";
    QFile settings(base + "config/Orvane/Parlune.conf");
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write(("WorkDir=" + folder + "\nAvviaInAutoReg=0\n").toUtf8()) < 0)
        return false;
    settings.close();
    QElapsedTimer timer;
    timer.start();
    if (!TaggedFolder::make(folder, count))
        return false;
    RecordingList list;
    list.setFolder(folder);
    list.LoadList(); // writes the index
    std::printf("folder %d: written and indexed in %lld ms\n", list.Count(),
                static_cast<long long>(timer.elapsed()));
    std::fflush(stdout);
    return list.Count() == count;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--window")
        return runWindow(1, argv, std::atoi(argv[2]));
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        std::printf("PULSE_SERVER is not set: the window waits for an audio server\n");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {30000, 100000};
    for (const int count : counts) {
        QTemporaryDir base;
        if (!base.isValid() || !prepare(base.path() + u'/', count))
            return 1;
        // Three starts: the machine may be busy with something else during one.
        for (int run = 0; run < 3; ++run) {
            QProcess window;
            window.setProcessChannelMode(QProcess::ForwardedChannels);
            window.start(QString::fromLocal8Bit(argv[0]),
                         {QStringLiteral("--window"), QString::number(count)});
            if (!window.waitForFinished(600000) || window.exitCode() != 0)
                return 1;
        }
    }
    return 0;
}
