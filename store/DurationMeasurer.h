#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

struct RecordingEntry;

/// Measures the lengths of recordings on a thread of its own, so that a folder full of
/// recordings whose length is not known never holds up the window.
///
/// The thread only reads the files; it never touches an entry. Results arrive on the owner's
/// thread in batches (measured()), then finished() once a run is through. The owner decides
/// what a result still means: the entry may have been removed or renamed meanwhile.
/// Lifecycle: construct on the UI thread; destruction stops the run after the file being read.
class DurationMeasurer : public QObject {
    Q_OBJECT
public:
    /// One recording to measure: `entry` only identifies it (never dereferenced by the thread).
    struct Job {
        const RecordingEntry* entry = nullptr;
        QString path;
        uint32_t tagSize = 0;
    };
    struct Result {
        const RecordingEntry* entry = nullptr;
        QString path;    ///< the file that was measured
        double duration; ///< span in days; 0 when the file could not be measured
    };

    explicit DurationMeasurer(QObject* parent = nullptr);
    ~DurationMeasurer() override;

    /// True when `entry` waits for a measurement: its length is unknown, or 0 while it is not
    /// protected (scrambled audio has no length); never while it is being recorded.
    static bool needsMeasuring(const RecordingEntry& entry);
    /// True when `measured` is worth storing in `entry`: it still needs measuring, and an
    /// unknown length takes any figure while a length of 0 only a longer one.
    static bool accepts(const RecordingEntry& entry, double measured);

    /// Starts measuring `jobs` unless a run is going on; false then (nothing started).
    bool start(std::vector<Job> jobs);
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    /// Lengths measured since the previous batch, in the order of the jobs.
    void measured(const QList<DurationMeasurer::Result>& results);
    /// The run has ended (after its last batch).
    void finished();

private:
    void run(std::vector<Job> jobs);
    void stop();

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
};
