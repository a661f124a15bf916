#pragma once

#include "audio/PcmSource.h"
#include "platform/PcmOutput.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

/// Plays one decoded file through a PcmOutput on a playback thread of its own.
///
/// Lifecycle: constructed with its source and output, start() opens the output and starts the
/// thread; the playback then runs until stop() or destruction (which joins the thread). The
/// end of the sound leaves the thread idle with the file still open, so that seek() can play
/// again; a failure of the output ends the thread for good.
///
/// Calling thread: one controlling thread (the UI thread) calls every member; the playback
/// thread only runs run(). seek() and pause() wait (a bounded time) until the playback thread
/// has applied them, so that the position read right after them already tells the result.
/// The position, the flags and the error text are shared through atomics or under m_mutex.
class ClassicPlayer {
public:
    /// Called on the playback thread once, when the sound has played to its end or the output
    /// failed.
    using EndHandler = std::function<void()>;

    ClassicPlayer(std::unique_ptr<PcmSource> source, std::unique_ptr<PcmOutput> output);
    ~ClassicPlayer();
    ClassicPlayer(const ClassicPlayer&) = delete;
    ClassicPlayer& operator=(const ClassicPlayer&) = delete;

    void setEndHandler(EndHandler handler) { m_onEnd = std::move(handler); }

    /// Opens the output and starts playing from `fromMs`; false (with errorText()) at once when
    /// the output cannot be opened. Called once.
    bool start(long long fromMs);
    /// Plays on from `positionMs` (clamped to the length), also after pause() or the end.
    bool seek(long long positionMs);
    /// Holds the sound; the position stays where it was heard.
    bool pause();
    /// Ends the playback and closes the output. Safe to call more than once.
    void stop();

    long long lengthMs() const { return m_lengthMs; }
    /// What has been heard so far, in milliseconds from the start of the sound.
    long long positionMs() const { return m_positionMs.load(); }
    bool finished() const { return m_finished.load(); }
    bool failed() const { return m_failed.load(); }
    QString errorText() const;

private:
    enum class Command { None, Seek, Pause, Stop };

    bool command(Command what, long long positionMs);
    void run();
    bool applySeek(long long positionMs);
    void publishPosition();
    void reportFailure(const QString& text);
    void acknowledge(unsigned serial);

    std::unique_ptr<PcmSource> m_source;
    std::unique_ptr<PcmOutput> m_output;
    EndHandler m_onEnd;
    std::thread m_thread;
    long long m_lengthMs = 0;
    long long m_frameBytes = 2;

    // Playback thread only.
    long long m_baseMs = 0;
    bool m_paused = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_commandPosted;
    std::condition_variable m_commandApplied;
    Command m_command = Command::None;
    long long m_commandPosition = 0;
    unsigned m_serial = 0;
    unsigned m_appliedSerial = 0;
    bool m_commandResult = false;
    QString m_error;

    std::atomic<long long> m_positionMs{0};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_running{false};
};
