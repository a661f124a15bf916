#include "platform/PulseWaveInput.h"

#include <pulse/error.h>
#include <pulse/thread-mainloop.h>
#include <pulse/context.h>
#include <pulse/stream.h>

#include <chrono>
#include <cstring>

namespace {

int64_t monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

PulseWaveInput::PulseWaveInput(Deliver deliver) : m_deliver(std::move(deliver)) {}

PulseWaveInput::~PulseWaveInput()
{
    stop();
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

int64_t PulseWaveInput::nowMs() const
{
    return monotonicMs();
}

void PulseWaveInput::onContextState(pa_context*, void* self)
{
    pa_threaded_mainloop_signal(static_cast<PulseWaveInput*>(self)->m_mainloop, 0);
}

void PulseWaveInput::onStreamState(pa_stream*, void* self)
{
    pa_threaded_mainloop_signal(static_cast<PulseWaveInput*>(self)->m_mainloop, 0);
}

void PulseWaveInput::onStreamRead(pa_stream* stream, size_t, void* self)
{
    static_cast<PulseWaveInput*>(self)->readAvailable(stream);
}

bool PulseWaveInput::connectContext(uint32_t& errorCode, QString& errorText)
{
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return true;
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Parlune");
    if (!m_context) {
        errorCode = PA_ERR_INTERNAL;
        errorText = QString::fromUtf8(pa_strerror(PA_ERR_INTERNAL));
        return false;
    }
    pa_context_set_state_callback(m_context, &PulseWaveInput::onContextState, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY)
                return true;
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            pa_threaded_mainloop_wait(m_mainloop);
        }
    }
    errorCode = static_cast<uint32_t>(pa_context_errno(m_context));
    errorText = QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
    return false;
}

bool PulseWaveInput::start(uint32_t& errorCode, QString& errorText)
{
    if (!m_mainloop) {
        m_mainloop = pa_threaded_mainloop_new();
        if (!m_mainloop || pa_threaded_mainloop_start(m_mainloop) < 0) {
            if (m_mainloop)
                pa_threaded_mainloop_free(m_mainloop);
            m_mainloop = nullptr;
            errorCode = PA_ERR_INTERNAL;
            errorText = QString::fromUtf8(pa_strerror(PA_ERR_INTERNAL));
            return false;
        }
    }
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_stream) {
        pa_threaded_mainloop_unlock(m_mainloop);
        return true;
    }
    if (!connectContext(errorCode, errorText)) {
        pa_threaded_mainloop_unlock(m_mainloop);
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(kSampleRate), 1};
    m_stream = pa_stream_new(m_context, "Parlune capture", &spec, nullptr);
    bool ok = m_stream != nullptr;
    if (ok) {
        ++m_session;
        m_outstanding = 0;
        m_filling.clear();
        pa_stream_set_state_callback(m_stream, &PulseWaveInput::onStreamState, this);
        pa_stream_set_read_callback(m_stream, &PulseWaveInput::onStreamRead, this);
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);
        attr.fragsize = kFrames * 2;
        // A null device is the server's default source.
        ok = pa_stream_connect_record(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) >= 0;
        while (ok) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY)
                break;
            if (!PA_STREAM_IS_GOOD(state))
                ok = false;
            else
                pa_threaded_mainloop_wait(m_mainloop);
        }
    }
    if (!ok) {
        errorCode = static_cast<uint32_t>(pa_context_errno(m_context));
        errorText = QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
        closeStream();
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    return ok;
}

void PulseWaveInput::closeStream()
{
    if (!m_stream)
        return;
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseWaveInput::stop()
{
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    closeStream();
    m_filling.clear();
    pa_threaded_mainloop_unlock(m_mainloop);
}

void PulseWaveInput::consumed(const WaveInputBuffer& buffer)
{
    if (buffer.session == m_session.load())
        --m_outstanding;
}

void PulseWaveInput::readAvailable(pa_stream* stream)
{
    if (stream != m_stream)
        return;
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            break;
        if (data) {
            const auto* samples = static_cast<const int16_t*>(data);
            m_filling.insert(m_filling.end(), samples, samples + bytes / 2);
        }
        pa_stream_drop(stream);
        while (m_filling.size() >= static_cast<size_t>(kFrames)) {
            WaveInputBuffer buffer;
            buffer.samples.assign(m_filling.begin(), m_filling.begin() + kFrames);
            m_filling.erase(m_filling.begin(), m_filling.begin() + kFrames);
            buffer.timeMs = monotonicMs();
            buffer.session = m_session.load();
            if (m_outstanding.load() >= kQueued) {
                ++m_dropped;
                continue;
            }
            ++m_outstanding;
            m_deliver(std::move(buffer));
        }
    }
}
