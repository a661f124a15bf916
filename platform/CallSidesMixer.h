#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// Mixes the two sides of a call made on this computer into one mono stream: the microphone
/// (the near side) and the monitor of the speakers (the far side), both 16-bit at the same
/// rate, delivered by two streams that run on their own clocks. Samples are mixed one by one in
/// arrival order, with the far side multiplied by a gain and the sum clipped to 16 bits.
/// The microphone is the clock: none of its samples is ever dropped.
/// - Once both sides have delivered (at the start, and again after a stall), the shorter side
///   is padded with silence at its head, so that the newest samples of both meet.
/// - A buffer is ready when both sides hold one; a side that stopped delivering (a stalled
///   device, a suspended sink) is taken as silent once the other is two lags (about 0.6 s)
///   ahead, so neither side is held back for long.
/// - Clock drift between two sound cards: a far side more than kMaxLagFrames ahead of the
///   microphone loses its oldest samples beyond that, one behind gets as many samples of
///   silence, a few at a time, so the delay between the sides stays bounded.
/// Lifecycle: plain value, used from one thread at a time.
class CallSidesMixer {
public:
    /// How far one side may run ahead of the other (about 288 ms at 32 kHz): twice the
    /// fragments the server sends both sides in, so their arrival in bursts never counts.
    static constexpr size_t kMaxLagFrames = 8 * 1152;
    /// The highest gain given to the far side (40 dB): beyond it a turned-down sink gives
    /// noise, not speech.
    static constexpr float kMaxGain = 100.0f;

    explicit CallSidesMixer(size_t frames) : m_frames(frames) {}

    void pushMicrophone(const int16_t* samples, size_t count);
    void pushMonitor(const int16_t* samples, size_t count);
    /// `count` samples of the far side taken as silent, keeping the sides aligned.
    void pushMonitorSilence(size_t count);
    /// `count` samples of the microphone lost by the server, taken as silent.
    void pushMicrophoneSilence(size_t count);
    /// The far side's gain from now on, clamped to 1..kMaxGain.
    void setMonitorGain(float gain);
    float monitorGain() const { return m_gain; }
    /// Fills `out` with the next mixed buffer of the frame count given at construction; false
    /// when none is ready yet.
    bool take(std::vector<int16_t>& out);
    /// Whether the far side's stream delivers at all: without it the microphone's buffers
    /// pass alone, at once. On at construction and after clear().
    void setFarSideLive(bool live);
    /// Microphone samples waiting for the far side (their delay before delivery).
    size_t microphoneBacklog() const;
    /// Forgets every queued sample (a new session).
    void clear();

private:
    size_t m_frames;
    float m_gain = 1.0f;
    bool m_farLive = true;
    bool m_aligned = false;
    std::vector<int16_t> m_microphone;
    std::vector<int16_t> m_monitor;
};
