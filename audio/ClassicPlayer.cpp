#include "audio/ClassicPlayer.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

constexpr long long kChunkFrames = 2048;
constexpr int kWaitMs = 100;
// A command not applied by then means the playback thread is stuck; the caller gets false.
constexpr auto kCommandTimeout = std::chrono::seconds(6);

} // namespace

ClassicPlayer::ClassicPlayer(std::unique_ptr<PcmSource> source, std::unique_ptr<PcmOutput> output)
    : m_source(std::move(source)), m_output(std::move(output))
{
    if (m_source && m_source->rate() > 0) {
        m_lengthMs = m_source->lengthFrames() * 1000 / m_source->rate();
        m_frameBytes = 2LL * std::max(1, m_source->channels());
    }
}

ClassicPlayer::~ClassicPlayer()
{
    stop();
}

QString ClassicPlayer::errorText() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool ClassicPlayer::start(long long fromMs)
{
    if (m_thread.joinable() || !m_source || !m_output)
        return false;
    if (!m_output->open(m_source->rate(), m_source->channels())) {
        std::lock_guard lock(m_mutex);
        m_error = m_output->errorText();
        return false;
    }
    const long long from = std::clamp(fromMs, 0LL, m_lengthMs);
    if (from > 0 && !m_source->seek(from * m_source->rate() / 1000)) {
        m_output->stop();
        std::lock_guard lock(m_mutex);
        m_error = QStringLiteral("Cannot seek in the file");
        return false;
    }
    m_baseMs = from;
    m_positionMs = from;
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

bool ClassicPlayer::seek(long long positionMs)
{
    return command(Command::Seek, positionMs);
}

bool ClassicPlayer::pause()
{
    return command(Command::Pause, 0);
}

void ClassicPlayer::stop()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_command = Command::Stop;
            ++m_serial;
        }
        m_commandPosted.notify_all();
        m_output->interrupt();
        m_thread.join();
    }
    if (m_output)
        m_output->stop();
}

bool ClassicPlayer::command(Command what, long long positionMs)
{
    if (!m_running)
        return false;
    unsigned serial = 0;
    {
        std::lock_guard lock(m_mutex);
        m_command = what;
        m_commandPosition = positionMs;
        serial = ++m_serial;
    }
    m_commandPosted.notify_all();
    m_output->interrupt();
    std::unique_lock lock(m_mutex);
    m_commandApplied.wait_for(lock, kCommandTimeout,
                              [&] { return m_appliedSerial >= serial || !m_running; });
    return m_appliedSerial >= serial && m_commandResult;
}

void ClassicPlayer::acknowledge(unsigned serial)
{
    {
        std::lock_guard lock(m_mutex);
        m_appliedSerial = serial;
    }
    m_commandApplied.notify_all();
}

void ClassicPlayer::run()
{
    const int channels = std::max(1, m_source->channels());
    std::vector<int16_t> buffer(static_cast<size_t>(kChunkFrames * channels));
    long long pendingOffset = 0;
    long long pendingBytes = 0;
    bool endOfSound = false;
    auto setResult = [this](bool ok) {
        std::lock_guard lock(m_mutex);
        m_commandResult = ok;
    };
    for (;;) {
        Command what = Command::None;
        long long target = 0;
        unsigned serial = 0;
        {
            std::lock_guard lock(m_mutex);
            std::swap(what, m_command);
            target = m_commandPosition;
            serial = m_serial;
        }
        if (what == Command::Stop) {
            setResult(true);
            acknowledge(serial);
            break;
        }
        if (what == Command::Seek) {
            target = std::clamp(target, 0LL, m_lengthMs);
            const bool sought = m_source->seek(target * m_source->rate() / 1000);
            if (sought && !m_output->restart()) {
                setResult(false);
                acknowledge(serial);
                reportFailure(m_output->errorText());
                break;
            }
            if (sought) {
                m_baseMs = target;
                m_positionMs = target;
                m_paused = false;
                m_finished = false;
                pendingBytes = 0;
                endOfSound = false;
            }
            setResult(sought);
            acknowledge(serial);
        } else if (what == Command::Pause) {
            const bool ok = m_finished || m_output->setPaused(true);
            if (ok) {
                m_paused = true;
                if (!m_finished)
                    publishPosition();
            }
            setResult(ok);
            acknowledge(serial);
            if (m_output->failed()) {
                reportFailure(m_output->errorText());
                break;
            }
        }

        if (m_finished) {
            // Played to the end: nothing to do until a seek plays again or a stop.
            std::unique_lock lock(m_mutex);
            m_commandPosted.wait(lock, [this] { return m_command != Command::None; });
            continue;
        }
        publishPosition();
        if (m_paused) {
            if (!m_output->wait(kWaitMs)) {
                reportFailure(m_output->errorText());
                break;
            }
            continue;
        }
        if (pendingBytes == 0 && !endOfSound) {
            const long long frames = m_source->read(buffer.data(), kChunkFrames);
            if (frames < 0) {
                reportFailure(m_source->errorText());
                break;
            }
            if (frames == 0) {
                endOfSound = true;
                if (!m_output->startDrain()) {
                    reportFailure(m_output->errorText());
                    break;
                }
            } else {
                pendingOffset = 0;
                pendingBytes = frames * m_frameBytes;
            }
        }
        if (pendingBytes > 0) {
            const long long taken =
                m_output->write(reinterpret_cast<const char*>(buffer.data()) + pendingOffset,
                                static_cast<size_t>(pendingBytes));
            if (taken < 0 || (taken == 0 && !m_output->wait(kWaitMs))) {
                reportFailure(m_output->errorText());
                break;
            }
            pendingOffset += taken;
            pendingBytes -= taken;
            continue;
        }
        if (m_output->drained()) {
            m_positionMs = m_lengthMs;
            m_finished = true;
            if (m_onEnd)
                m_onEnd();
            continue;
        }
        if (!m_output->wait(kWaitMs)) {
            reportFailure(m_output->errorText());
            break;
        }
    }
    m_output->stop();
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
    }
    m_commandApplied.notify_all();
}

void ClassicPlayer::publishPosition()
{
    const long long latency = m_output->latencyUs();
    const long long writtenUs =
        m_output->bytesWritten() / m_frameBytes * 1000000LL / std::max(1, m_source->rate());
    const long long heardUs = latency < 0 ? 0 : std::max(0LL, writtenUs - latency);
    m_positionMs = std::min(m_baseMs + heardUs / 1000, m_lengthMs);
}

void ClassicPlayer::reportFailure(const QString& text)
{
    {
        std::lock_guard lock(m_mutex);
        m_error = text.isEmpty() ? QStringLiteral("Playback failed") : text;
    }
    m_failed = true;
    if (m_onEnd)
        m_onEnd();
}
