#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// Mixes the two sides of a call made on this computer into one mono stream: the microphone
/// (the near side) and the monitor of the speakers (the far side), both 16-bit at the same
/// rate, delivered by two streams that run on their own clocks. Samples are mixed one by one in
/// arrival order, with the far side multiplied by a gain and the sum clipped to 16 bits.
/// A buffer is ready when both sides hold one; a side that stopped delivering (a stalled
/// device, a suspended sink) is taken as silent once the other is kMaxLagFrames ahead, so
/// neither side is ever held back for long. A side that runs slightly faster than the other
/// (two sound cards' clocks) loses its oldest samples one at a time beyond that lag, so the
/// delay between the sides stays bounded. The two streams start at different moments: once
/// both have delivered, the far side is padded with silence at its head (or loses it), so that
/// the latest samples of both sides meet; no sample of the microphone is ever dropped for it.
/// Lifecycle: plain value, used from one thread at a time.
class CallSidesMixer {
public:
    /// How far one side may run ahead of the other (about 144 ms at 32 kHz).
    static constexpr size_t kMaxLagFrames = 4 * 1152;
    /// The highest gain given to the far side (40 dB): beyond it a turned-down sink gives
    /// noise, not speech.
    static constexpr float kMaxGain = 100.0f;

    explicit CallSidesMixer(size_t frames) : m_frames(frames) {}

    void pushMicrophone(const int16_t* samples, size_t count);
    void pushMonitor(const int16_t* samples, size_t count);
    /// `count` samples of the far side taken as silent, keeping the sides aligned.
    void pushMonitorSilence(size_t count);
    /// The far side's gain from now on, clamped to 1..kMaxGain.
    void setMonitorGain(float gain);
    float monitorGain() const { return m_gain; }
    /// Fills `out` with the next mixed buffer of the frame count given at construction; false
    /// when none is ready yet.
    bool take(std::vector<int16_t>& out);
    /// Whether the far side's stream delivers at all: without it the microphone's buffers
    /// pass alone, at once. On at construction and after clear().
    void setFarSideLive(bool live);
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
