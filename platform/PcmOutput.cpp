#include "platform/PcmOutput.h"

#include <pulse/pulseaudio.h>

#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kOperationTimeoutMs = 3000;
// A stream that is neither corked nor drained yet takes no audio for this long: the server
// has stopped answering, so the playback fails instead of waiting for ever.
constexpr qint64 kStallTimeoutMs = 5000;
constexpr pa_usec_t kTargetLatencyUs = 200 * 1000;

class PulsePcmOutput final : public PcmOutput {
public:
    ~PulsePcmOutput() override { stop(); }

    bool open(int rate, int channels) override
    {
        stop();
        m_failed = false;
        m_error.clear();
        if (rate <= 0 || channels <= 0 || channels > static_cast<int>(PA_CHANNELS_MAX))
            return fail(QStringLiteral("Invalid sample format"));
        m_spec.format = PA_SAMPLE_S16LE;
        m_spec.rate = static_cast<uint32_t>(rate);
        m_spec.channels = static_cast<uint8_t>(channels);
        {
            std::lock_guard lock(m_loopMutex);
            m_loop = pa_mainloop_new();
        }
        if (!m_loop)
            return fail(QStringLiteral("Cannot create the audio main loop"));
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Parlune");
        if (!m_context)
            return fail(QStringLiteral("Cannot create the audio server connection"));
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return fail(contextError());
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state))
                return fail(contextError());
            if (clock.elapsed() > kConnectTimeoutMs)
                return fail(QStringLiteral("The audio server does not answer"));
            iterate(100);
        }
        if (!createStream())
            return false;
        return true;
    }

    bool restart() override
    {
        if (!m_context || m_failed)
            return false;
        releaseStream();
        return createStream();
    }

    long long write(const char* data, size_t bytes) override
    {
        if (!healthy())
            return -1;
        size_t room = pa_stream_writable_size(m_stream);
        if (room == static_cast<size_t>(-1)) {
            fail(contextError());
            return -1;
        }
        const size_t frame = pa_frame_size(&m_spec);
        size_t count = std::min(room, bytes);
        count -= count % frame;
        if (count == 0)
            return 0;
        if (pa_stream_write(m_stream, data, count, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            fail(contextError());
            return -1;
        }
        m_written += static_cast<long long>(count);
        m_progress.restart();
        return static_cast<long long>(count);
    }

    bool wait(int timeoutMs) override
    {
        if (!healthy())
            return false;
        if (!m_interrupted.exchange(false))
            iterate(timeoutMs);
        if (!healthy())
            return false;
        updateDrain();
        if (!m_paused && !m_drainDone && m_progress.elapsed() > kStallTimeoutMs)
            return fail(QStringLiteral("The audio server stopped taking audio"));
        return true;
    }

    void interrupt() override
    {
        m_interrupted = true;
        std::lock_guard lock(m_loopMutex);
        if (m_loop)
            pa_mainloop_wakeup(m_loop);
    }

    bool setPaused(bool paused) override
    {
        if (!healthy())
            return false;
        pa_operation* operation = pa_stream_cork(m_stream, paused ? 1 : 0, nullptr, nullptr);
        if (!operation)
            return fail(contextError());
        const bool done = finish(operation);
        m_paused = paused;
        m_progress.restart();
        return done;
    }

    bool startDrain() override
    {
        if (!healthy())
            return false;
        if (m_drain)
            return true;
        m_drainDone = false;
        m_drain = pa_stream_drain(m_stream, nullptr, nullptr);
        if (!m_drain)
            return fail(contextError());
        m_progress.restart();
        return true;
    }

    bool drained() const override { return m_drainDone; }

    long long bytesWritten() const override { return m_written; }

    long long latencyUs() override
    {
        if (!healthy())
            return -1;
        pa_usec_t usec = 0;
        int negative = 0;
        if (pa_stream_get_latency(m_stream, &usec, &negative) < 0)
            return -1;
        return negative ? 0 : static_cast<long long>(usec);
    }

    void stop() override
    {
        releaseStream();
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
        std::lock_guard lock(m_loopMutex);
        if (m_loop) {
            pa_mainloop_free(m_loop);
            m_loop = nullptr;
        }
    }

    bool isOpen() const override { return m_stream != nullptr; }
    bool failed() const override { return m_failed; }
    QString errorText() const override { return m_error; }

private:
    bool createStream()
    {
        m_stream = pa_stream_new(m_context, "Parlune playback", &m_spec, nullptr);
        if (!m_stream)
            return fail(contextError());
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &m_spec));
        attributes.prebuf = static_cast<uint32_t>(-1);
        attributes.minreq = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(m_stream, nullptr, &attributes, flags, nullptr, nullptr) < 0)
            return fail(contextError());
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY)
                break;
            if (!PA_STREAM_IS_GOOD(state) || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
                return fail(contextError());
            if (clock.elapsed() > kConnectTimeoutMs)
                return fail(QStringLiteral("The audio server does not open the stream"));
            iterate(100);
        }
        m_written = 0;
        m_paused = false;
        m_drainDone = false;
        m_progress.start();
        return true;
    }

    void releaseStream()
    {
        if (m_drain) {
            pa_operation_cancel(m_drain);
            pa_operation_unref(m_drain);
            m_drain = nullptr;
        }
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
        m_drainDone = false;
    }

    void iterate(int timeoutMs)
    {
        if (pa_mainloop_prepare(m_loop, timeoutMs * 1000) < 0)
            return;
        if (pa_mainloop_poll(m_loop) < 0)
            return;
        pa_mainloop_dispatch(m_loop);
    }

    // Waits for an operation of the server, within a bound.
    bool finish(pa_operation* operation)
    {
        QElapsedTimer clock;
        clock.start();
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
            if (!healthy() || clock.elapsed() > kOperationTimeoutMs) {
                pa_operation_cancel(operation);
                pa_operation_unref(operation);
                return m_failed ? false : fail(QStringLiteral("The audio server does not answer"));
            }
            iterate(100);
        }
        const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        pa_operation_unref(operation);
        return done;
    }

    void updateDrain()
    {
        if (m_drain && pa_operation_get_state(m_drain) != PA_OPERATION_RUNNING) {
            m_drainDone = pa_operation_get_state(m_drain) == PA_OPERATION_DONE;
            pa_operation_unref(m_drain);
            m_drain = nullptr;
            m_progress.restart();
        }
    }

    bool healthy()
    {
        if (m_failed)
            return false;
        if (!m_context || !m_stream)
            return fail(QStringLiteral("The stream is not open"));
        if (pa_context_get_state(m_context) != PA_CONTEXT_READY ||
            pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return fail(contextError());
        return true;
    }

    QString contextError() const
    {
        const int code = m_context ? pa_context_errno(m_context) : PA_ERR_INTERNAL;
        return QString::fromUtf8(pa_strerror(code));
    }

    bool fail(const QString& text)
    {
        if (!m_failed) {
            m_failed = true;
            m_error = text;
        }
        return false;
    }

    std::mutex m_loopMutex; // guards m_loop against interrupt() from another thread
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_operation* m_drain = nullptr;
    pa_sample_spec m_spec{};
    std::atomic<bool> m_interrupted{false};
    long long m_written = 0;
    bool m_paused = false;
    bool m_drainDone = false;
    bool m_failed = false;
    QString m_error;
    QElapsedTimer m_progress;
};

} // namespace

std::unique_ptr<PcmOutput> PcmOutput::createPulseAudio()
{
    return std::make_unique<PulsePcmOutput>();
}
