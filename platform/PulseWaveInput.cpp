#include "platform/PulseWaveInput.h"

#include "platform/DeviceOrder.h"
#include "platform/PulseLoopWait.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <QCoreApplication>

#include <chrono>
#include <cstring>
#include <limits>
#include <map>

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

// The far side of a sink without hardware volume reaches its monitor scaled by the sink's
// volume; its inverse puts the far side back at the level the program played it.
float farSideGainOf(const pa_sink_info& info)
{
    if (info.flags & PA_SINK_HW_VOLUME_CTRL)
        return 1.0f;
    const double linear = pa_sw_volume_to_linear(pa_cvolume_max(&info.volume));
    return linear > 0 ? float(1.0 / linear) : 1.0f;
}

// The name every connection of this program gives the server.
constexpr const char* kClientName = "Parlune";

QString property(const pa_proplist* properties, const char* key)
{
    const char* value = properties ? pa_proplist_gets(properties, key) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

/// The server's devices as a start() lists them.
struct DeviceListing {
    pa_threaded_mainloop* loop;
    MixerState state;
    std::map<uint32_t, QByteArray> monitors; ///< sink index to its monitor source's name
    std::map<uint32_t, float> gains;         ///< sink index to its far side's gain
};

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
    // Without its far side (the sink went away) the call goes on with the microphone alone.
    if (stream == input->m_farSide && input->m_farSide &&
        !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        input->m_mixer.setFarSideLive(false);
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
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), kClientName);
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

bool PulseWaveInput::listDevices(bool sinks, DeviceListing& listing, uint32_t& errorCode,
                                 QString& errorText)
{
    pa_operation* server = pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* l = static_cast<DeviceListing*>(data);
            if (info && info->default_source_name)
                l->state.defaultSource = QString::fromUtf8(info->default_source_name);
            if (info && info->default_sink_name)
                l->state.defaultSink = QString::fromUtf8(info->default_sink_name);
            pa_threaded_mainloop_signal(l->loop, 0);
        },
        &listing);
    pa_operation* devices = nullptr;
    if (sinks) {
        devices = pa_context_get_sink_info_list(
            m_context,
            [](pa_context*, const pa_sink_info* info, int eol, void* data) {
                auto* l = static_cast<DeviceListing*>(data);
                if (info && eol == 0) {
                    MixerDevice sink;
                    sink.index = info->index;
                    sink.name = QString::fromUtf8(info->name);
                    l->state.sinks.push_back(std::move(sink));
                    l->monitors[info->index] =
                        info->monitor_source_name ? QByteArray(info->monitor_source_name) : "";
                    l->gains[info->index] = farSideGainOf(*info);
                }
                pa_threaded_mainloop_signal(l->loop, 0);
            },
            &listing);
    } else {
        devices = pa_context_get_source_info_list(
            m_context,
            [](pa_context*, const pa_source_info* info, int eol, void* data) {
                auto* l = static_cast<DeviceListing*>(data);
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
    }
    const auto finished = [](pa_operation* operation) {
        return !operation || pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
    };
    const bool answered = waitLocked(m_mainloop, m_context, kConnectTimeoutMs,
                                     [&] { return finished(server) && finished(devices); });
    const bool listed = server && devices && pa_operation_get_state(server) == PA_OPERATION_DONE &&
                        pa_operation_get_state(devices) == PA_OPERATION_DONE;
    // A cancelled request never calls back into `listing`, which ends with the caller.
    for (pa_operation* operation : {server, devices}) {
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
    return true;
}

bool PulseWaveInput::chooseSource(int device, QByteArray& name, uint32_t& errorCode,
                                  QString& errorText)
{
    name.clear();
    if (device <= 0)
        return true; // device 0 names no source, so the stream follows the desktop's default
    DeviceListing listing{m_mainloop, {}, {}, {}};
    if (!listDevices(false, listing, errorCode, errorText))
        return false;
    const auto devices = DeviceOrder::recordDevices(listing.state);
    // Device 0, or one beyond the list (unplugged since it was chosen), is the default.
    if (DeviceOrder::effective(device, devices.size()) != 0)
        name = devices[size_t(device)]->name.toUtf8();
    return true;
}

bool PulseWaveInput::openFarSide(int device, QString& error)
{
    DeviceListing listing{m_mainloop, {}, {}, {}};
    uint32_t code = 0;
    if (!listDevices(true, listing, code, error))
        return false;
    const MixerDevice* sink = DeviceOrder::at(DeviceOrder::playDevices(listing.state), device);
    if (!sink) {
        error = QStringLiteral("the audio server has no play device");
        return false;
    }
    if (listing.monitors[sink->index].isEmpty()) {
        error = QStringLiteral("the play device %1 has no monitor").arg(sink->name);
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(kSampleRate), 1};
    m_farSide = pa_stream_new(m_context, "Parlune far side", &spec, nullptr);
    if (!m_farSide) {
        error = serverError(m_context);
        return false;
    }
    pa_stream_set_state_callback(m_farSide, &PulseWaveInput::onStreamState, this);
    pa_stream_set_read_callback(m_farSide, &PulseWaveInput::onStreamRead, this);
    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);
    attr.fragsize = kFrames * 2 * kMixedFragmentBuffers;
    // Never moved to another source when its sink goes away: it would bring the microphone in
    // a second time. Corked until the microphone starts with it.
    const auto flags =
        pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE | PA_STREAM_START_CORKED);
    bool ready = pa_stream_connect_record(m_farSide, listing.monitors[sink->index].constData(),
                                          &attr, flags) >= 0;
    bool answered = true;
    ready = ready && waitReady(m_farSide, answered);
    if (!ready) {
        error = answered ? serverError(m_context) : QString::fromUtf8(pa_strerror(PA_ERR_TIMEOUT));
        releaseStream(m_farSide);
        return false;
    }
    m_farSink = sink->index;
    m_mixer.setMonitorGain(listing.gains[sink->index]);
    m_farGain = m_mixer.monitorGain();
    m_deviceName += QStringLiteral(" + ") + QString::fromUtf8(listing.monitors[sink->index]);
    return true;
}

void PulseWaveInput::startWatching(const QStringList& ignored)
{
    const bool told = !m_toldUser.isEmpty();
    m_watchIgnored = ignored;
    m_users.watch(pa_stream_get_device_index(m_stream), ignored);
    m_watching = true;
    // A microphone moved to another source: its use is told anew from that source's streams.
    if (told)
        tellMicrophoneUse();
    pa_operation* listing = pa_context_get_source_output_info_list(
        m_context,
        [](pa_context*, const pa_source_output_info* info, int eol, void* self) {
            if (info && eol == 0)
                static_cast<PulseWaveInput*>(self)->takeMicrophoneStream(*info);
        },
        this);
    if (listing)
        pa_operation_unref(listing);
}

void PulseWaveInput::onSubscription(pa_context* context, int type, uint32_t index, void* self)
{
    auto* input = static_cast<PulseWaveInput*>(self);
    const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const bool removed = (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE;
    pa_operation* operation = nullptr;
    if (facility == PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT && input->m_watching) {
        if (removed) {
            if (input->m_users.remove(index))
                input->tellMicrophoneUse();
            return;
        }
        operation = pa_context_get_source_output_info(
            context, index,
            [](pa_context*, const pa_source_output_info* info, int eol, void* data) {
                if (info && eol == 0)
                    static_cast<PulseWaveInput*>(data)->takeMicrophoneStream(*info);
            },
            input);
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && input->m_mixing && !removed &&
               index == input->m_farSink) {
        operation = pa_context_get_sink_info_by_index(
            context, index,
            [](pa_context*, const pa_sink_info* info, int eol, void* data) {
                if (info && eol == 0)
                    static_cast<PulseWaveInput*>(data)->takeSinkVolume(*info);
            },
            input);
    }
    if (operation)
        pa_operation_unref(operation);
}

void PulseWaveInput::takeMicrophoneStream(const pa_source_output_info& info)
{
    if (!m_watching)
        return;
    MicrophoneUsers::Stream stream;
    stream.index = info.index;
    stream.source = info.source;
    stream.program = property(info.proplist, PA_PROP_APPLICATION_NAME);
    stream.binary = property(info.proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    // This process, or another of this program (parlunectl beside the window).
    stream.ours = property(info.proplist, PA_PROP_APPLICATION_PROCESS_ID) ==
                      QString::number(QCoreApplication::applicationPid()) ||
                  stream.program == QLatin1String(kClientName);
    stream.corked = info.corked != 0;
    // A volume meter (a peak-detecting stream) only looks at the microphone.
    stream.meter = (info.resample_method && std::strcmp(info.resample_method, "peaks") == 0) ||
                   property(info.proplist, "resample.peaks") == QLatin1String("true");
    if (m_users.update(stream))
        tellMicrophoneUse();
}

void PulseWaveInput::takeSinkVolume(const pa_sink_info& info)
{
    if (!m_mixing || info.index != m_farSink)
        return;
    m_mixer.setMonitorGain(farSideGainOf(info));
    m_farGain = m_mixer.monitorGain();
}

void PulseWaveInput::tellMicrophoneUse()
{
    const bool inUse = m_users.inUse();
    const QString program = inUse ? m_users.user() : m_toldUser;
    m_toldUser = inUse ? program : QString();
    if (m_microphoneUse)
        m_microphoneUse(m_session.load(), inUse, program);
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
    const CallOptions options = m_options;
    if (ok) {
        ++m_session;
        m_outstanding = 0;
        m_filling.clear();
        m_mixer.clear();
        // Decided before the microphone delivers, so that its first samples meet the far side.
        m_mixing = options.bothSides;
        m_farGain = 1.0f;
        pa_stream_set_state_callback(m_stream, &PulseWaveInput::onStreamState, this);
        pa_stream_set_read_callback(m_stream, &PulseWaveInput::onStreamRead, this);
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);
        // Two streams woken for every buffer would double the cost of waiting armed: both sides
        // come a few buffers at a time, a little later but whole.
        attr.fragsize = kFrames * 2 * (m_mixing ? kMixedFragmentBuffers : 1);
        pa_stream_set_moved_callback(m_stream, &PulseWaveInput::onMoved, this);
        // Mixed, the microphone waits corked for its far side: meanwhile nobody would take its
        // buffers, since this thread is busy opening the far side.
        const auto flags =
            pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | (m_mixing ? PA_STREAM_START_CORKED : 0));
        // A null device is the server's default source.
        ok = pa_stream_connect_record(m_stream, source.isEmpty() ? nullptr : source.constData(),
                                      &attr, flags) >= 0;
        bool answered = true;
        ok = ok && waitReady(m_stream, answered);
        if (!answered) {
            errorCode = PA_ERR_TIMEOUT;
            errorText = QString::fromUtf8(pa_strerror(PA_ERR_TIMEOUT));
        }
    }
    if (ok) {
        m_running = true;
        const char* opened = pa_stream_get_device_name(m_stream);
        m_deviceName = opened ? QString::fromUtf8(opened) : QString::fromUtf8(source);
        QString farError;
        if (m_mixing && !openFarSide(options.playDevice, farError)) {
            m_mixer.setFarSideLive(false);
            m_deviceName += QStringLiteral(" (far side not recorded: %1)").arg(farError);
        }
        if (m_mixing) {
            for (pa_stream* side : {m_stream, m_farSide}) {
                if (!side)
                    continue;
                if (pa_operation* uncorked = pa_stream_cork(side, 0, nullptr, nullptr))
                    pa_operation_unref(uncorked);
            }
        }
        if (options.watchMicrophone || options.bothSides) {
            pa_context_set_subscribe_callback(
                m_context,
                [](pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                   void* self) { onSubscription(context, int(type), index, self); },
                this);
            const int mask = (options.watchMicrophone ? PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT : 0) |
                             (options.bothSides ? PA_SUBSCRIPTION_MASK_SINK : 0);
            if (pa_operation* subscribed =
                    pa_context_subscribe(m_context, pa_subscription_mask_t(mask), nullptr, nullptr))
                pa_operation_unref(subscribed);
        }
        if (options.watchMicrophone)
            startWatching(options.ignoredPrograms);
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
    m_watching = false;
    m_users.clear();
    m_toldUser.clear();
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY) {
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        if (pa_operation* unsubscribed =
                pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_NULL, nullptr, nullptr))
            pa_operation_unref(unsubscribed);
    }
    releaseStream(m_farSide);
    m_mixing = false;
    m_farSink = PA_INVALID_INDEX;
    releaseStream(m_stream);
}

bool PulseWaveInput::waitReady(pa_stream* stream, bool& answered)
{
    answered = waitLocked(m_mainloop, m_context, kConnectTimeoutMs, [stream] {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    return answered && pa_stream_get_state(stream) == PA_STREAM_READY;
}

void PulseWaveInput::releaseStream(pa_stream*& stream)
{
    if (!stream)
        return;
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
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

void PulseWaveInput::setFarSideMuted(bool muted)
{
    // The playback's last sound reaches the monitor after it stopped: silent a little longer.
    m_farMutedUntil = muted ? std::numeric_limits<int64_t>::max() : monotonicMs() + kOwnSoundTailMs;
}

void PulseWaveInput::onMoved(pa_stream* stream, void* self)
{
    auto* input = static_cast<PulseWaveInput*>(self);
    if (stream == input->m_stream && input->m_watching)
        input->startWatching(input->m_watchIgnored);
}

void PulseWaveInput::deliver(std::vector<int16_t>&& samples, size_t waitingSamples)
{
    WaveInputBuffer buffer;
    buffer.samples = std::move(samples);
    // Filled when its last sample came, before the samples still waiting behind it.
    buffer.timeMs = monotonicMs() - int64_t(waitingSamples) * 1000 / kSampleRate;
    buffer.session = m_session.load();
    // Mixed buffers come a fragment at a time: the queue keeps the same time in hand.
    const int limit = kQueued + (m_mixing ? kMixedFragmentBuffers : 0);
    if (m_outstanding.load() >= limit) {
        ++m_dropped;
        return;
    }
    ++m_outstanding;
    m_deliver(std::move(buffer));
}

void PulseWaveInput::readAvailable(pa_stream* stream)
{
    const bool farSide = stream == m_farSide && m_farSide;
    if (stream != m_stream && !farSide)
        return;
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            break;
        // A hole in the stream (data null) is lost audio: mixed, it counts as silence, so that
        // the two sides stay aligned.
        const auto* samples = static_cast<const int16_t*>(data);
        const size_t count = bytes / 2;
        if (farSide && (!data || monotonicMs() < m_farMutedUntil.load()))
            m_mixer.pushMonitorSilence(count);
        else if (farSide)
            m_mixer.pushMonitor(samples, count);
        else if (m_mixing && !data)
            m_mixer.pushMicrophoneSilence(count);
        else if (m_mixing)
            m_mixer.pushMicrophone(samples, count);
        else if (data)
            m_filling.insert(m_filling.end(), samples, samples + count);
        pa_stream_drop(stream);
        if (m_mixing) {
            std::vector<int16_t> mixed;
            while (m_mixer.take(mixed))
                deliver(std::move(mixed), m_mixer.microphoneBacklog());
            continue;
        }
        while (m_filling.size() >= static_cast<size_t>(kFrames)) {
            std::vector<int16_t> samplesOut(m_filling.begin(), m_filling.begin() + kFrames);
            m_filling.erase(m_filling.begin(), m_filling.begin() + kFrames);
            deliver(std::move(samplesOut), m_filling.size());
        }
    }
}
