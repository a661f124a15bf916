#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

/// The capture thread's decisions for one buffer, kept apart from devices and threads so that
/// scripted buffers and times can drive them: the level for the meter (at most every 125 ms),
/// and in auto-recording whether a call starts, goes on, ends after the silence time, or is
/// discarded as a bump (voice that stopped within 1000 ms, noticed on the first quiet buffer
/// more than 2000 ms after the call began). Also the 15-minute idle restart.
/// Lifecycle: one per capture thread, used only on that thread. Times are milliseconds of the
/// wave input's clock.
class CaptureDecisions {
public:
    static constexpr int64_t kLevelIntervalMs = 125;
    static constexpr int64_t kAntiBumpVoiceMs = 1000;
    static constexpr int64_t kAntiBumpDiscardMs = 2000;
    static constexpr int64_t kIdleRestartMs = 15 * 60 * 1000;

    /// The values the window may change at any time, read once per buffer.
    struct Params {
        int threshold = 0;
        int silenceSeconds = 0;
        bool antiBump = true;
    };

    struct Level {
        int peak;    ///< highest positive sample since the previous notification
        int minimum; ///< lowest sample of this buffer
    };

    /// What the capture thread must do for a buffer, in this order: post the level, post the
    /// voice notification, tell the writer the call ended (with the discard flag), restart the
    /// capture, close the sample log, then forward the buffer when forwarding() still holds.
    struct Outcome {
        std::optional<Level> level;
        bool voiceDetected = false;
        std::optional<bool> callEnded; ///< set when a call ended: true = discard
        bool restart = false;
    };

    /// Decides for one buffer of `count` samples arriving at `now`.
    Outcome onBuffer(const int16_t* samples, size_t count, int64_t now, const Params& params);
    /// After the buffer's forwarding: true when auto mode has waited 15 minutes since the last
    /// open without a call, so the device is to be restarted (the restart resets the open time).
    bool idleRestartDue(int64_t now, bool recording) const;

    /// The device opened (or a start was asked while it was open): no call is in progress.
    void onStartRequested() { m_inCall = false; }
    void onOpened(int64_t now)
    {
        m_openTime = now;
        // A peak heard before the device closed belongs to no level of this session.
        m_levelPeak = 0;
    }
    void onStopped()
    {
        m_forwarding = false;
        m_microphoneInUse = false;
    }
    /// Another program records from the microphone (a call in a program on this computer):
    /// in auto mode every buffer counts as voice meanwhile, so a call starts at once and ends
    /// the silence time after the program let the microphone go.
    void setMicrophoneInUse(bool inUse) { m_microphoneInUse = inUse; }
    bool microphoneInUse() const { return m_microphoneInUse; }
    void setAutoMode(bool on);

    bool forwarding() const { return m_forwarding; }
    bool inCall() const { return m_inCall; }
    bool autoMode() const { return m_autoMode; }
    bool antiBumpPending() const { return m_antiBumpPending; }

private:
    bool m_autoMode = false;
    bool m_inCall = false;
    bool m_forwarding = false;
    bool m_antiBumpPending = false;
    bool m_microphoneInUse = false;
    int64_t m_callStart = 0;
    int64_t m_lastVoice = 0;
    int64_t m_openTime = 0;
    int m_levelPeak = 0;
    int64_t m_lastLevelTime = 0;
};
