#pragma once

#include "platform/CallSidesMixer.h"
#include "platform/MicrophoneUsers.h"
#include "platform/WaveInput.h"

#include <atomic>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_source_output_info;
struct pa_sink_info;
struct DeviceListing;

/// The microphone: a record stream (16-bit mono 32000 Hz) from the chosen record device
/// (setDevice()): for device 0 no source is named, so the stream follows the server's default
/// source; any other number is looked up among the server's sources at start(). Buffers are
/// delivered from the PulseAudio main-loop thread with the wall clock (monotonic milliseconds) of
/// the moment they filled. When kQueued buffers are still out, a filled buffer is dropped, as a
/// device with no free buffer would drop it, so the queue to the capture thread never grows. The
/// connection to the server is made at the first start() and kept until destruction; a connection
/// that went bad is made anew at the next start(). Connecting, listing the sources and opening the
/// stream each wait at most kConnectTimeoutMs: a server that does not answer fails the start()
/// instead of holding the capture thread. A stream or connection that fails while a session runs is
/// reported through the Lost callback. Calling threads as in WaveInput.
///
/// With the call option bothSides, a second record stream takes the monitor of the chosen play
/// device (the far side of a call in a program on this computer) and CallSidesMixer mixes it
/// into the microphone's buffers; where the server applies the sink's software volume to its
/// monitor, the far side is raised by the inverse of that volume, so turning the speakers down
/// does not quieten it. A far side that cannot be opened, or ends, leaves the microphone alone
/// recording. With watchMicrophone, the server's source-output events tell which other
/// programs record from the microphone (MicrophoneUsers); level meters and this process's own
/// streams never count.
class PulseWaveInput : public WaveInput {
public:
    /// The longest wait for the server while connecting, listing the sources or opening the stream.
    static constexpr int kConnectTimeoutMs = 3000;
    /// Buffers the server gathers before it sends them, for each stream of both sides.
    static constexpr int kMixedFragmentBuffers = 4;
    /// How long the far side stays silent after this program's own playback stopped.
    static constexpr int64_t kOwnSoundTailMs = 500;

    explicit PulseWaveInput(Deliver deliver);
    ~PulseWaveInput() override;
    PulseWaveInput(const PulseWaveInput&) = delete;
    PulseWaveInput& operator=(const PulseWaveInput&) = delete;

    bool start(uint32_t& errorCode, QString& errorText) override;
    void stop() override;
    void consumed(const WaveInputBuffer& buffer) override;
    uint64_t session() const override { return m_session.load(); }
    int64_t nowMs() const override;
    void setLost(Lost lost) override { m_lost = std::move(lost); }
    void setMicrophoneUse(MicrophoneUse use) override { m_microphoneUse = std::move(use); }
    void setCallOptions(const CallOptions& options) override { m_options = options; }
    void setFarSideMuted(bool muted) override;
    bool isLive() const override { return true; }
    void setDevice(int device) override { m_device = device; }
    QString deviceName() const override { return m_deviceName; }
    /// The server answers a request within `timeoutMs`.
    bool answers(int timeoutMs) override;

    /// Buffers dropped because the capture thread had not taken the earlier ones.
    uint64_t droppedBuffers() const { return m_dropped.load(); }
    /// The gain the far side gets now (1 without bothSides). Any thread.
    float farSideGain() const { return m_farGain.load(); }

private:
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, size_t bytes, void* self);
    bool connectContext(uint32_t& errorCode, QString& errorText);
    /// The name of the source device `device` stands for; empty for the server's default.
    bool chooseSource(int device, QByteArray& name, uint32_t& errorCode, QString& errorText);
    /// Lists the server's defaults and its sinks (or sources) into `listing`, waiting at most
    /// kConnectTimeoutMs.
    bool listDevices(bool sinks, DeviceListing& listing, uint32_t& errorCode, QString& errorText);
    /// Opens the far side's stream on the monitor of play device `device`; false with the
    /// reason in `error`.
    bool openFarSide(int device, QString& error);
    void startWatching(const QStringList& ignored);
    void takeMicrophoneStream(const pa_source_output_info& info);
    void takeSinkVolume(const pa_sink_info& info);
    void tellMicrophoneUse();
    static void onSubscription(pa_context* context, int type, uint32_t index, void* self);
    /// Delivers a buffer whose last sample came `waitingSamples` samples ago.
    void deliver(std::vector<int16_t>&& samples, size_t waitingSamples);
    static void onMoved(pa_stream* stream, void* self);
    void reportLost(const QString& reason);
    void closeStream();
    /// Waits, connected, until `stream` is ready or failed (at most kConnectTimeoutMs);
    /// `answered` is false when the server did not answer in time.
    bool waitReady(pa_stream* stream, bool& answered);
    /// Disconnects and frees `stream` with no callback left on it; null afterwards.
    static void releaseStream(pa_stream*& stream);
    void dropContext();
    void readAvailable(pa_stream* stream);

    Deliver m_deliver;
    Lost m_lost;
    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_stream* m_farSide = nullptr;
    MicrophoneUse m_microphoneUse;
    CallOptions m_options;          // the thread that calls start()
    std::vector<int16_t> m_filling; // main-loop thread, under its lock
    std::atomic<uint64_t> m_session{0};
    std::atomic<int> m_outstanding{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<int> m_device{0};
    QString m_deviceName; // the thread that calls start()
    // Main-loop thread, under its lock.
    bool m_running = false;     // a session is open and its stream was ready
    uint64_t m_lostSession = 0; // the session reported lost
    CallSidesMixer m_mixer{size_t(kFrames)};
    bool m_mixing = false;            // the far side's stream was opened for this session
    bool m_watching = false;          // microphone users are reported for this session
    uint32_t m_farSink = 0xffffffffu; // the sink whose monitor is the far side
    MicrophoneUsers m_users;
    QString m_toldUser; // the program last reported as using the microphone
    std::atomic<float> m_farGain{1.0f};
    /// Until when (monotonic ms) the far side is taken as silent.
    std::atomic<int64_t> m_farMutedUntil{0};
    QStringList m_watchIgnored; // main-loop thread
};
