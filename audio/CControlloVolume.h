#pragma once

#include "platform/MixerServer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

/// One mixer line of the audio server and its volume, mute and port controls:
/// - the speaker line: Open(receiver, false, ComponentDstSpeakers, 0, play device) = a sink;
/// - the microphone monitor line: Open(receiver, false, ComponentSrcMicrophone, 1, device) =
///   the loopback stream that plays the record device into the play device of the same number;
///   found only when such a loopback already exists (none is ever created);
/// - the microphone recording line: Open(receiver, true, ComponentSrcMicrophone, 0, record
///   device) = a source.
/// Devices are numbered as DeviceOrder does, the same numbering the capture uses: play devices
/// are the sinks, record devices the sources that are not monitors; device 0 is the server's
/// default, the others follow in the server's order (deviceNames()), and a device number
/// beyond the list (or negative) opens device 0. Volumes run
/// 0..65535 (65535 = the server's 100 %). Control ids and line ids name a sink, source or
/// loopback stream and one of its controls (volume, mute, port selector); the mixer handle
/// is a number that is new at every open and 0 while closed.
///
/// Failures are logged with the "[ControlloVolume]" lines and the server's error numbers and
/// reported by a false (or 0) result. Nothing waits for the server longer than a few seconds.
///
/// Lifecycle: constructed closed; Open() ... Close() any number of times; destruction closes.
/// Threads: create, call and destroy on one thread with an event loop (the UI thread);
/// mixerControlChange is emitted on that thread.
class CControlloVolume : public QObject {
    Q_OBJECT

public:
    /// Line component types the callers name.
    static constexpr uint32_t ComponentDstSpeakers = 4;
    static constexpr uint32_t ComponentDstWaveIn = 7;
    static constexpr uint32_t ComponentSrcUndefined = 0x1000;
    static constexpr uint32_t ComponentSrcLine = 0x1002;
    static constexpr uint32_t ComponentSrcMicrophone = 0x1003;
    /// Control types.
    static constexpr uint32_t ControlMute = 0x20010002;
    static constexpr uint32_t ControlVolume = 0x50030001;
    static constexpr uint32_t ControlMux = 0x70010001;
    /// The bounds of every volume.
    static constexpr uint32_t VolumeMin = 0;
    static constexpr uint32_t VolumeMax = 65535;

    using ServerFactory = std::function<std::unique_ptr<MixerServer>()>;

    /// `factory` makes the connections to the audio server; empty = PulseAudio.
    explicit CControlloVolume(ServerFactory factory = {}, QObject* parent = nullptr);
    ~CControlloVolume() override;

    /// Connects and finds the line (see the class comment). `callback`, when not null, turns
    /// on mixerControlChange until Close() or until `callback` is destroyed. `ignored` is not
    /// used. True when the line and its volume control were found; on false the connection
    /// may stay open until Close().
    bool Open(QObject* callback, bool input, uint32_t componentType, int ignored, int deviceId);
    /// The connection step of Open(): true when the server answered and has at least one
    /// device of that kind (`deviceId` beyond the list stands for device 0).
    bool Inizializza(QObject* callback, bool input, int deviceId);
    /// True unless nothing was open; the handle becomes 0.
    bool Close();
    bool IsOpen() const { return m_handle != 0; }

    /// The first channel's volume.
    bool GetCurrentVolume(uint32_t& value);
    /// Gives every channel `value` (values above VolumeMax count as VolumeMax).
    bool SetVolume(uint32_t value);
    /// VolumeMax / VolumeMin while a line is open, else 0 (logged).
    uint32_t GetMax();
    uint32_t GetMin();

    /// Selects (or deselects) the microphone as what the line records: on a source with ports
    /// its microphone port becomes the active port (only that source's port changes; disabling
    /// leaves the port alone, since one port is always active), and the line is unmuted
    /// (muted when disabling). The result is the mute's, or false when the port could not be
    /// set. `ignored` is not used.
    bool AbilitaDisabilitaSulMixer(bool enable, int ignored = -1);
    /// The port selector of the recording line (always a MUX: one port is active at a time)
    /// and the microphone port's item; false when the line has no ports or no microphone port.
    bool TipoControlloMixerMux(uint32_t& controlType);
    /// The microphone port's place among the source's ports; -1 until TipoControlloMixerMux
    /// found it.
    int microphoneItem() const { return m_microphoneItem; }

    /// Writes the server's sinks, sources, ports, loopbacks and volumes to the log; with
    /// `quiet` only the control lines.
    void LoggaAlberoMixer(bool quiet);
    /// The lines LoggaAlberoMixer writes; `serverReached` tells whether the server answered.
    QStringList AlberoMixer(bool quiet, bool* serverReached = nullptr);

    /// Switches off the microphone switches. The audio server has none, so this does nothing
    /// and the options page keeps its two check boxes hidden.
    void ResetMicrophoneSwitches() {}

    /// The mute controls are the line's boolean controls.
    bool SetBooleanValue(uint32_t controlId, bool value);
    bool GetBooleanValue(uint32_t controlId);
    /// "Volume" or "Mute" for the open line's control of that type; empty otherwise.
    QString GetControlName(uint32_t controlType) const;

    /// The open line's first channel volume as the server last reported it: at Open(), then
    /// with every change mixerControlChange announces (only while a callback is set); the
    /// server is not asked. nullopt when no line is open.
    std::optional<uint32_t> reportedVolume() const
    {
        return m_xLine ? std::optional<uint32_t>(m_xLine->volume) : std::nullopt;
    }

    quintptr GetMixerHandle() const { return m_handle; }
    /// The open line's volume control id; 0 when no line is open.
    uint32_t GetVolumeControlId() const;
    /// The open line's mute control id; 0 when no line is open.
    uint32_t GetMuteControlId() const;
    /// The open line's id; 0 when no line is open.
    uint32_t GetLineId() const;

    /// The names of the play (or record) devices in device-id order; empty without a server.
    QStringList deviceNames(bool input);

Q_SIGNALS:
    /// A control of the open line changed, by this program or another one.
    void mixerControlChange(quintptr mixerHandle, quint32 controlId);

private:
    struct Line {
        MixerObject object = MixerObject::Sink;
        uint32_t index = 0;
        QString description;
        int channels = 0;
        // What the last change report said, to tell which control changed.
        uint32_t volume = 0;
        bool muted = false;
        QString activePort;
    };

    static Line lineOf(MixerObject object, const MixerDevice& device);
    /// Inizializza, handing back the server state it fetched (empty when it could not).
    bool initialise(QObject* callback, bool input, int deviceId, std::optional<MixerState>& state);
    void trace(const QString& text) const;
    void onServerChange(quintptr handle, const MixerChange& change);
    /// The open line as the server now has it (as a device, also for a loopback).
    std::optional<MixerDevice> currentLine(int& error);

    ServerFactory m_factory;
    std::unique_ptr<MixerServer> moMixer;
    quintptr m_handle = 0;
    std::optional<Line> m_xLine;
    int64_t m_selectorId = -1;
    uint32_t m_selectorType = 0;
    bool m_input = false;
    int m_microphoneItem = -1;
    QPointer<QObject> m_callback;
};
