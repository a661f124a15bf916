#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

/// The objects of the audio server that carry a volume.
enum class MixerObject { Sink, Source, SinkInput };

/// One port of a sink or source (a jack or a built-in device behind one sound card).
struct MixerPort {
    QString name;
    QString description;
    /// False when the server knows nothing is plugged into it.
    bool available = true;
    /// A microphone or headset-microphone input.
    bool microphone = false;
    /// A line input.
    bool line = false;
};

/// A sink (play device) or a source (record device) with its volume, mute and ports.
struct MixerDevice {
    uint32_t index = 0;
    QString name;
    QString description;
    /// A source that only records what a sink plays.
    bool monitor = false;
    int channels = 0;
    /// The first channel's volume, 0..65535 (louder than 100 % reads as 65535).
    uint32_t volume = 0;
    bool muted = false;
    std::vector<MixerPort> ports;
    /// The active port's name; empty when the device has no ports.
    QString activePort;
};

/// A loopback module's stream: what one source records, played into one sink.
struct MixerLoopback {
    /// The stream's index among the sink inputs.
    uint32_t sinkInputIndex = 0;
    uint32_t moduleIndex = 0;
    /// UINT32_MAX when the recording half cannot be found.
    uint32_t sourceIndex = UINT32_MAX;
    uint32_t sinkIndex = 0;
    int channels = 0;
    uint32_t volume = 0;
    bool muted = false;
};

/// Everything the mixer lines need to know about the server at one moment.
struct MixerState {
    QString serverName;
    QString defaultSink;
    QString defaultSource;
    /// In the server's order.
    std::vector<MixerDevice> sinks;
    /// In the server's order, monitor sources included.
    std::vector<MixerDevice> sources;
    std::vector<MixerLoopback> loopbacks;
};

/// A sink, source or sink input that changed or went away.
struct MixerChange {
    MixerObject object = MixerObject::Sink;
    uint32_t index = 0;
    bool removed = false;
    uint32_t volume = 0;
    bool muted = false;
    QString activePort;
};

/// A connection to the audio server, reduced to what the mixer lines do with it. Volumes are
/// on the mixer scale 0..65535 (65535 = the server's 100 %). Errors are the server's error
/// numbers (the values below), kept for the log.
///
/// Lifecycle: constructed closed; connect() opens, disconnect() (or destruction) closes, and
/// it may be connected again. Every call but the change handler comes from one thread (the
/// UI thread) and blocks for a bounded time; the change handler runs on the connection's own
/// thread.
class MixerServer {
public:
    /// Error numbers, the same as the server library's.
    enum Error : int {
        ErrorInvalid = 3,
        ErrorNoEntity = 5,
        ErrorConnectionRefused = 6,
        ErrorTimeout = 8,
        ErrorConnectionTerminated = 11,
        ErrorBadState = 15,
        ErrorNotSupported = 19,
    };

    virtual ~MixerServer() = default;

    /// Connects within a few seconds; false (with lastError()) when no server answers.
    virtual bool connect() = 0;
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;
    /// The error number of the last failed call.
    virtual int lastError() const = 0;

    /// The server's sinks, sources and loopbacks; nullopt when the server does not answer.
    virtual std::optional<MixerState> state() = 0;
    /// Gives each of `channels` channels of the object the volume 0..65535.
    virtual bool setVolume(MixerObject object, uint32_t index, int channels, uint32_t volume) = 0;
    virtual bool setMute(MixerObject object, uint32_t index, bool muted) = 0;
    /// Makes `port` the active port of a sink or source; nothing else changes.
    virtual bool setActivePort(MixerObject object, uint32_t index, const QString& port) = 0;

    /// Starts (a handler) or stops (an empty one) change reports while connected. The
    /// handler runs on the connection's thread and must only hand the change on.
    virtual void setChangeHandler(std::function<void(const MixerChange&)> handler) = 0;
};
