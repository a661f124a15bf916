#pragma once

#include "platform/WaveInput.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

/// A WAV file (any rate and channel count that libsndfile reads) played into the capture path
/// in place of the microphone: mixed down to mono, resampled to 32000 Hz by linear
/// interpolation and cut into 1152-frame buffers. Its clock is the audio's own: buffer n
/// (from 0) carries (n + 1) x 36 ms, so a file goes through as fast as the capture thread takes
/// it and yields the same decisions as in real time. Buffers delivered but not consumed when a
/// session stops are delivered again, in order, by the next session, so a restart loses none.
/// A reader thread of its own starts with the object and ends with it. Calling threads as in
/// WaveInput.
class WavFileWaveInput : public WaveInput {
public:
    WavFileWaveInput(const QString& path, Deliver deliver, Ended ended);
    ~WavFileWaveInput() override;
    WavFileWaveInput(const WavFileWaveInput&) = delete;
    WavFileWaveInput& operator=(const WavFileWaveInput&) = delete;

    /// False when the file could not be opened as sound; start() then fails.
    bool isOpen() const { return m_file != nullptr; }

    bool start(uint32_t& errorCode, QString& errorText) override;
    void stop() override;
    void consumed(const WaveInputBuffer& buffer) override;
    uint64_t session() const override;
    int64_t nowMs() const override;
    void setBacklog(std::function<bool()> behind) override { m_behind = std::move(behind); }

private:
    struct Pending {
        int64_t timeMs;
        std::vector<int16_t> samples;
    };

    void run();
    /// Reads the next buffer from the file (reader thread only); empty at the end.
    std::vector<int16_t> readBuffer();
    bool pullSource(float& sample);

    Deliver m_deliver;
    Ended m_ended;
    std::function<bool()> m_behind;
    void* m_file = nullptr; // SNDFILE*, kept opaque here
    QString m_openError;
    int m_channels = 1;
    int m_sourceRate = kSampleRate;

    // Reader thread only.
    std::vector<float> m_block;
    size_t m_blockPos = 0;
    size_t m_blockLen = 0;
    bool m_sourceDone = false;
    bool m_primed = false;
    bool m_finished = false; // the last buffer has been made
    float m_s0 = 0;
    float m_s1 = 0;
    double m_t = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_quit = false;
    bool m_eof = false;
    bool m_endedSent = false;
    uint64_t m_session = 0;
    int64_t m_nextTimeMs = kBufferMs;
    int64_t m_consumedMs = 0;
    std::deque<Pending> m_unconsumed;
    std::deque<Pending> m_replay;
    std::thread m_thread;
};
