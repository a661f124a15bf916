#pragma once

#include <QString>

#include <cstddef>
#include <memory>

/// A playback stream of 16-bit signed little-endian interleaved PCM to the audio server's
/// default output.
///
/// Lifecycle: created closed; open() connects and starts a stream; restart() replaces the
/// stream by an empty one (a seek); stop() (or destruction) ends the stream and the
/// connection. Once failed() is true the object stays failed until stop().
///
/// Calling thread: every member except interrupt() is called by one thread at a time (the
/// object may be opened on one thread and then handed to another). interrupt() may be called
/// from any thread, at any time, to make a running wait() return early.
///
/// Nothing here blocks without a bound: a server that disappears or stops answering makes the
/// calls fail within a few seconds, never hang.
class PcmOutput {
public:
    virtual ~PcmOutput() = default;

    /// A stream that talks to the server named by the environment (PULSE_SERVER) or the
    /// user's default server; it never starts a server itself.
    static std::unique_ptr<PcmOutput> createPulseAudio();

    /// Connects and opens a stream of `rate` frames per second and `channels` channels.
    /// False (with errorText()) when there is no server or it refuses the stream.
    virtual bool open(int rate, int channels) = 0;
    /// Drops whatever was queued and not yet played and starts a fresh, uncorked stream:
    /// written and latency start again from zero.
    virtual bool restart() = 0;
    /// Queues as many bytes of `data` as the stream accepts now, without waiting. Returns the
    /// number of bytes taken (a whole number of frames, possibly 0) or -1 on failure.
    virtual long long write(const char* data, size_t bytes) = 0;
    /// Waits at most `timeoutMs` for something to happen (room to write, a timing update, the
    /// end of a drain, interrupt()). False when the stream or the connection has failed.
    virtual bool wait(int timeoutMs) = 0;
    /// Makes a running or the next wait() return at once. Any thread.
    virtual void interrupt() = 0;
    /// Corks (true) or uncorks (false) the stream and waits for the server to confirm, so the
    /// heard position is still once it returns.
    virtual bool setPaused(bool paused) = 0;
    /// Asks the server to play out everything queued; drained() turns true when it has.
    virtual bool startDrain() = 0;
    virtual bool drained() const = 0;
    /// Bytes written to the current stream since open() or restart().
    virtual long long bytesWritten() const = 0;
    /// Microseconds between the last written frame and the frame being heard now, or -1 when
    /// the server has not reported its timing yet.
    virtual long long latencyUs() = 0;
    /// Ends the stream and the connection. Safe to call more than once.
    virtual void stop() = 0;

    virtual bool isOpen() const = 0;
    virtual bool failed() const = 0;
    /// The last failure, in the server library's words.
    virtual QString errorText() const = 0;
};
