#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

/// One filled capture buffer: exactly WaveInput::kFrames mono 16-bit samples at 32000 Hz.
struct WaveInputBuffer {
    std::vector<int16_t> samples;
    int64_t timeMs = 0;   ///< the input's clock when the buffer was filled
    uint64_t session = 0; ///< the start() it belongs to; buffers of an older session are stale
};

/// A source of captured sound for the capture thread: the microphone (the chosen record
/// device of the audio server) or a WAV file. It delivers filled buffers of 1152 frames through the
/// callback given at construction, from a thread of its own; the callback only queues the
/// buffer for the capture thread. At most kQueued buffers of one session are out at a time:
/// a buffer's slot comes back when the capture thread calls consumed().
/// Lifecycle: constructed on any thread, then start()/stop() any number of times and
/// consumed()/nowMs() from the capture thread only; destroyed on the capture thread's owner
/// after the last stop(). The callback is never called after stop() returns or during the
/// destructor.
class WaveInput {
public:
    static constexpr int kFrames = 1152;
    static constexpr int kSampleRate = 32000;
    static constexpr int kQueued = 6;
    /// Milliseconds of audio in one buffer (1152 / 32000 s).
    static constexpr int64_t kBufferMs = 36;

    using Deliver = std::function<void(WaveInputBuffer&&)>;
    /// Called once when a file input has delivered its last buffer (never for the microphone).
    using Ended = std::function<void()>;
    /// Called from the input's own thread when the session `session` stopped delivering for
    /// good (the audio server went away, the source was unplugged, the stream was killed),
    /// with the reason in words. At most once per session.
    using Lost = std::function<void(uint64_t session, const QString& reason)>;
    /// Called from the input's own thread when another program starts (`inUse` true, with
    /// its name) or stops using the microphone of session `session`; once at the start of a
    /// session that finds it in use already.
    using MicrophoneUse = std::function<void(uint64_t session, bool inUse, const QString& program)>;

    /// How a live input takes calls made in a program on this computer.
    struct CallOptions {
        /// Mix the monitor of play device `playDevice` (the far side) into the microphone.
        bool bothSides = false;
        int playDevice = 0; ///< DeviceOrder's numbering of the play devices
        /// Report other programs' record streams on the microphone through MicrophoneUse.
        bool watchMicrophone = false;
        QStringList ignoredPrograms; ///< their streams are never reported
        bool operator==(const CallOptions&) const = default;
    };

    virtual ~WaveInput() = default;

    /// Opens the input and starts a new session. On failure returns false and fills `errorCode`
    /// and `errorText` with the cause.
    virtual bool start(uint32_t& errorCode, QString& errorText) = 0;
    /// Ends the session; buffers already delivered for it are stale.
    virtual void stop() = 0;
    /// The capture thread has taken `buffer`: its slot is free again.
    virtual void consumed(const WaveInputBuffer& buffer) = 0;
    /// The current session number (the one start() opened last).
    virtual uint64_t session() const = 0;
    /// The input's clock in milliseconds: wall time for the microphone, audio time for a file.
    virtual int64_t nowMs() const = 0;
    /// Tells an input that reads faster than real time when the work downstream is behind, so
    /// that it waits instead of piling audio up in memory. Live inputs ignore it. Called once,
    /// before start(); `behind` is called from the input's own thread.
    virtual void setBacklog(std::function<bool()> behind) { (void)behind; }
    /// The record device the next start() opens, numbered as DeviceOrder numbers record
    /// devices: 0 is the server's default (followed as the desktop changes it), a number beyond
    /// the list (or a device gone) is 0. A session already open keeps its device. Inputs with
    /// no choice of device ignore it. Called before start(), from the thread that calls it.
    virtual void setDevice(int device) { (void)device; }
    /// The name of the device the last successful start() opened, for the log; empty for an
    /// input with no choice of device. The thread that calls start().
    virtual QString deviceName() const { return {}; }
    /// Where a live input reports a lost session. Called once, before start().
    virtual void setLost(Lost lost) { (void)lost; }
    /// Where a live input reports the microphone's use by other programs. Called once,
    /// before start().
    virtual void setMicrophoneUse(MicrophoneUse use) { (void)use; }
    /// The call options the next start() takes; a session already open keeps its own. Inputs
    /// that are no device ignore them. Called before start(), from the thread that calls it.
    virtual void setCallOptions(const CallOptions& options) { (void)options; }
    /// While this program plays a sound of its own (a recording), the far side is taken as
    /// silent, so that the playback neither starts nor fills a recording. Any thread.
    virtual void setFarSideMuted(bool muted) { (void)muted; }
    /// True for an input fed by a device that can go away and come back (the microphone):
    /// the capture watches it for silence of the stream itself and reconnects. False for a
    /// file, which is read once and can only end.
    virtual bool isLive() const { return false; }
    /// A live input whose buffers stopped coming: whether its device still answers within
    /// `timeoutMs` (a source nobody feeds may go quiet without being lost). Capture thread; may
    /// wait that long.
    virtual bool answers(int timeoutMs) { return (void)timeoutMs, true; }
};
