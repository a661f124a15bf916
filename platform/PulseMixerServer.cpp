#include "platform/PulseMixerServer.h"

#include "platform/PulseLoopWait.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cstring>
#include <set>

static_assert(int(MixerServer::ErrorInvalid) == int(PA_ERR_INVALID));
static_assert(int(MixerServer::ErrorNoEntity) == int(PA_ERR_NOENTITY));
static_assert(int(MixerServer::ErrorConnectionRefused) == int(PA_ERR_CONNECTIONREFUSED));
static_assert(int(MixerServer::ErrorTimeout) == int(PA_ERR_TIMEOUT));
static_assert(int(MixerServer::ErrorConnectionTerminated) == int(PA_ERR_CONNECTIONTERMINATED));
static_assert(int(MixerServer::ErrorBadState) == int(PA_ERR_BADSTATE));
static_assert(int(MixerServer::ErrorNotSupported) == int(PA_ERR_NOTSUPPORTED));
static_assert(PA_VOLUME_NORM == 65536, "the mixer scale conversion assumes a 16-bit norm");

struct PulseMixerServer::Connection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool running = false;
    bool subscribed = false;
    // Read on the loop's thread, written with the loop locked.
    std::function<void(const MixerChange&)> handler;
};

namespace {

// RAII lock of a threaded main loop.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop)
    {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

void signalLoop(pa_threaded_mainloop* loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

MixerPort toPort(const char* name, const char* description, int available, uint32_t type)
{
    MixerPort port;
    port.name = QString::fromUtf8(name);
    port.description = QString::fromUtf8(description ? description : name);
    port.available = available != PA_PORT_AVAILABLE_NO;
    const QString lower = port.name.toLower();
    port.microphone = type == PA_DEVICE_PORT_TYPE_MIC || type == PA_DEVICE_PORT_TYPE_HEADSET ||
                      lower.contains(QStringLiteral("mic"));
    port.line = !port.microphone &&
                (type == PA_DEVICE_PORT_TYPE_LINE || lower.contains(QStringLiteral("line")));
    return port;
}

// pa_sink_info and pa_source_info share the fields read here.
template <typename Info> MixerDevice toDevice(const Info& info, bool monitor)
{
    MixerDevice device;
    device.index = info.index;
    device.name = QString::fromUtf8(info.name);
    device.description = QString::fromUtf8(info.description ? info.description : info.name);
    device.monitor = monitor;
    device.channels = info.volume.channels;
    device.volume =
        info.volume.channels ? PulseMixerServer::toMixerVolume(info.volume.values[0]) : 0;
    device.muted = info.mute != 0;
    for (uint32_t i = 0; i < info.n_ports; ++i) {
        const auto* port = info.ports[i];
        device.ports.push_back(toPort(port->name, port->description, port->available, port->type));
    }
    if (info.active_port)
        device.activePort = QString::fromUtf8(info.active_port->name);
    return device;
}

MixerChange toChange(MixerObject object, const MixerDevice& device)
{
    return {object, device.index, false, device.volume, device.muted, device.activePort};
}

struct Snapshot {
    MixerState state;
    bool failed = false;
    std::set<uint32_t> loopbackModules;
    std::vector<std::pair<uint32_t, uint32_t>> moduleSources; // owner module, source
    std::vector<std::pair<uint32_t, MixerLoopback>> moduleStreams;
};

struct Outcome {
    bool success = false;
};

void onSuccess(pa_context*, int success, void* data)
{
    static_cast<Outcome*>(data)->success = success != 0;
}

} // namespace

PulseMixerServer::PulseMixerServer(int timeoutMs) : m_timeoutMs(timeoutMs) {}

PulseMixerServer::~PulseMixerServer()
{
    disconnect();
}

uint32_t PulseMixerServer::toServerVolume(uint32_t mixerVolume)
{
    const uint64_t v = std::min<uint32_t>(mixerVolume, 65535);
    return uint32_t((v * PA_VOLUME_NORM + 32767) / 65535);
}

uint32_t PulseMixerServer::toMixerVolume(uint32_t serverVolume)
{
    const uint64_t v = std::min<uint32_t>(serverVolume, PA_VOLUME_NORM);
    return uint32_t((v * 65535 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM);
}

bool PulseMixerServer::connect()
{
    disconnect();
    auto connection = std::make_unique<Connection>();
    connection->loop = pa_threaded_mainloop_new();
    if (!connection->loop) {
        m_lastError = PA_ERR_INTERNAL;
        return false;
    }
    m_connection = std::move(connection);
    Connection& c = *m_connection;
    c.context = pa_context_new(pa_threaded_mainloop_get_api(c.loop), "Parlune");
    if (!c.context) {
        m_lastError = PA_ERR_INTERNAL;
        disconnect();
        return false;
    }
    pa_context_set_state_callback(
        c.context,
        [](pa_context*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); },
        c.loop);
    // Never start a server of our own: no server means no mixer.
    if (pa_context_connect(c.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_lastError = pa_context_errno(c.context);
        disconnect();
        return false;
    }
    if (pa_threaded_mainloop_start(c.loop) < 0) {
        m_lastError = PA_ERR_INTERNAL;
        disconnect();
        return false;
    }
    c.running = true;
    bool ready = false;
    {
        LoopLock lock(c.loop);
        waitLocked(c.loop, c.context, m_timeoutMs, [&] {
            const pa_context_state_t state = pa_context_get_state(c.context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        const pa_context_state_t state = pa_context_get_state(c.context);
        ready = state == PA_CONTEXT_READY;
        if (!ready)
            m_lastError = PA_CONTEXT_IS_GOOD(state) ? PA_ERR_TIMEOUT : pa_context_errno(c.context);
    }
    if (!ready)
        disconnect();
    return ready;
}

void PulseMixerServer::disconnect()
{
    if (!m_connection)
        return;
    Connection& c = *m_connection;
    if (c.context) {
        if (c.running) {
            LoopLock lock(c.loop);
            c.handler = nullptr;
            pa_context_set_subscribe_callback(c.context, nullptr, nullptr);
            pa_context_set_state_callback(c.context, nullptr, nullptr);
            pa_context_disconnect(c.context);
            pa_context_unref(c.context);
        } else {
            pa_context_set_state_callback(c.context, nullptr, nullptr);
            pa_context_disconnect(c.context);
            pa_context_unref(c.context);
        }
        c.context = nullptr;
    }
    if (c.running)
        pa_threaded_mainloop_stop(c.loop);
    pa_threaded_mainloop_free(c.loop);
    m_connection.reset();
}

bool PulseMixerServer::isConnected() const
{
    if (!m_connection || !m_connection->running)
        return false;
    LoopLock lock(m_connection->loop);
    return pa_context_get_state(m_connection->context) == PA_CONTEXT_READY;
}

int PulseMixerServer::lastError() const
{
    return m_lastError;
}

std::optional<MixerState> PulseMixerServer::state()
{
    if (!isConnected()) {
        m_lastError = PA_ERR_BADSTATE;
        return std::nullopt;
    }
    Connection& c = *m_connection;
    Snapshot snapshot;
    LoopLock lock(c.loop);
    std::vector<pa_operation*> operations;
    operations.push_back(pa_context_get_server_info(
        c.context,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* s = static_cast<Snapshot*>(data);
            if (!info) {
                s->failed = true;
                return;
            }
            s->state.serverName = QString::fromUtf8(info->server_name);
            s->state.defaultSink = QString::fromUtf8(info->default_sink_name);
            s->state.defaultSource = QString::fromUtf8(info->default_source_name);
        },
        &snapshot));
    operations.push_back(pa_context_get_sink_info_list(
        c.context,
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* s = static_cast<Snapshot*>(data);
            if (eol < 0)
                s->failed = true;
            else if (!eol && info)
                s->state.sinks.push_back(toDevice(*info, false));
        },
        &snapshot));
    operations.push_back(pa_context_get_source_info_list(
        c.context,
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* s = static_cast<Snapshot*>(data);
            if (eol < 0)
                s->failed = true;
            else if (!eol && info)
                s->state.sources.push_back(
                    toDevice(*info, info->monitor_of_sink != PA_INVALID_INDEX));
        },
        &snapshot));
    operations.push_back(pa_context_get_module_info_list(
        c.context,
        [](pa_context*, const pa_module_info* info, int eol, void* data) {
            auto* s = static_cast<Snapshot*>(data);
            if (eol < 0)
                s->failed = true;
            else if (!eol && info && info->name && std::strcmp(info->name, "module-loopback") == 0)
                s->loopbackModules.insert(info->index);
        },
        &snapshot));
    operations.push_back(pa_context_get_sink_input_info_list(
        c.context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
            auto* s = static_cast<Snapshot*>(data);
            if (eol < 0) {
                s->failed = true;
            } else if (!eol && info && info->owner_module != PA_INVALID_INDEX) {
                MixerLoopback loopback;
                loopback.sinkInputIndex = info->index;
                loopback.moduleIndex = info->owner_module;
                loopback.sinkIndex = info->sink;
                loopback.channels = info->volume.channels;
                loopback.volume = info->volume.channels
                                      ? PulseMixerServer::toMixerVolume(info->volume.values[0])
                                      : 0;
                loopback.muted = info->mute != 0;
                s->moduleStreams.emplace_back(info->owner_module, loopback);
            }
        },
        &snapshot));
    operations.push_back(pa_context_get_source_output_info_list(
        c.context,
        [](pa_context*, const pa_source_output_info* info, int eol, void* data) {
            auto* s = static_cast<Snapshot*>(data);
            if (eol < 0)
                s->failed = true;
            else if (!eol && info && info->owner_module != PA_INVALID_INDEX)
                s->moduleSources.emplace_back(info->owner_module, info->source);
        },
        &snapshot));

    bool complete = true;
    for (pa_operation* op : operations) {
        if (!op) {
            complete = false;
            continue;
        }
        pa_operation_set_state_callback(
            op,
            [](pa_operation*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); },
            c.loop);
    }
    for (pa_operation* op : operations) {
        if (!op)
            continue;
        if (!waitLocked(c.loop, c.context, m_timeoutMs,
                        [&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; })) {
            pa_operation_cancel(op);
            complete = false;
        } else if (pa_operation_get_state(op) != PA_OPERATION_DONE) {
            complete = false;
        }
        pa_operation_unref(op);
    }
    if (!complete || snapshot.failed) {
        const int error = pa_context_errno(c.context);
        m_lastError = error ? error : PA_ERR_TIMEOUT;
        return std::nullopt;
    }
    for (auto& [module, loopback] : snapshot.moduleStreams) {
        if (!snapshot.loopbackModules.count(module))
            continue;
        for (const auto& [owner, source] : snapshot.moduleSources) {
            if (owner == module)
                loopback.sourceIndex = source;
        }
        snapshot.state.loopbacks.push_back(loopback);
    }
    return std::move(snapshot.state);
}

// Runs one operation that reports success, waiting for it a bounded time; the loop is locked.
template <typename Start>
static bool runSuccessOperation(pa_threaded_mainloop* loop, pa_context* context, int timeoutMs,
                                int& lastError, Start start)
{
    Outcome outcome;
    pa_operation* op = start(&outcome);
    if (!op) {
        lastError = pa_context_errno(context);
        return false;
    }
    pa_operation_set_state_callback(
        op, [](pa_operation*, void* l) { signalLoop(static_cast<pa_threaded_mainloop*>(l)); },
        loop);
    const bool finished = waitLocked(loop, context, timeoutMs, [&] {
        return pa_operation_get_state(op) != PA_OPERATION_RUNNING;
    });
    if (!finished)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    if (!finished) {
        lastError = PA_ERR_TIMEOUT;
        return false;
    }
    if (!outcome.success) {
        lastError = pa_context_errno(context);
        return false;
    }
    return true;
}

bool PulseMixerServer::setVolume(MixerObject object, uint32_t index, int channels, uint32_t volume)
{
    if (!isConnected()) {
        m_lastError = PA_ERR_BADSTATE;
        return false;
    }
    if (channels < 1 || channels > int(PA_CHANNELS_MAX)) {
        m_lastError = PA_ERR_INVALID;
        return false;
    }
    pa_cvolume levels;
    pa_cvolume_set(&levels, unsigned(channels), toServerVolume(volume));
    Connection& c = *m_connection;
    LoopLock lock(c.loop);
    return runSuccessOperation(c.loop, c.context, m_timeoutMs, m_lastError, [&](Outcome* outcome) {
        switch (object) {
        case MixerObject::Sink:
            return pa_context_set_sink_volume_by_index(c.context, index, &levels, onSuccess,
                                                       outcome);
        case MixerObject::Source:
            return pa_context_set_source_volume_by_index(c.context, index, &levels, onSuccess,
                                                         outcome);
        case MixerObject::SinkInput:
            break;
        }
        return pa_context_set_sink_input_volume(c.context, index, &levels, onSuccess, outcome);
    });
}

bool PulseMixerServer::setMute(MixerObject object, uint32_t index, bool muted)
{
    if (!isConnected()) {
        m_lastError = PA_ERR_BADSTATE;
        return false;
    }
    Connection& c = *m_connection;
    LoopLock lock(c.loop);
    return runSuccessOperation(c.loop, c.context, m_timeoutMs, m_lastError, [&](Outcome* outcome) {
        switch (object) {
        case MixerObject::Sink:
            return pa_context_set_sink_mute_by_index(c.context, index, muted, onSuccess, outcome);
        case MixerObject::Source:
            return pa_context_set_source_mute_by_index(c.context, index, muted, onSuccess, outcome);
        case MixerObject::SinkInput:
            break;
        }
        return pa_context_set_sink_input_mute(c.context, index, muted, onSuccess, outcome);
    });
}

bool PulseMixerServer::setActivePort(MixerObject object, uint32_t index, const QString& port)
{
    if (object == MixerObject::SinkInput) {
        m_lastError = PA_ERR_NOTSUPPORTED;
        return false;
    }
    if (!isConnected()) {
        m_lastError = PA_ERR_BADSTATE;
        return false;
    }
    const QByteArray name = port.toUtf8();
    Connection& c = *m_connection;
    LoopLock lock(c.loop);
    return runSuccessOperation(c.loop, c.context, m_timeoutMs, m_lastError, [&](Outcome* outcome) {
        return object == MixerObject::Sink
                   ? pa_context_set_sink_port_by_index(c.context, index, name.constData(),
                                                       onSuccess, outcome)
                   : pa_context_set_source_port_by_index(c.context, index, name.constData(),
                                                         onSuccess, outcome);
    });
}

namespace {

void reportDevice(const std::function<void(const MixerChange&)>& handler, MixerObject object,
                  const MixerDevice& device)
{
    if (handler)
        handler(toChange(object, device));
}

void onSubscription(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                    void* data)
{
    auto* c = static_cast<PulseMixerServer::Connection*>(data);
    if (!c->handler)
        return;
    const unsigned facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const unsigned kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    MixerObject object;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK)
        object = MixerObject::Sink;
    else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE)
        object = MixerObject::Source;
    else if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT)
        object = MixerObject::SinkInput;
    else
        return;
    if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        MixerChange change;
        change.object = object;
        change.index = index;
        change.removed = true;
        c->handler(change);
        return;
    }
    // The event says only that something changed: ask for the object's present values.
    pa_operation* op = nullptr;
    switch (object) {
    case MixerObject::Sink:
        op = pa_context_get_sink_info_by_index(
            context, index,
            [](pa_context*, const pa_sink_info* info, int eol, void* d) {
                if (!eol && info)
                    reportDevice(static_cast<PulseMixerServer::Connection*>(d)->handler,
                                 MixerObject::Sink, toDevice(*info, false));
            },
            c);
        break;
    case MixerObject::Source:
        op = pa_context_get_source_info_by_index(
            context, index,
            [](pa_context*, const pa_source_info* info, int eol, void* d) {
                if (!eol && info)
                    reportDevice(static_cast<PulseMixerServer::Connection*>(d)->handler,
                                 MixerObject::Source,
                                 toDevice(*info, info->monitor_of_sink != PA_INVALID_INDEX));
            },
            c);
        break;
    case MixerObject::SinkInput:
        op = pa_context_get_sink_input_info(
            context, index,
            [](pa_context*, const pa_sink_input_info* info, int eol, void* d) {
                auto* conn = static_cast<PulseMixerServer::Connection*>(d);
                if (eol || !info || !conn->handler)
                    return;
                MixerChange change;
                change.object = MixerObject::SinkInput;
                change.index = info->index;
                change.volume = info->volume.channels
                                    ? PulseMixerServer::toMixerVolume(info->volume.values[0])
                                    : 0;
                change.muted = info->mute != 0;
                conn->handler(change);
            },
            c);
        break;
    }
    if (op)
        pa_operation_unref(op);
}

} // namespace

void PulseMixerServer::setChangeHandler(std::function<void(const MixerChange&)> handler)
{
    if (!isConnected())
        return;
    Connection& c = *m_connection;
    LoopLock lock(c.loop);
    c.handler = std::move(handler);
    if (!c.handler || c.subscribed)
        return;
    pa_context_set_subscribe_callback(c.context, onSubscription, &c);
    const auto mask = pa_subscription_mask_t(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT);
    // Waiting for the subscription means no change made after this call goes unreported.
    c.subscribed =
        runSuccessOperation(c.loop, c.context, m_timeoutMs, m_lastError, [&](Outcome* outcome) {
            return pa_context_subscribe(c.context, mask, onSuccess, outcome);
        });
}
