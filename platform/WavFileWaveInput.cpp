#include "platform/WavFileWaveInput.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace {

SNDFILE* sound(void* file)
{
    return static_cast<SNDFILE*>(file);
}

constexpr size_t kBlockFrames = 4096;

} // namespace

WavFileWaveInput::WavFileWaveInput(const QString& path, Deliver deliver, Ended ended)
    : m_deliver(std::move(deliver)), m_ended(std::move(ended))
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file || info.channels < 1 || info.samplerate < 1) {
        m_openError = QString::fromUtf8(sf_strerror(file));
        if (file)
            sf_close(file);
    } else {
        m_file = file;
        m_channels = info.channels;
        m_sourceRate = info.samplerate;
        m_block.resize(kBlockFrames * static_cast<size_t>(m_channels));
    }
    m_thread = std::thread([this] { run(); });
}

WavFileWaveInput::~WavFileWaveInput()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_running = false;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_file)
        sf_close(sound(m_file));
}

bool WavFileWaveInput::start(uint32_t& errorCode, QString& errorText)
{
    if (!m_file) {
        errorCode = 2;
        errorText = m_openError;
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_running)
            return true;
        ++m_session;
        m_running = true;
    }
    m_wake.notify_all();
    return true;
}

void WavFileWaveInput::stop()
{
    std::lock_guard lock(m_mutex);
    if (!m_running)
        return;
    m_running = false;
    // What the capture thread has not taken yet comes again in the next session, in order.
    while (!m_unconsumed.empty()) {
        m_replay.push_front(std::move(m_unconsumed.back()));
        m_unconsumed.pop_back();
    }
}

void WavFileWaveInput::consumed(const WaveInputBuffer& buffer)
{
    {
        std::lock_guard lock(m_mutex);
        if (buffer.session != m_session || !m_running)
            return;
        while (!m_unconsumed.empty() && m_unconsumed.front().timeMs <= buffer.timeMs)
            m_unconsumed.pop_front();
        m_consumedMs = std::max(m_consumedMs, buffer.timeMs);
    }
    m_wake.notify_all();
}

uint64_t WavFileWaveInput::session() const
{
    std::lock_guard lock(m_mutex);
    return m_session;
}

int64_t WavFileWaveInput::nowMs() const
{
    std::lock_guard lock(m_mutex);
    return m_consumedMs;
}

void WavFileWaveInput::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A writer that falls behind is polled, not signalled: it knows nothing of this input.
        const auto ready = [this] {
            if (m_quit)
                return true;
            if (!m_running || m_unconsumed.size() >= static_cast<size_t>(kQueued))
                return false;
            if (m_behind && m_replay.empty() && !m_eof && m_behind())
                return false;
            const bool allTaken = m_replay.empty() && m_unconsumed.empty();
            return !m_replay.empty() || !m_eof || (allTaken && !m_endedSent);
        };
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(5), ready)) {
        }
        if (m_quit)
            return;
        Pending next;
        if (!m_replay.empty()) {
            next = std::move(m_replay.front());
            m_replay.pop_front();
        } else if (!m_eof) {
            lock.unlock();
            std::vector<int16_t> samples = m_file ? readBuffer() : std::vector<int16_t>{};
            lock.lock();
            if (samples.empty()) {
                m_eof = true;
                continue;
            }
            next = {m_nextTimeMs, std::move(samples)};
            m_nextTimeMs += kBufferMs;
            if (!m_running) {
                m_replay.push_back(std::move(next));
                continue;
            }
        } else {
            m_endedSent = true;
            if (m_ended)
                m_ended();
            continue;
        }
        WaveInputBuffer buffer{next.samples, next.timeMs, m_session};
        m_unconsumed.push_back(std::move(next));
        // Delivered under the lock, so that nothing arrives once stop() has returned.
        m_deliver(std::move(buffer));
    }
}

bool WavFileWaveInput::pullSource(float& sample)
{
    if (m_blockPos >= m_blockLen) {
        if (m_sourceDone)
            return false;
        const sf_count_t got =
            sf_readf_float(sound(m_file), m_block.data(), static_cast<sf_count_t>(kBlockFrames));
        if (got <= 0) {
            m_sourceDone = true;
            return false;
        }
        m_blockLen = static_cast<size_t>(got);
        m_blockPos = 0;
    }
    const float* frame = m_block.data() + m_blockPos * static_cast<size_t>(m_channels);
    float sum = 0;
    for (int c = 0; c < m_channels; ++c)
        sum += frame[c];
    sample = sum / static_cast<float>(m_channels);
    ++m_blockPos;
    return true;
}

std::vector<int16_t> WavFileWaveInput::readBuffer()
{
    if (m_finished)
        return {};
    if (!m_primed) {
        m_primed = true;
        if (!pullSource(m_s0)) {
            m_finished = true;
            return {};
        }
        if (!pullSource(m_s1))
            m_s1 = m_s0;
    }
    const double step = static_cast<double>(m_sourceRate) / kSampleRate;
    std::vector<int16_t> out;
    out.reserve(kFrames);
    bool ended = false;
    while (out.size() < static_cast<size_t>(kFrames)) {
        while (m_t >= 1.0) {
            m_t -= 1.0;
            m_s0 = m_s1;
            if (!pullSource(m_s1)) {
                ended = true;
                break;
            }
        }
        if (ended)
            break;
        const double value = (m_s0 + (m_s1 - m_s0) * m_t) * 32768.0;
        out.push_back(static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L)));
        m_t += step;
    }
    m_finished = ended;
    if (out.empty())
        return {};
    // The last buffer of the file is filled up with silence, as a device's would be.
    out.resize(kFrames, 0);
    return out;
}
