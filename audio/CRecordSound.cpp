#include "audio/CRecordSound.h"

#include "app/DiagnosticLog.h"
#include "audio/CWriteSoundFile.h"
#include "audio/ThreadMessages.h"
#include "platform/PulseWaveInput.h"
#include "platform/WavFileWaveInput.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <future>

using namespace ThreadMessages;

namespace {

// Waits before each new attempt to open a lost input: quick at first, then every 5 s.
constexpr int kRetryDelaysMs[] = {1000, 2000, 5000};

} // namespace

CRecordSound::InputFactory CRecordSound::microphone()
{
    return [](WaveInput::Deliver deliver, WaveInput::Ended) -> std::unique_ptr<WaveInput> {
        return std::make_unique<PulseWaveInput>(std::move(deliver));
    };
}

CRecordSound::InputFactory CRecordSound::wavFile(const QString& path)
{
    return
        [path](WaveInput::Deliver deliver, WaveInput::Ended ended) -> std::unique_ptr<WaveInput> {
            return std::make_unique<WavFileWaveInput>(path, std::move(deliver), std::move(ended));
        };
}

CRecordSound::CRecordSound(const InputFactory& makeInput, QString dataFolder)
    : m_log(std::move(dataFolder))
{
    // The input's threads only queue work here; everything else happens on the capture thread.
    m_input = makeInput(
        [this](WaveInputBuffer&& buffer) {
            QMetaObject::invokeMethod(
                this,
                [this, buffer = std::move(buffer)]() mutable { onSoundData(std::move(buffer)); },
                Qt::QueuedConnection);
        },
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { Q_EMIT inputEnded(); }, Qt::QueuedConnection);
        });
    m_input->setLost([this](uint64_t session, const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, session, reason] { onInputLost(session, reason); }, Qt::QueuedConnection);
    });
    m_input->setMicrophoneUse([this](uint64_t session, bool inUse, const QString& program) {
        QMetaObject::invokeMethod(
            this, [this, session, inUse, program] { onMicrophoneUse(session, inUse, program); },
            Qt::QueuedConnection);
    });
    // Children move to the capture thread with this object, so the timers run there.
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &CRecordSound::retryInput);
    m_stallTimer = new QTimer(this);
    // Once a second: while buffers flow it finds nothing to do, so it wakes the thread rarely.
    m_stallTimer->setInterval(kStallMs);
    connect(m_stallTimer, &QTimer::timeout, this, &CRecordSound::checkStall);
    // A file is read far faster than it is encoded: about ten seconds of audio may wait.
    m_input->setBacklog([this] {
        const CWriteSoundFile* writer = m_backlogWriter.load();
        return writer && writer->queuedChunks() > kMaxWriterBacklog;
    });
}

CRecordSound::~CRecordSound()
{
    if (m_thread && m_thread->isRunning())
        endThread();
    // No more buffers may be queued to an object being destroyed.
    m_input.reset();
}

void CRecordSound::startThread()
{
    m_sampleLog = m_log.sampleLogRequested();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("CRecordSound"));
    moveToThread(m_thread.get());
    m_thread->start();
}

bool CRecordSound::endThread(int timeoutMs)
{
    if (!m_thread || m_thread->isFinished())
        return true;
    QMetaObject::invokeMethod(
        this, [this] { onThreadEnd(); }, Qt::QueuedConnection);
    bool ended = m_thread->wait(QDeadlineTimer(timeoutMs));
    if (ended && m_writer)
        ended = m_writer->waitForEnd(timeoutMs);
    m_log.line(QStringLiteral("Thread Record Sound chiuso"));
    if (!ended)
        m_log.line(QStringLiteral("Attesa oltre il timeout"));
    m_log.drain(); // shutdown: the last lines reach the log before the program goes on
    return ended;
}

void CRecordSound::postMessage(int message, int wParam)
{
    QMetaObject::invokeMethod(
        this, [this, message, wParam] { handleMessage(message, wParam); }, Qt::QueuedConnection);
}

void CRecordSound::postSetWriter(CWriteSoundFile* writer)
{
    m_backlogWriter.store(writer);
    QMetaObject::invokeMethod(
        this, [this, writer] { m_writer = writer; }, Qt::QueuedConnection);
}

void CRecordSound::setCallOptions(const WaveInput::CallOptions& options)
{
    {
        const std::scoped_lock lock(m_optionsMutex);
        if (m_callOptions == options)
            return;
        m_callOptions = options;
    }
    // An armed input waiting for a call takes new options at once; a call in progress keeps
    // its input, and the restart at its end takes them.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_recording && m_decisions.autoMode() && !m_decisions.forwarding()) {
                m_log.line(QStringLiteral("Opzioni delle chiamate cambiate: ingresso riaperto"));
                restartCapture();
            }
        },
        Qt::QueuedConnection);
}

WaveInput::CallOptions CRecordSound::callOptions() const
{
    const std::scoped_lock lock(m_optionsMutex);
    return m_callOptions;
}

void CRecordSound::postStartRecording()
{
    postMessage(UWM_RECORD_START);
}

void CRecordSound::enableAutoRecording()
{
    postMessage(UWM_AUTO_RECORD, 1);
}

void CRecordSound::disableAutoRecording()
{
    postMessage(UWM_AUTO_RECORD, 0);
}

bool CRecordSound::stopRecordingAndWait(int timeoutMs, int slowMs,
                                        const std::function<void()>& slow,
                                        const std::function<void()>& waiting)
{
    postMessage(UWM_AUTO_RECORD, 0);
    postMessage(UWM_RECORD_STOP);
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> stopped = done->get_future();
    // Through both queues: once the writer reaches this, it has closed the file.
    QMetaObject::invokeMethod(
        this,
        [this, done] {
            if (m_writer)
                m_writer->postBarrier([done] { done->set_value(); });
            else
                done->set_value();
        },
        Qt::QueuedConnection);
    constexpr auto kFrame = std::chrono::milliseconds(16);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    bool slowTold = !slow || slowMs >= timeoutMs;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return stopped.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        if (stopped.wait_until(std::min(deadline, now + kFrame)) == std::future_status::ready)
            return true;
        if (!slowTold &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(slowMs)) {
            slowTold = true;
            slow();
        }
        if (waiting)
            waiting();
    }
}

void CRecordSound::handleMessage(int message, int wParam)
{
    switch (message) {
    case UWM_RECORD_START:
        onStartRecording();
        break;
    case UWM_RECORD_STOP:
        onStopRecording();
        break;
    case UWM_AUTO_RECORD:
        m_decisions.setAutoMode(wParam != 0);
        // Audio heard before a change of mode opens no recording of the new one.
        m_preRoll.clear();
        m_preRollSamples = 0;
        break;
    case UWM_RECORD_IDLE:
    default:
        break;
    }
}

void CRecordSound::onStartRecording()
{
    m_decisions.onStartRequested();
    m_shownPeak = -1;
    // While a lost input waits for its next attempt, that attempt opens it.
    if (m_recording || m_retryTimer->isActive())
        return;
    QString error;
    if (!openInput(error))
        reportInputFailure(error);
}

bool CRecordSound::openInput(QString& error)
{
    uint32_t code = 0;
    const int device = m_recordingDevice;
    m_input->setDevice(device);
    m_input->setCallOptions(callOptions());
    // Audio of an earlier session would not run on into this one's.
    m_preRoll.clear();
    m_preRollSamples = 0;
    if (!m_input->start(code, error)) {
        m_log.line(QStringLiteral("WAVEIN:%1:%2").arg(code, 0, 16).arg(error.left(260)));
        return false;
    }
    if (m_input->isLive())
        m_log.line(QStringLiteral("Sorgente di registrazione: %1 (dispositivo %2)")
                       .arg(m_input->deviceName())
                       .arg(device));
    m_decisions.onOpened(m_input->nowMs());
    m_recording = true;
    if (m_input->isLive()) {
        m_sinceBuffer.start();
        m_stallTimer->start();
    }
    if (m_writer)
        m_writer->postMessage(UWM_WRITER_CREATE);
    return true;
}

void CRecordSound::onStopRecording()
{
    m_log.line(QStringLiteral("RecordSound: OnStopRecording"));
    m_retryTimer->stop();
    m_retries = 0;
    if (!m_recording)
        return;
    m_stallTimer->stop();
    m_decisions.onStopped();
    m_input->stop();
    m_recording = false;
    if (m_writer)
        m_writer->postMessage(UWM_WRITER_CLOSE);
    if (m_sampleLog)
        m_log.closeSamples();
}

void CRecordSound::onInputLost(uint64_t session, const QString& reason)
{
    if (!m_recording || session != m_input->session())
        return; // stopped or restarted meanwhile: that session is over anyway
    m_log.line(QStringLiteral("Ingresso audio perso: %1").arg(reason));
    // The call heard so far is finished and kept, as at the end of its silence.
    if (m_writer && m_decisions.autoMode() && m_decisions.inCall() && m_decisions.forwarding())
        m_writer->postMessage(UWM_WRITER_NEXT_FILE, 0);
    onStopRecording();
    reportInputFailure(reason);
}

void CRecordSound::reportInputFailure(const QString& reason)
{
    Q_EMIT inputLost(reason);
    if (m_input->isLive() && m_decisions.autoMode()) {
        const int delay =
            kRetryDelaysMs[std::min<size_t>(m_retries, std::size(kRetryDelaysMs) - 1)];
        ++m_retries;
        m_retryTimer->start(delay);
    }
}

void CRecordSound::retryInput()
{
    if (m_recording || !m_decisions.autoMode())
        return;
    m_decisions.onStartRequested();
    QString error;
    if (!openInput(error)) {
        reportInputFailure(error);
        return;
    }
    m_log.line(QStringLiteral("Ingresso audio ripristinato dopo %1 tentativi").arg(m_retries));
    m_retries = 0;
    Q_EMIT inputRestored();
}

void CRecordSound::checkStall()
{
    if (!m_recording || m_sinceBuffer.elapsed() <= kStallMs)
        return;
    // A source nobody feeds may go quiet; only a server that no longer answers is lost.
    if (m_input->answers(kStallMs)) {
        m_sinceBuffer.restart();
        return;
    }
    onInputLost(
        m_input->session(),
        QStringLiteral("the audio server stopped answering (no audio for %1 ms)").arg(kStallMs));
}

void CRecordSound::onMicrophoneUse(uint64_t session, bool inUse, const QString& program)
{
    if (!m_recording || session != m_input->session())
        return;
    m_log.line(inUse ? QStringLiteral("Microfono aperto da %1").arg(program)
                     : QStringLiteral("Microfono lasciato da %1").arg(program));
    m_decisions.setMicrophoneInUse(inUse);
}

void CRecordSound::keepForPreRoll(std::vector<int16_t>&& samples)
{
    const size_t limit = size_t(m_preRollSeconds.load()) * WaveInput::kSampleRate;
    m_preRollSamples += samples.size();
    m_preRoll.push_back(std::move(samples));
    // Whole buffers only: the kept audio reaches back at least the pre-roll time.
    while (!m_preRoll.empty() && m_preRollSamples - m_preRoll.front().size() >= limit) {
        m_preRollSamples -= m_preRoll.front().size();
        m_preRoll.pop_front();
    }
    if (limit == 0) {
        m_preRoll.clear();
        m_preRollSamples = 0;
    }
}

void CRecordSound::restartCapture()
{
    onStopRecording();
    onStartRecording();
}

void CRecordSound::onSoundData(WaveInputBuffer buffer)
{
    m_input->consumed(buffer);
    // A buffer of an earlier session (filled before a stop or restart) is only dropped; the
    // new session has its own buffers, so the queue never grows.
    if (!m_recording || buffer.session != m_input->session())
        return;
    m_sinceBuffer.restart();
    const int64_t now = buffer.timeMs;
    if (m_writer) {
        const CaptureDecisions::Params params{m_threshold, m_silenceSeconds, m_antiBump};
        const CaptureDecisions::Outcome outcome =
            m_decisions.onBuffer(buffer.samples.data(), buffer.samples.size(), now, params);
        // A level like the last one changes nothing shown: armed on silence, the UI thread
        // then sleeps.
        if (outcome.level && outcome.level->peak != m_shownPeak) {
            m_shownPeak = outcome.level->peak;
            Q_EMIT inputLevel(outcome.level->peak, outcome.level->minimum);
        }
        if (outcome.voiceDetected) {
            // The recording begins with the audio kept before the voice, and the voice itself
            // was heard a moment before it reached this thread.
            const int64_t waited =
                m_input->isLive() ? std::max<int64_t>(0, m_input->nowMs() - now) : 0;
            Q_EMIT voiceDetected(qint64(m_preRollSamples) * 1000 / WaveInput::kSampleRate + waited);
        }
        if (outcome.callEnded)
            m_writer->postMessage(UWM_WRITER_NEXT_FILE, *outcome.callEnded ? 1 : 0);
        if (outcome.restart)
            restartCapture();
        if (m_decisions.forwarding() && m_recording) {
            // A call's own buffers follow the audio heard just before its voice.
            if (outcome.voiceDetected) {
                for (std::vector<int16_t>& kept : m_preRoll) {
                    if (m_sampleLog)
                        m_log.sample(kept, now);
                    m_writer->postData(std::move(kept));
                }
            }
            m_preRoll.clear();
            m_preRollSamples = 0;
            if (m_sampleLog)
                m_log.sample(buffer.samples, now);
            m_writer->postData(std::move(buffer.samples));
        } else if (m_recording && m_decisions.autoMode() && !outcome.restart) {
            keepForPreRoll(std::move(buffer.samples));
        }
    }
    if (m_decisions.idleRestartDue(now, m_recording))
        restartCapture();
}

void CRecordSound::onThreadEnd()
{
    m_retryTimer->stop();
    if (m_recording)
        onStopRecording();
    if (m_writer) {
        m_writer->postMessage(UWM_THREAD_END);
        m_log.line(QStringLiteral("Chiudo il thread Write Sound"));
    }
    QThread::currentThread()->quit();
}
