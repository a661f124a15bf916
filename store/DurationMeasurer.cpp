#include "store/DurationMeasurer.h"

#include "store/EntryTags.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {

// Results are handed over at most this often, so the rows are redrawn in a few steps.
constexpr qint64 kBatchMs = 100;

} // namespace

DurationMeasurer::DurationMeasurer(QObject* parent) : QObject(parent) {}

DurationMeasurer::~DurationMeasurer()
{
    stop();
}

bool DurationMeasurer::needsMeasuring(const RecordingEntry& entry)
{
    if (entry.inUse())
        return false;
    return entry.duration == OleDate::kNoDuration || (entry.duration <= 0 && !entry.isProtected);
}

bool DurationMeasurer::accepts(const RecordingEntry& entry, double measured)
{
    if (!needsMeasuring(entry))
        return false;
    return entry.duration == OleDate::kNoDuration || measured > 0;
}

bool DurationMeasurer::start(std::vector<Job> jobs)
{
    if (m_running)
        return false;
    stop(); // joins the thread of the previous run, which has delivered everything
    m_cancel = false;
    m_running = true;
    m_thread = std::thread([this, jobs = std::move(jobs)]() mutable { run(std::move(jobs)); });
    return true;
}

void DurationMeasurer::stop()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void DurationMeasurer::run(std::vector<Job> jobs)
{
    QList<Result> batch;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    // Queued on this object: once it is destroyed, nothing is delivered any more.
    const auto deliver = [this](QList<Result> results) {
        QMetaObject::invokeMethod(
            this, [this, results = std::move(results)] { Q_EMIT measured(results); },
            Qt::QueuedConnection);
    };
    for (const Job& job : jobs) {
        if (m_cancel)
            return;
        batch.append({job.entry, job.path, EntryTags::CalcolaDurata(job.path, job.tagSize)});
        if (sinceBatch.elapsed() >= kBatchMs) {
            deliver(std::exchange(batch, {}));
            sinceBatch.restart();
        }
    }
    if (!batch.isEmpty())
        deliver(std::move(batch));
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_running = false;
            Q_EMIT finished();
        },
        Qt::QueuedConnection);
}
