#include "platform/SoundCardCheck.h"

#include <pulse/pulseaudio.h>

#include <QElapsedTimer>
#include <QStringList>

namespace {

constexpr int kTimeoutMs = 5000;

struct Probe {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    QStringList sources; // non-monitor sources, the server's default first
    QString defaultSource;
    bool listed = false;
    bool serverKnown = false;

    ~Probe()
    {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_mainloop_free(loop);
    }

    void iterate()
    {
        if (pa_mainloop_prepare(loop, 100 * 1000) >= 0 && pa_mainloop_poll(loop) >= 0)
            pa_mainloop_dispatch(loop);
    }

    QString error() const
    {
        return QString::fromUtf8(
            pa_strerror(context ? pa_context_errno(context) : PA_ERR_INTERNAL));
    }

    bool alive() const { return PA_CONTEXT_IS_GOOD(pa_context_get_state(context)); }
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata)
{
    auto* probe = static_cast<Probe*>(userdata);
    if (info && info->default_source_name)
        probe->defaultSource = QString::fromUtf8(info->default_source_name);
    probe->serverKnown = true;
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata)
{
    auto* probe = static_cast<Probe*>(userdata);
    if (eol) {
        probe->listed = true;
        return;
    }
    if (info && info->monitor_of_sink == PA_INVALID_INDEX && info->name)
        probe->sources << QString::fromUtf8(info->name);
}

// Opens a record stream from `source` and waits until the server has it running.
bool opensForRecording(Probe& probe, const QString& source, QString& error)
{
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 32000, 1};
    pa_stream* stream = pa_stream_new(probe.context, "Parlune sound card check", &spec, nullptr);
    if (!stream) {
        error = probe.error();
        return false;
    }
    bool ok = false;
    if (pa_stream_connect_record(stream, source.toUtf8().constData(), nullptr, PA_STREAM_NOFLAGS) <
        0) {
        error = probe.error();
    } else {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            if (state == PA_STREAM_READY) {
                ok = true;
                break;
            }
            if (!PA_STREAM_IS_GOOD(state) || !probe.alive()) {
                error = probe.error();
                break;
            }
            if (clock.elapsed() > kTimeoutMs) {
                error = QStringLiteral("The audio server does not open the source");
                break;
            }
            probe.iterate();
        }
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    return ok;
}

} // namespace

SoundCardCheck::Result SoundCardCheck::run()
{
    Result result;
    Probe probe;
    probe.loop = pa_mainloop_new();
    if (probe.loop)
        probe.context = pa_context_new(pa_mainloop_get_api(probe.loop), "Parlune");
    if (!probe.context) {
        result.errorText = QStringLiteral("Cannot create the audio server connection");
        return result;
    }
    if (pa_context_connect(probe.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        result.errorText = probe.error();
        return result;
    }
    QElapsedTimer clock;
    clock.start();
    while (pa_context_get_state(probe.context) != PA_CONTEXT_READY) {
        if (!probe.alive()) {
            result.errorText = probe.error();
            return result;
        }
        if (clock.elapsed() > kTimeoutMs) {
            result.errorText = QStringLiteral("The audio server does not answer");
            return result;
        }
        probe.iterate();
    }

    result.stage = Stage::NoRecording;
    pa_operation* serverInfo = pa_context_get_server_info(probe.context, onServerInfo, &probe);
    pa_operation* sourceList = pa_context_get_source_info_list(probe.context, onSourceInfo, &probe);
    while (!(probe.serverKnown && probe.listed) && probe.alive() && clock.elapsed() < kTimeoutMs)
        probe.iterate();
    for (pa_operation* operation : {serverInfo, sourceList}) {
        if (operation) {
            pa_operation_cancel(operation);
            pa_operation_unref(operation);
        }
    }
    if (!probe.listed) {
        result.errorText =
            probe.alive() ? QStringLiteral("The audio server lists no sources") : probe.error();
        return result;
    }
    if (probe.sources.removeAll(probe.defaultSource) > 0)
        probe.sources.prepend(probe.defaultSource);
    if (probe.sources.isEmpty()) {
        result.errorText = QStringLiteral("No recording device");
        return result;
    }
    for (const QString& source : std::as_const(probe.sources)) {
        QString error;
        if (opensForRecording(probe, source, error)) {
            result.stage = Stage::Passed;
            result.source = source;
            result.errorText.clear();
            return result;
        }
        result.errorText = error;
    }
    return result;
}
