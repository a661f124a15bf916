#include "audio/CaptureLog.h"

#include "app/DiagnosticLog.h"

#include <QDateTime>
#include <QDir>
#include <QtEndian>

namespace {

QString stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

// The copy's header always claims the same length, whatever was written.
QByteArray fixedWaveHeader()
{
    QByteArray header;
    auto put32 = [&](quint32 value) {
        char bytes[4];
        qToLittleEndian(value, bytes);
        header.append(bytes, 4);
    };
    auto put16 = [&](quint16 value) {
        char bytes[2];
        qToLittleEndian(value, bytes);
        header.append(bytes, 2);
    };
    header.append("RIFF");
    put32(82240050);
    header.append("WAVEfmt ");
    put32(18);
    put16(1);
    put16(1);
    put32(32000);
    put32(64000);
    put16(2);
    put16(16);
    put16(0);
    header.append("fact");
    put32(4);
    put32(41120000);
    header.append("data");
    put32(82240000);
    return header;
}

} // namespace

CaptureLog::CaptureLog(QString dataFolder) : m_dataFolder(std::move(dataFolder))
{
    m_thread = std::thread([this] { run(); });
}

CaptureLog::~CaptureLog()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool CaptureLog::sampleLogRequested() const
{
    return QFile::exists(m_dataFolder + sampleLogFileName());
}

void CaptureLog::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
}

void CaptureLog::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void CaptureLog::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // quitting with nothing left to do
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        job();
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

void CaptureLog::line(const QString& text)
{
    post([text] { WriteLog(text); });
}

void CaptureLog::sample(std::vector<int16_t> samples, int64_t timeMs)
{
    post([this, samples = std::move(samples), timeMs] { writeSample(samples, timeMs); });
}

void CaptureLog::closeSamples()
{
    post([this] { finishSamples(); });
}

void CaptureLog::writeSample(const std::vector<int16_t>& samples, int64_t timeMs)
{
    if (!m_periodStart) {
        const QString time = stamp();
        QDir folder(m_dataFolder);
        const QStringList old = folder.entryList({QStringLiteral("WavLogRec_*.wav")}, QDir::Files);
        if (!old.isEmpty())
            folder.remove(old.first()); // only the first one, as before
        m_copy.setFileName(QStringLiteral("%1WavLogRec_%2.wav").arg(m_dataFolder, time));
        (void)m_copy.open(QIODevice::WriteOnly | QIODevice::Truncate);
        m_periodStart = timeMs;
        WriteLogFile(QStringLiteral("****** Inizio campionamenti - %1 ******").arg(time),
                     sampleLogFileName());
    }
    if (m_copy.isOpen())
        m_copy.write(reinterpret_cast<const char*>(samples.data()),
                     static_cast<qint64>(samples.size() * sizeof(int16_t)));
    m_timing.push_back(timeMs - *m_periodStart);
}

void CaptureLog::finishSamples()
{
    if (m_timing.empty())
        return;
    int64_t previous = 0;
    for (int64_t value : m_timing) {
        WriteLogFile(QString::number(value - previous), sampleLogFileName());
        previous = value;
    }
    WriteLogFile(QStringLiteral("****** Fine fase campionamenti  %1 ******").arg(stamp()),
                 sampleLogFileName());
    m_timing.clear();
    if (m_copy.isOpen()) {
        m_copy.seek(0);
        m_copy.write(fixedWaveHeader());
        m_copy.close();
    }
    m_periodStart.reset();
}
