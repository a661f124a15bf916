#include "platform/PulseWaveInput.h"

#include "platform/DeviceOrder.h"
#include "platform/PulseLoopWait.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <cstring>

namespace {

int64_t monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString serverError(pa_context* context)
{
    return QString::fromUtf8(pa_strerror(context ? pa_context_errno(context) : PA_ERR_INTERNAL));
}

} // namespace

PulseWaveInput::PulseWaveInput(Deliver deliver) : m_deliver(std::move(deliver)) {}

PulseWaveInput::~PulseWaveInput()
{
    stop();
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    dropContext();
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

int64_t PulseWaveInput::nowMs() const
{
    return monotonicMs();
}

void PulseWaveInput::onContextState(pa_context* context, void* self)
{
    auto* input = static_cast<PulseWaveInput*>(self);
    pa_threaded_mainloop_signal(input->m_mainloop, 0);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        input->reportLost(QStringLiteral("connection to the audio server lost: ") +
                          serverError(context));
}

void PulseWaveInput::onStreamState(pa_stream* stream, void* self)
{
    auto* input = static_cast<PulseWaveInput*>(self);
    pa_threaded_mainloop_signal(input->m_mainloop, 0);
    if (stream == input->m_stream && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        input->reportLost(QStringLiteral("capture stream ended: ") + serverError(input->m_context));
}

void PulseWaveInput::reportLost(const QString& reason)
{
    if (!m_running || m_lostSession == m_session.load())
        return;
    m_lostSession = m_session.load();
    if (m_lost)
        m_lost(m_lostSession, reason);
}

void PulseWaveInput::dropContext()
{
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseWaveInput::onStreamRead(pa_stream* stream, size_t, void* self)
{
    static_cast<PulseWaveInput*>(self)->readAvailable(stream);
}

bool PulseWaveInput::connectContext(uint32_t& errorCode, QString& errorText)
{
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return true;
    dropContext(); // a connection that went bad (a server restart) is made anew
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Parlune");
    if (!m_context) {
        errorCode = PA_ERR_INTERNAL;
        errorText = QString::fromUtf8(pa_strerror(PA_ERR_INTERNAL));
        return false;
    }
    pa_context_set_state_callback(m_context, &PulseWaveInput::onContextState, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const bool answered = waitLocked(m_mainloop, m_context, kConnectTimeoutMs, [this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (!answered) {
            errorCode = PA_ERR_TIMEOUT;
            errorText = QString::fromUtf8(pa_strerror(PA_ERR_TIMEOUT));
            dropContext();
            return false;
        }
        if (pa_context_get_state(m_context) == PA_CONTEXT_READY)
            return true;
    }
    errorCode = static_cast<uint32_t>(pa_context_errno(m_context));
    errorText = serverError(m_context);
    dropContext();
    return false;
}

bool PulseWaveInput::chooseSource(int device, QByteArray& name, uint32_t& errorCode,
                                  QString& errorText)
{
    name.clear();
    if (device <= 0)
        return true; // device 0 names no source, so the stream follows the desktop's default
    struct Listing {
        pa_threaded_mainloop* loop;
        MixerState state;
    } listing{m_mainloop, {}};
    pa_operation* server = pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* l = static_cast<Listing*>(data);
            if (info && info->default_source_name)
                l->state.defaultSource = QString::fromUtf8(info->default_source_name);
            pa_threaded_mainloop_signal(l->loop, 0);
        },
        &listing);
    pa_operation* sources = pa_context_get_source_info_list(
        m_context,
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* l = static_cast<Listing*>(data);
            if (info && eol == 0) {
                MixerDevice source;
                source.index = info->index;
                source.name = QString::fromUtf8(info->name);
                source.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
                l->state.sources.push_back(std::move(source));
            }
            pa_threaded_mainloop_signal(l->loop, 0);
        },
        &listing);
    const auto finished = [](pa_operation* operation) {
        return !operation || pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
    };
    const bool answered = waitLocked(m_mainloop, m_context, kConnectTimeoutMs,
                                     [&] { return finished(server) && finished(sources); });
    const bool listed = server && sources && pa_operation_get_state(server) == PA_OPERATION_DONE &&
                        pa_operation_get_state(sources) == PA_OPERATION_DONE;
    // A cancelled request never calls back into `listing`, which ends with this call.
    for (pa_operation* operation : {server, sources}) {
        if (!operation)
            continue;
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    if (!listed) {
        const int error = answered ? pa_context_errno(m_context) : int(PA_ERR_TIMEOUT);
        errorCode = static_cast<uint32_t>(error != 0 ? error : int(PA_ERR_INTERNAL));
        errorText = QString::fromUtf8(pa_strerror(int(errorCode)));
        return false;
    }
    const auto devices = DeviceOrder::recordDevices(listing.state);
    // Device 0, or one beyond the list (unplugged since it was chosen), is the default.
    if (DeviceOrder::effective(device, devices.size()) != 0)
        name = devices[size_t(device)]->name.toUtf8();
    return true;
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
    QByteArray source;
    if (!chooseSource(m_device.load(), source, errorCode, errorText)) {
        dropContext(); // a server that does not answer leaves a connection that only looks alive
        pa_threaded_mainloop_unlock(m_mainloop);
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(kSampleRate), 1};
    m_stream = pa_stream_new(m_context, "Parlune capture", &spec, nullptr);
    bool ok = m_stream != nullptr;
    errorCode = 0;
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
        ok = pa_stream_connect_record(m_stream, source.isEmpty() ? nullptr : source.constData(),
                                      &attr, PA_STREAM_ADJUST_LATENCY) >= 0;
        bool answered = true;
        if (ok) {
            answered = waitLocked(m_mainloop, m_context, kConnectTimeoutMs, [this] {
                const pa_stream_state_t state = pa_stream_get_state(m_stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            });
            ok = answered && pa_stream_get_state(m_stream) == PA_STREAM_READY;
        }
        if (!answered) {
            errorCode = PA_ERR_TIMEOUT;
            errorText = QString::fromUtf8(pa_strerror(PA_ERR_TIMEOUT));
        }
    }
    if (ok) {
        m_running = true;
        const char* opened = pa_stream_get_device_name(m_stream);
        m_deviceName = opened ? QString::fromUtf8(opened) : QString::fromUtf8(source);
    } else {
        if (errorCode == 0) {
            errorCode = static_cast<uint32_t>(pa_context_errno(m_context));
            errorText = serverError(m_context);
        }
        closeStream();
        // A server that stopped answering leaves a connection that only looks alive.
        dropContext();
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    return ok;
}

bool PulseWaveInput::answers(int timeoutMs)
{
    if (!m_mainloop)
        return false;
    pa_threaded_mainloop_lock(m_mainloop);
    bool answered = false;
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY) {
        pa_operation* operation = pa_context_get_server_info(
            m_context,
            [](pa_context*, const pa_server_info*, void* loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            },
            m_mainloop);
        if (operation) {
            waitLocked(m_mainloop, m_context, timeoutMs, [operation] {
                return pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
            });
            answered = pa_operation_get_state(operation) == PA_OPERATION_DONE;
            if (!answered)
                pa_operation_cancel(operation);
            pa_operation_unref(operation);
        }
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    return answered;
}

void PulseWaveInput::closeStream()
{
    m_running = false;
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
