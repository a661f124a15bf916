#pragma once

#include <QFile>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

/// The capture thread's writing to disk: its lines in "PL.log" and the optional sample log
/// (a raw copy of the forwarded audio, "WavLogRec_<time>.wav", and the intervals between
/// buffers in "LogCampionamenti.log", both in the data folder). The work runs in order on a
/// thread of its own, so the capture thread never waits on the disk.
/// Lifecycle: made with the capture thread object; every call from the capture thread (any
/// single thread); the destructor finishes the queued work and ends the thread.
class CaptureLog {
public:
    static QString sampleLogFileName() { return QStringLiteral("LogCampionamenti.log"); }

    /// `dataFolder` ends with "/".
    explicit CaptureLog(QString dataFolder);
    ~CaptureLog();
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    /// True when the sample log's switch file exists in the data folder now.
    bool sampleLogRequested() const;
    /// Appends `text` as a line of "PL.log".
    void line(const QString& text);
    /// Sample-log step for one forwarded buffer taken at `timeMs` of the capture clock.
    void sample(std::vector<int16_t> samples, int64_t timeMs);
    /// Ends the sample-log period: writes the intervals and the copy's fixed header.
    void closeSamples();
    /// Waits until everything queued so far is done (for tests).
    void drain();

private:
    void post(std::function<void()> job);
    void run();
    void writeSample(const std::vector<int16_t>& samples, int64_t timeMs);
    void finishSamples();

    QString m_dataFolder;
    // Job thread only.
    QFile m_copy;
    std::optional<int64_t> m_periodStart;
    std::vector<int64_t> m_timing;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};
