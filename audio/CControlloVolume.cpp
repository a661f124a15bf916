#include "audio/CControlloVolume.h"

#include "app/DiagnosticLog.h"
#include "platform/DeviceOrder.h"
#include "platform/PulseMixerServer.h"

#include <QMetaObject>

#include <atomic>

namespace {

// Ids: the kind of object in the top four bits, its server index in the next twenty, and
// the control (1 volume, 2 mute, 3 port selector) or port number in the low eight.
enum IdKind : uint32_t {
    SinkKind = 1,
    SourceKind = 2,
    LoopbackKind = 3,
    SinkPortKind = 4,
    SourcePortKind = 5
};
enum ControlNumber : uint32_t { VolumeControl = 1, MuteControl = 2, SelectorControl = 3 };

constexpr uint32_t kTargetWaveOut = 1;
constexpr uint32_t kTargetWaveIn = 2;

uint32_t kindOf(MixerObject object)
{
    switch (object) {
    case MixerObject::Sink:
        return SinkKind;
    case MixerObject::Source:
        return SourceKind;
    case MixerObject::SinkInput:
        break;
    }
    return LoopbackKind;
}

uint32_t makeId(uint32_t kind, uint32_t index, uint32_t low = 0)
{
    return (kind << 28) | ((index & 0xFFFFFu) << 8) | (low & 0xFFu);
}

uint32_t lineIdOf(MixerObject object, uint32_t index)
{
    return makeId(kindOf(object), index);
}

std::atomic<quintptr> g_nextHandle{1};

QString hex(uint32_t value)
{
    return QString::number(value, 16);
}

QString deviceLabel(const MixerDevice& device)
{
    return QStringLiteral("%1 (%2)").arg(device.description, device.name);
}

const MixerLoopback* loopbackBetween(const MixerState& state, const MixerDevice* source,
                                     const MixerDevice* sink)
{
    if (!source || !sink)
        return nullptr;
    for (const MixerLoopback& loopback : state.loopbacks) {
        if (loopback.sourceIndex == source->index && loopback.sinkIndex == sink->index)
            return &loopback;
    }
    return nullptr;
}

int microphonePort(const MixerDevice& device)
{
    for (size_t i = 0; i < device.ports.size(); ++i) {
        if (device.ports[i].microphone)
            return int(i);
    }
    return -1;
}

} // namespace

CControlloVolume::CControlloVolume(ServerFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory))
{
    if (!m_factory)
        m_factory = [] { return std::make_unique<PulseMixerServer>(); };
    moMixer = m_factory();
}

CControlloVolume::~CControlloVolume()
{
    Close();
}

void CControlloVolume::trace(const QString& text) const
{
    WriteLog(text);
}

CControlloVolume::Line CControlloVolume::lineOf(MixerObject object, const MixerDevice& device)
{
    Line line;
    line.object = object;
    line.index = device.index;
    line.description = device.description;
    line.channels = device.channels;
    line.volume = device.volume;
    line.muted = device.muted;
    line.activePort = device.activePort;
    return line;
}

bool CControlloVolume::Inizializza(QObject* callback, bool input, int deviceId)
{
    std::optional<MixerState> state;
    return initialise(callback, input, deviceId, state);
}

bool CControlloVolume::initialise(QObject* callback, bool input, int deviceId,
                                  std::optional<MixerState>& state)
{
    Close();
    if (!moMixer->connect()) {
        trace(QStringLiteral("[ControlloVolume]::Inizializza mixerOpen error:%1")
                  .arg(moMixer->lastError()));
        moMixer->disconnect();
        return false;
    }
    state = moMixer->state();
    if (!state) {
        trace(QStringLiteral("[ControlloVolume]::Inizializza mixerGetDevCaps error:%1")
                  .arg(moMixer->lastError()));
    } else {
        const auto devices =
            input ? DeviceOrder::recordDevices(*state) : DeviceOrder::playDevices(*state);
        if (devices.empty()) {
            trace(QStringLiteral("[ControlloVolume]::Inizializza mixerOpen error:%1")
                      .arg(MixerServer::ErrorNoEntity));
            moMixer->disconnect();
            return false;
        }
        if (DeviceOrder::effective(deviceId, devices.size()) != deviceId)
            trace(QStringLiteral("[ControlloVolume]::Inizializza dispositivo %1 assente, uso il 0")
                      .arg(deviceId));
    }
    m_handle = g_nextHandle.fetch_add(1);
    m_callback = callback;
    if (callback) {
        const quintptr handle = m_handle;
        // Runs on the connection's thread: only hand the change to this object's thread.
        moMixer->setChangeHandler([this, handle](const MixerChange& change) {
            QMetaObject::invokeMethod(
                this, [this, handle, change] { onServerChange(handle, change); },
                Qt::QueuedConnection);
        });
    }
    return true;
}

bool CControlloVolume::Open(QObject* callback, bool input, uint32_t componentType, int ignored,
                            int deviceId)
{
    Q_UNUSED(ignored);
    trace(QStringLiteral("[ControlloVolume]::Open - INIZIO %1")
              .arg(input ? QStringLiteral("In Entrata") : QStringLiteral("In Uscita")));
    // The server's state fetched to check the device also serves to find the line.
    std::optional<MixerState> state;
    if (!initialise(callback, input, deviceId, state))
        return false;
    trace(QStringLiteral("[ControlloVolume]::Open - Dopo inizializza"));
    m_input = input;
    // The port selector always belongs to the line just opened, never to another source.
    m_selectorId = -1;
    m_microphoneItem = -1;

    Line line;
    if (!input) {
        const MixerDevice* sink =
            state ? DeviceOrder::at(DeviceOrder::playDevices(*state), deviceId) : nullptr;
        const MixerDevice* found = nullptr;
        if (sink && componentType == ComponentDstSpeakers) {
            found = sink;
            line = lineOf(MixerObject::Sink, *sink);
        } else if (sink && componentType == ComponentSrcMicrophone) {
            const MixerDevice* source =
                DeviceOrder::at(DeviceOrder::recordDevices(*state), deviceId);
            if (const MixerLoopback* loopback = loopbackBetween(*state, source, sink)) {
                found = sink;
                line.object = MixerObject::SinkInput;
                line.index = loopback->sinkInputIndex;
                line.description =
                    QStringLiteral("Loopback %1 -> %2").arg(source->description, sink->description);
                line.channels = loopback->channels;
                line.volume = loopback->volume;
                line.muted = loopback->muted;
            }
        }
        if (!found) {
            trace(QStringLiteral(
                "[ControlloVolume]::Open - GetLineInfo con component type non riuscita"));
            return false;
        }
    } else {
        if (!state) {
            trace(QStringLiteral("[ControlloVolume]::Open - Error MMSYSERR_NOERROR"));
            return false;
        }
        const MixerDevice* source = DeviceOrder::at(DeviceOrder::recordDevices(*state), deviceId);
        if (!source) {
            trace(QStringLiteral("[ControlloVolume]::Open - Linea SRC_MICROPHONE non trovata"));
            return false;
        }
        // The chosen source is both the recording destination and its microphone line.
        trace(QStringLiteral("[ControlloVolume]::Open - Scheda trovata '%1'")
                  .arg(source->description));
        trace(QStringLiteral("[ControlloVolume]::Open - Trovati 1 destinazioni"));
        trace(QStringLiteral("[ControlloVolume]::Open - prima del for delle destinazioni"));
        trace(QStringLiteral("[ControlloVolume]::Open - Trovati DEST INFO '%1'")
                  .arg(source->description));
        trace(QStringLiteral("[ControlloVolume]::Open - prima del for delle linee"));
        trace(QStringLiteral("[ControlloVolume]::Open - Trovati LINE INFO '%1'")
                  .arg(source->description));
        trace(QStringLiteral("[ControlloVolume]::Open - Trovato"));
        line = lineOf(MixerObject::Source, *source);
    }
    m_xLine = line;
    trace(QStringLiteral("[ControlloVolume] Aperta linea %1 (%2), canali %3, controlli %4")
              .arg(hex(GetLineId()), line.description)
              .arg(line.channels)
              .arg(2));
    return true;
}

bool CControlloVolume::Close()
{
    const bool wasOpen = m_handle != 0;
    moMixer->setChangeHandler({});
    moMixer->disconnect();
    m_handle = 0;
    m_xLine.reset();
    m_callback = nullptr;
    return wasOpen;
}

uint32_t CControlloVolume::GetLineId() const
{
    return m_xLine ? lineIdOf(m_xLine->object, m_xLine->index) : 0;
}

uint32_t CControlloVolume::GetVolumeControlId() const
{
    return m_xLine ? GetLineId() | VolumeControl : 0;
}

uint32_t CControlloVolume::GetMuteControlId() const
{
    return m_xLine ? GetLineId() | MuteControl : 0;
}

std::optional<MixerDevice> CControlloVolume::currentLine(int& error)
{
    if (!m_handle || !m_xLine) {
        error = MixerServer::ErrorBadState;
        return std::nullopt;
    }
    const auto state = moMixer->state();
    if (!state) {
        error = moMixer->lastError();
        return std::nullopt;
    }
    if (m_xLine->object == MixerObject::SinkInput) {
        for (const MixerLoopback& loopback : state->loopbacks) {
            if (loopback.sinkInputIndex == m_xLine->index) {
                MixerDevice device;
                device.index = loopback.sinkInputIndex;
                device.description = m_xLine->description;
                device.channels = loopback.channels;
                device.volume = loopback.volume;
                device.muted = loopback.muted;
                return device;
            }
        }
    } else {
        const auto& devices = m_xLine->object == MixerObject::Sink ? state->sinks : state->sources;
        for (const MixerDevice& device : devices) {
            if (device.index == m_xLine->index)
                return device;
        }
    }
    error = MixerServer::ErrorNoEntity;
    return std::nullopt;
}

bool CControlloVolume::GetCurrentVolume(uint32_t& value)
{
    int error = m_handle ? MixerServer::ErrorNoEntity : MixerServer::ErrorBadState;
    const auto line = m_xLine ? currentLine(error) : std::nullopt;
    if (!line) {
        trace(QStringLiteral("[ControlloVolume] GetCurrentVolume fallita (%1)").arg(error));
        return false;
    }
    value = line->volume;
    return true;
}

bool CControlloVolume::SetVolume(uint32_t value)
{
    if (!m_handle) {
        trace(QStringLiteral("[ControlloVolume] SetVolume moMixer == NULL"));
        return false;
    }
    if (!m_xLine) {
        trace(QStringLiteral("[ControlloVolume] SetVolume fallita (%1)")
                  .arg(MixerServer::ErrorNoEntity));
        return false;
    }
    if (m_xLine->channels > 10)
        trace(QStringLiteral("[ControlloVolume] ATTENZIONE: m_xLine.cChannels = %1")
                  .arg(m_xLine->channels));
    if (!moMixer->setVolume(m_xLine->object, m_xLine->index, m_xLine->channels,
                            std::min(value, VolumeMax))) {
        trace(QStringLiteral("[ControlloVolume] SetVolume fallita (%1)").arg(moMixer->lastError()));
        return false;
    }
    return true;
}

uint32_t CControlloVolume::GetMax()
{
    if (!m_handle || !m_xLine) {
        trace(QStringLiteral("[ControlloVolume] GetMax fallita (%1)")
                  .arg(MixerServer::ErrorBadState));
        return 0;
    }
    return VolumeMax;
}

uint32_t CControlloVolume::GetMin()
{
    if (!m_handle || !m_xLine) {
        trace(QStringLiteral("[ControlloVolume] GetMin fallita (%1)")
                  .arg(MixerServer::ErrorBadState));
        return 0;
    }
    return VolumeMin;
}

bool CControlloVolume::SetBooleanValue(uint32_t controlId, bool value)
{
    trace(QStringLiteral("[ControlloVolume] Abilitazione controllo id=%1, valore=%2")
              .arg(hex(controlId))
              .arg(int(value)));
    const uint32_t kind = controlId >> 28;
    const uint32_t index = (controlId >> 8) & 0xFFFFFu;
    bool done = false;
    int error = MixerServer::ErrorInvalid;
    if (!m_handle) {
        error = MixerServer::ErrorBadState;
    } else if ((controlId & 0xFFu) == MuteControl && kind >= SinkKind && kind <= LoopbackKind) {
        const MixerObject object = kind == SinkKind     ? MixerObject::Sink
                                   : kind == SourceKind ? MixerObject::Source
                                                        : MixerObject::SinkInput;
        done = moMixer->setMute(object, index, value);
        error = moMixer->lastError();
    }
    if (!done)
        trace(QStringLiteral("[ControlloVolume] Abilitazione controllo FALLITA (%1)").arg(error));
    return done;
}

bool CControlloVolume::GetBooleanValue(uint32_t controlId)
{
    int error = 0;
    if (!m_xLine || controlId != GetMuteControlId())
        return false;
    const auto line = currentLine(error);
    return line && line->muted;
}

QString CControlloVolume::GetControlName(uint32_t controlType) const
{
    if (!m_xLine)
        return {};
    if (controlType == ControlVolume)
        return QStringLiteral("Volume");
    if (controlType == ControlMute)
        return QStringLiteral("Mute");
    return {};
}

bool CControlloVolume::TipoControlloMixerMux(uint32_t& controlType)
{
    int error = 0;
    const auto line =
        m_xLine && m_xLine->object == MixerObject::Source ? currentLine(error) : std::nullopt;
    if (!line) {
        trace(QStringLiteral(
            "Impossibile reperire la LineInfo di DST_WAVEIN dentro TipoControlloMixerMux"));
        return false;
    }
    if (m_selectorId == -1) {
        // A source records from one port at a time: never a MIXER, always a MUX.
        trace(QStringLiteral("[ControlloVolume] Il controllo registrazione è MUX"));
        if (line->ports.empty()) {
            trace(QStringLiteral("Impossibile reperire la LineInfo di CONTROLTYPE_MIXER e "
                                 "CONTROLTYPE_MUX dentro TipoControlloMixerMux"));
            return false;
        }
        m_selectorId = GetLineId() | SelectorControl;
        m_selectorType = ControlMux;
    }
    controlType = m_selectorType;
    m_microphoneItem = microphonePort(*line);
    if (m_microphoneItem < 0) {
        trace(QStringLiteral("[ControlloVolume] Impossibile trovare l'indice del controllo dentro "
                             "TipoControlloMixerMux"));
        return false;
    }
    return true;
}

bool CControlloVolume::AbilitaDisabilitaSulMixer(bool enable, int ignored)
{
    Q_UNUSED(ignored);
    trace(QStringLiteral("[ControlloVolume] Abilitazione sul mixer della linea=%1")
              .arg(hex(GetLineId())));
    int error = 0;
    const auto line = currentLine(error);
    if (!line) {
        trace(QStringLiteral("[ControlloVolume] Abilitazione sul mixer fallito (%1)").arg(error));
        return false;
    }
    // The microphone port: only this source's active port changes, and only when enabling,
    // since a source always has exactly one active port.
    uint32_t type = 0;
    if (m_xLine->object == MixerObject::Source && !line->ports.empty() &&
        TipoControlloMixerMux(type) && enable) {
        const MixerPort& port = line->ports[size_t(m_microphoneItem)];
        if (line->activePort != port.name &&
            !moMixer->setActivePort(MixerObject::Source, m_xLine->index, port.name)) {
            trace(QStringLiteral("[ControlloVolume] Abilitazione sul mixer fallito (%1)")
                      .arg(moMixer->lastError()));
            return false;
        }
    }
    const bool done = SetBooleanValue(GetMuteControlId(), !enable);
    if (!done)
        trace(QStringLiteral(
            "Abilitazione/disabilitazione controllo fallita in AbilitaDisabilitaSulMixer"));
    return done;
}

void CControlloVolume::onServerChange(quintptr handle, const MixerChange& change)
{
    if (handle != m_handle || !m_xLine || !m_callback || change.removed ||
        change.object != m_xLine->object || change.index != m_xLine->index)
        return;
    Line& line = *m_xLine;
    const bool volumeChanged = change.volume != line.volume;
    const bool muteChanged = change.muted != line.muted;
    const bool portChanged =
        change.object != MixerObject::SinkInput && change.activePort != line.activePort;
    line.volume = change.volume;
    line.muted = change.muted;
    if (change.object != MixerObject::SinkInput)
        line.activePort = change.activePort;
    // Ids first: a receiver may close the line while it handles a signal.
    const quintptr mixer = m_handle;
    const uint32_t volumeId = GetVolumeControlId();
    const uint32_t muteId = GetMuteControlId();
    const uint32_t selectorId = GetLineId() | SelectorControl;
    if (volumeChanged)
        Q_EMIT mixerControlChange(mixer, volumeId);
    if (muteChanged && m_handle == mixer)
        Q_EMIT mixerControlChange(mixer, muteId);
    if (portChanged && m_handle == mixer)
        Q_EMIT mixerControlChange(mixer, selectorId);
}

QStringList CControlloVolume::deviceNames(bool input)
{
    QStringList names;
    const auto server = m_factory();
    if (!server->connect())
        return names;
    if (const auto state = server->state()) {
        for (const MixerDevice* device :
             input ? DeviceOrder::recordDevices(*state) : DeviceOrder::playDevices(*state))
            names << device->description;
    }
    server->disconnect();
    return names;
}

void CControlloVolume::LoggaAlberoMixer(bool quiet)
{
    for (const QString& line : AlberoMixer(quiet))
        WriteLog(line);
}

QStringList CControlloVolume::AlberoMixer(bool quiet, bool* serverReached)
{
    QStringList lines;
    const auto tree = [&](const QString& text) {
        if (!quiet)
            lines << text;
    };
    const auto controls = [&](uint32_t lineId, const MixerDevice& device, bool selector) {
        lines << QStringLiteral("\t\t\tControllo Volume %1, id= %2, Type=%3, MultipleItems=0")
                     .arg(device.volume)
                     .arg(hex(lineId | VolumeControl), hex(ControlVolume));
        lines << QStringLiteral("\t\t\tControllo Mute %1, id= %2, Type=%3, MultipleItems=0")
                     .arg(int(device.muted))
                     .arg(hex(lineId | MuteControl), hex(ControlMute));
        if (selector) {
            lines << QStringLiteral("\t\t\tControllo Porta %1, id= %2, Type=%3, MultipleItems=%4")
                         .arg(device.activePort, hex(lineId | SelectorControl), hex(ControlMux))
                         .arg(hex(uint32_t(device.ports.size())));
            lines << QStringLiteral("\t\t\tTrovato Controllo MixerMux");
        }
    };

    tree(QStringLiteral("[LoggaAlberoMixer]"));
    const auto server = m_factory();
    const bool connected = server->connect();
    const auto state = connected ? server->state() : std::nullopt;
    if (serverReached)
        *serverReached = state.has_value();
    if (!state) {
        lines << QStringLiteral("ERROR: Can't open Mixer Device! ");
    } else {
        tree(QStringLiteral("Scheda %1").arg(0));
        unsigned long destination = 0;
        const auto walk = [&](const MixerDevice& device, bool isSink) {
            const MixerObject object = isSink ? MixerObject::Sink : MixerObject::Source;
            const uint32_t lineId = lineIdOf(object, device.index);
            tree(QStringLiteral("Destination #%1 = %2, Tipo=%3")
                     .arg(destination++)
                     .arg(deviceLabel(device),
                          hex(isSink ? ComponentDstSpeakers : ComponentDstWaveIn)));
            controls(lineId, device, !isSink && !device.ports.empty());
            tree(QStringLiteral(" "));
            unsigned long source = 0;
            for (size_t i = 0; i < device.ports.size(); ++i) {
                const MixerPort& port = device.ports[i];
                const uint32_t type = port.microphone ? ComponentSrcMicrophone
                                      : port.line     ? ComponentSrcLine
                                                      : ComponentSrcUndefined;
                tree(QStringLiteral("\tSource #%1 = %2 (%3),  lineID=%4, CompType=%5, Controlli=%6")
                         .arg(source++)
                         .arg(port.description, port.name,
                              hex(makeId(isSink ? SinkPortKind : SourcePortKind, device.index,
                                         uint32_t(i))),
                              hex(type))
                         .arg(0));
                tree(QStringLiteral(
                         "\t\tTipo linea Sorgente %1, Attiva=%2, Disconnessa=%3, dwType=%4")
                         .arg(1)
                         .arg(int(port.name == device.activePort))
                         .arg(int(!port.available))
                         .arg(hex(isSink ? kTargetWaveOut : kTargetWaveIn)));
            }
            if (!isSink)
                return;
            for (const MixerLoopback& loopback : state->loopbacks) {
                if (loopback.sinkIndex != device.index)
                    continue;
                QString from = QString::number(loopback.sourceIndex);
                for (const MixerDevice& s : state->sources) {
                    if (s.index == loopback.sourceIndex)
                        from = s.name;
                }
                const uint32_t loopbackId =
                    lineIdOf(MixerObject::SinkInput, loopback.sinkInputIndex);
                tree(QStringLiteral(
                         "\tSource #%1 = Loopback %2,  lineID=%3, CompType=%4, Controlli=%5")
                         .arg(source++)
                         .arg(from, hex(loopbackId), hex(ComponentSrcMicrophone))
                         .arg(2));
                tree(QStringLiteral(
                         "\t\tTipo linea Sorgente %1, Attiva=%2, Disconnessa=%3, dwType=%4")
                         .arg(1)
                         .arg(1)
                         .arg(0)
                         .arg(hex(kTargetWaveOut)));
                MixerDevice stream;
                stream.volume = loopback.volume;
                stream.muted = loopback.muted;
                controls(loopbackId, stream, false);
                tree(QStringLiteral(" "));
            }
        };
        for (const MixerDevice* sink : DeviceOrder::playDevices(*state))
            walk(*sink, true);
        for (const MixerDevice* source : DeviceOrder::recordDevices(*state))
            walk(*source, false);
    }
    server->disconnect();
    tree(QStringLiteral("[LoggaAlberoMixer end]"));
    return lines;
}
