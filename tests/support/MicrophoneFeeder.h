#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

/// Feeds the private server's fake microphone at the pace of a real one (its FIFO has no
/// clock of its own), from a thread of its own because writing to the FIFO may block. Writes
/// queued speech first, else a 440 Hz tone or silence. Lives for one test; the thread ends
/// with the object.
class MicrophoneFeeder {
public:
    explicit MicrophoneFeeder(bool tone);
    ~MicrophoneFeeder();
    MicrophoneFeeder(const MicrophoneFeeder&) = delete;
    MicrophoneFeeder& operator=(const MicrophoneFeeder&) = delete;

    void setTone(bool tone) { m_tone = tone; }
    /// The seconds of tone written so far.
    double toneSeconds() const { return double(m_tonePieces.load()) / 100; }
    /// Queues the 32 kHz mono samples of `wav` (any WAV; converted with sox) to be spoken
    /// next; false when it cannot be read.
    bool speak(const QString& wav, const QString& workFolder);
    /// True while queued speech remains to be written.
    bool speaking() const;

    /// The microphone is there, heard whole (other tests change its volume) and holds no sound
    /// left from an earlier test.
    static bool prepare();
    /// Whether some program is recording from the server (its stream is connected).
    static bool streamConnected();
    /// Whether some program is playing to the server (its stream is connected).
    static bool playbackConnected();

private:
    void feed();

    std::atomic<bool> m_tone;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_tonePieces{0};
    mutable std::mutex m_mutex;
    std::deque<int16_t> m_speech;
    std::thread m_thread;
};
