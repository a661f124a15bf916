#pragma once

#include "audio/CaptureDecisions.h"
#include "audio/CaptureLog.h"
#include "platform/WaveInput.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CWriteSoundFile;
class QThread;
class QTimer;

/// The capture thread: owns the wave input (the microphone, or a WAV file in its place),
/// measures every buffer for the level meter, decides in auto-recording when a call starts
/// and ends, and forwards the buffers to keep to the writer thread, which it also ends.
/// Lifecycle: constructed on the UI thread; the fields set and startThread() called there;
/// then driven by posted messages (any thread, handled in order on the capture thread) until
/// endThread() on the UI thread, which also waits for the writer; destroyed on the UI thread.
/// A live input (the microphone) that stops delivering (the audio server went away, the
/// source was unplugged, the stream was killed, or no buffer came for kStallMs and the server
/// no longer answers) ends the capture at once: a call in progress is handed to the writer to be
/// kept, the file is closed and inputLost() tells why. While auto-recording stays armed the input
/// is then opened again after 1 s, 2 s, 5 s and every 5 s until it works (inputRestored()). An
/// input that cannot be opened at a start is reported the same way. Signals are emitted on the
/// capture thread: connect them queued.
///
/// Calls made in a program on this computer: the call options (both sides, the microphone's
/// use by other programs) reach the input at its next start. While armed, the last
/// preRollSeconds() of audio not yet kept wait in memory and open every auto-recording, so
/// that its first word is whole; a program that opens the microphone counts as voice for as
/// long as it holds it.
class CRecordSound : public QObject {
    Q_OBJECT

public:
    /// Makes the wave input, given the callbacks that queue its buffers to this thread.
    using InputFactory =
        std::function<std::unique_ptr<WaveInput>(WaveInput::Deliver, WaveInput::Ended)>;
    /// The audio server's record device chosen with setRecordingDevice().
    static InputFactory microphone();
    /// A WAV file played through the capture path as fast as it is taken.
    static InputFactory wavFile(const QString& path);

    /// `dataFolder` (ending with "/") holds the log and the sample-log switch file.
    CRecordSound(const InputFactory& makeInput, QString dataFolder);
    ~CRecordSound() override;

    /// Starts the thread; the sample log is on when its switch file exists now. Once.
    void startThread();
    /// Posts UWM_THREAD_END, then waits up to `timeoutMs` for this thread and for the writer
    /// it ends; true when both ended in time. UI thread, once, at shutdown.
    bool endThread(int timeoutMs = 10000);

    /// Posts UWM_RECORD_START, UWM_RECORD_STOP, UWM_RECORD_IDLE or UWM_AUTO_RECORD
    /// (wParam 1 = on, 0 = off). Any thread. (UWM_THREAD_END goes through endThread().)
    void postMessage(int message, int wParam = 0);
    /// Posts UWM_SET_WRITER: from then on levels are measured and buffers forwarded to
    /// `writer`, which must outlive this thread.
    void postSetWriter(CWriteSoundFile* writer);

    /// The window's operations.
    void postStartRecording();
    void enableAutoRecording();
    void disableAutoRecording();
    /// Posts UWM_AUTO_RECORD 0 and UWM_RECORD_STOP, then waits until the writer has handled
    /// everything they caused (the file is closed), at most `timeoutMs`; `slow`, when given,
    /// is called once if the wait outlasts `slowMs`; `waiting`, when given, every frame (16 ms)
    /// of the wait, so that the caller can keep its window painted. UI thread.
    bool stopRecordingAndWait(int timeoutMs = 1500, int slowMs = 0,
                              const std::function<void()>& slow = {},
                              const std::function<void()>& waiting = {});

    /// Fields the window writes at any time; read once per buffer.
    void setThreshold(int threshold) { m_threshold = threshold; }
    void setSilenceSeconds(int seconds) { m_silenceSeconds = seconds; }
    void setAntiBump(bool enabled) { m_antiBump = enabled; }
    /// Seconds of audio (0..5, clamped) that open each auto-recording. Any thread.
    void setPreRollSeconds(int seconds) { m_preRollSeconds = std::clamp(seconds, 0, 5); }
    int preRollSeconds() const { return m_preRollSeconds; }
    /// The call options the input takes from its next start on; an armed input with no call in
    /// progress is opened again at once to take them. Any thread.
    void setCallOptions(const WaveInput::CallOptions& options);
    WaveInput::CallOptions callOptions() const;
    /// This program plays a recording (true) or no longer does: its sound on the speakers is
    /// not the far side of a call. Any thread.
    void setOwnPlayback(bool playing) { m_input->setFarSideMuted(playing); }
    /// The record device (DeviceOrder's numbering: 0 = the server's default, a number beyond
    /// the list = 0) the input opens from its next start on (a recording, an arming, a restart
    /// between calls); a session already open keeps its device. Any thread.
    void setRecordingDevice(int device) { m_recordingDevice = device; }
    int recordingDevice() const { return m_recordingDevice; }
    int threshold() const { return m_threshold; }
    int silenceSeconds() const { return m_silenceSeconds; }
    bool antiBump() const { return m_antiBump; }
    /// The input is the microphone (it can be lost and come back), not a file. Any thread.
    bool isLiveInput() const { return m_input->isLive(); }
    /// The device is open and started. Any thread.
    bool isRecording() const { return m_recording.load(); }

Q_SIGNALS:
    /// UWM_VOICE_DETECTED: auto-recording found the first buffer of a call; its first sample
    /// was heard `leadMs` milliseconds before this signal (the pre-roll kept before the voice,
    /// and the time the voice took to reach this thread).
    void voiceDetected(qint64 leadMs);
    /// UWM_INPUT_LEVEL, at most every 125 ms and only when the peak differs from the last one
    /// sent since the start: the peak since the last one (0..32767) and the
    /// lowest sample of the current buffer.
    void inputLevel(int peak, int minimum);
    /// A file input has been taken to its end (never for the microphone).
    void inputEnded();
    /// The input could not be opened, or stopped delivering: nothing is captured now.
    void inputLost(const QString& reason);
    /// A live input lost while armed delivers again.
    void inputRestored();

public:
    /// A live input that delivers nothing for this long counts as lost.
    static constexpr int kStallMs = 1000;

private:
    void handleMessage(int message, int wParam);
    void onStartRecording();
    void onStopRecording();
    void onSoundData(WaveInputBuffer buffer);
    void restartCapture();
    void onThreadEnd();
    /// Opens the input and tells the writer; false (logged) when it cannot be opened.
    bool openInput(QString& error);
    void onInputLost(uint64_t session, const QString& reason);
    void reportInputFailure(const QString& reason);
    void retryInput();
    void checkStall();
    void onMicrophoneUse(uint64_t session, bool inUse, const QString& program);
    /// Keeps `samples` among the last preRollSeconds() of audio not forwarded.
    void keepForPreRoll(std::vector<int16_t>&& samples);

    std::unique_ptr<QThread> m_thread;
    std::atomic<int> m_threshold{0};
    std::atomic<int> m_silenceSeconds{0};
    std::atomic<bool> m_antiBump{true};
    std::atomic<int> m_recordingDevice{0};
    std::atomic<bool> m_recording{false};
    std::atomic<int> m_preRollSeconds{0};
    mutable std::mutex m_optionsMutex;
    WaveInput::CallOptions m_callOptions; // under m_optionsMutex
    bool m_sampleLog = false;

    // Capture thread only (read by endThread() once the thread has ended).
    CWriteSoundFile* m_writer = nullptr;
    /// The writer as the input's reader thread sees it, for the backlog check.
    std::atomic<CWriteSoundFile*> m_backlogWriter{nullptr};
    static constexpr int kMaxWriterBacklog = 280;
    CaptureDecisions m_decisions;
    CaptureLog m_log;
    QTimer* m_retryTimer = nullptr; ///< opens a lost live input again
    QTimer* m_stallTimer = nullptr; ///< watches a live input for buffers
    QElapsedTimer m_sinceBuffer;
    int m_retries = 0;
    int m_shownPeak = -1; ///< the peak last sent with inputLevel, -1 after a start
    std::deque<std::vector<int16_t>> m_preRoll; ///< audio heard while armed, oldest first
    size_t m_preRollSamples = 0;
    std::unique_ptr<WaveInput> m_input;
};
