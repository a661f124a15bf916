#pragma once

#include "app/Settings.h"
#include "control/RecorderMode.h"
#include "control/RecorderView.h"
#include "control/RecordingFinisher.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <mutex>

class CRecordSound;
class CWriteSoundFile;
class PlaybackPort;
class RecordingList;
class SpeakerGuard;
class WarningSound;
struct RecordingEntry;

/// The audio services of a RecorderController beside its view, each of which may be null: no
/// warning sound (taken as played), speakers left alone, no playback to stop. They outlive the
/// controller.
struct RecorderServices {
    WarningSound* warningSound = nullptr;
    SpeakerGuard* speakers = nullptr;
    PlaybackPort* playback = nullptr;
};

/// The recording logic of the Recorder window, without widgets: the recorder state, manual
/// recordings, arming and disarming auto-recording, voice detection, the clock and warning
/// timers, and the finishing of every recording into a named ".mp3" of the working folder.
/// It drives the capture and writer threads and shows everything through its RecorderView.
/// It owns the RecorderMode, moved by RecorderTransitions and announced by modeChanged(); the
/// playback tells it through setPlaying() whether a recording plays.
///
/// Lifecycle: constructed on the UI thread with the threads not yet started; start() recovers
/// the folder's leftovers and starts the threads; the commands and setPlaying() below
/// are then called on the UI thread; shutdown() ends what runs, then the threads. The view, the
/// list and the two thread objects outlive it. It never opens the settings file: its owner
/// gives it the settings (applySettings()) and stores what changes.
///
/// A finishing round (the save dialog of a stopped recording or of an arrived call) may run an
/// event loop; the move of an arrived call that waits between attempts is a round too. While it
/// runs, nothing else finishes or removes recordings: a Stop (a writer error, a lost input) waits
/// for the round's end, and so do the threads' notifications; inRound() tells the window, which
/// must hold its own close back until roundEnded().
///
/// When the capture's input is lost, a manual recording ends at once and keeps what was heard
/// under its default name (string 502 says why); while armed, the view shows the loss until the
/// capture has reconnected by itself.
class RecorderController : public QObject {
    Q_OBJECT

public:
    /// The recording clock's period.
    static constexpr int kClockIntervalMs = 100;
    /// The longest wait for the writer to close the file after a stop.
    static constexpr int kStopWaitMs = 1500;
    /// A stop waits this many times kStopWaitMs for the writer (a minute in all), and logs
    /// when the first kStopWaitMs were not enough.
    static constexpr int kStopWaitRounds = 40;

    struct Config {
        QString programFolder; ///< holds the encoder library; ends with "/"
    };

    /// `settings` are the values to start with (see applySettings()).
    RecorderController(RecorderView& view, RecordingList& list, const Settings& settings,
                       CRecordSound& capture, CWriteSoundFile& writer, Config config,
                       RecorderServices services = {});
    ~RecorderController() override;

    /// Recovers the leftovers of the working folder into the list (loaded already; see
    /// recoverLeftovers), gives the writer its folders, starts both threads and shows the idle
    /// display. Once.
    void start();
    /// Disarms or stops (naming the recording), deletes an empty temporary file and ends the
    /// threads (waiting up to 10 s). Once; the controller does nothing afterwards.
    void shutdown();
    /// The first half of shutdown(): disarms or stops (naming the recording). Once.
    void stopForShutdown();
    /// The second half: ends the threads (waiting up to 10 s) and deletes an empty temporary
    /// file; the controller does nothing afterwards. Once.
    void endThreads();
    /// The working folder changed (the list is loaded for it already): recover its leftovers
    /// and let the writer use it from the next file.
    void changeWorkingFolder(const QString& folder);
    /// Takes new settings. Threshold, silence seconds, anti-bump and pre-roll reach the capture
    /// thread at once; both sides and the microphone's use count from the input's next start; the
    /// single-file choice counts from the next arming (an armed period keeps the one it began with,
    /// which the writer shares); a different working folder is taken as changeWorkingFolder() takes
    /// it (the list holds it already). Before start() the values are only kept.
    void applySettings(const Settings& settings);
    /// The warning sound was switched on or off while running. On: an armed recorder silences
    /// the speakers as arming with it does. Off: a warning waiting or sounding is stopped, and
    /// speakers silenced for the armed period get back the volume they had before it.
    void setWarningEnabled(bool enabled);
    /// Recovers the leftovers of the working folder into the list, only while the list holds
    /// the folder; true when any became a recording (the caller shows the list again).
    bool recoverLeftovers();

    /// The Record command, while idle: a playback, playing or paused, is stopped first.
    void StartRecording();
    /// The Auto Rec. command: arms while idle, disarms (as Stop does) while armed.
    void ToggleAutoRecording();
    /// The Stop command. `fromAutoRecord`: it comes from disarming, so a playback going on (or
    /// paused) does not keep the recording from stopping; otherwise a playback going on or
    /// paused is stopped, and nothing else.
    void StopRecording(bool fromAutoRecord = false);
    /// The threshold mark of the level meter was dragged to `threshold`: the capture uses it
    /// at once (storing it is the owner's).
    void OnThresholdDragged(int threshold);
    /// Restores the idle look of the transport and the displays; the Auto Rec. tooltip says
    /// what its next click does (kArmTip or kDisarmTip).
    void UpdateIdleDisplay();

    /// A playback starts or resumes (true), stops or pauses (false).
    void setPlaying(bool playing);

    RecorderMode mode() const { return m_mode; }
    /// A finishing round (a save dialog) is under way.
    bool inRound() const { return m_inRound; }
    /// The strings shown when a recording ends because its input was lost: after part of it
    /// was kept, and when nothing could be heard at all.
    static constexpr int kInputLostString = 502;
    static constexpr int kNothingHeardString = 504;
    /// The warning sound cannot be played; shown at a warning tick, never while the previous
    /// one is still open.
    static constexpr int kWarningFailedString = 298;
    /// The Auto Rec. button's tooltip: what a click does, arm (35) or disarm (36).
    static constexpr int kArmTip = 35;
    static constexpr int kDisarmTip = 36;
    RecordingEntry* recordingInProgress() const { return m_inProgress; }
    /// Test seam: the pause between two attempts to move an arrived file (500 ms).
    void setMoveRetry(int attempts, int delayMs) { m_finisher.setMoveRetry(attempts, delayMs); }

Q_SIGNALS:
    /// The mode changed to `mode`; emitted at once, so observers always hold the current one.
    void modeChanged(RecorderMode mode);
    /// A recording was kept under `name` (its file, tag and index record are written).
    void recordingKept(const QString& name);
    /// The writer failed (string 73) or cannot work (24, 22), or the input was lost during a
    /// manual recording or could not be opened and cannot come back (502, or 504 when nothing
    /// was kept); reported through the view too.
    void recordingFailed(int stringId);
    /// A finishing round has ended (emitted after every round, once nothing of it runs).
    void roundEnded();
    /// Arming begins and is about to take its settings: a receiver connected directly may call
    /// applySettings() to bring in values stored meanwhile.
    void aboutToArm();

private:
    struct Event {
        enum Kind { Voice, File };
        Kind kind = Voice;
        QString path;
        bool discard = false;
        qint64 leadMs = 0; ///< a call's audio from before its voice
    };

    void OnVoiceDetected(qint64 leadMs);
    /// The call settings (both sides, the microphone's use, pre-roll) to the capture, which
    /// the input takes at its next start.
    void applyCallSettings();
    void OnFileReady(const QString& path, bool discard);
    void OnInputLevel(int peak, int minimum);
    void onWriteError(int stringId);
    void onInputLost(const QString& reason);
    void onInputRestored();
    /// Runs one finishing round for `entry`; see inRound().
    RecordingFinisher::Outcome runRound(RecordingEntry& entry, const QString& audioFile);
    /// Ends a round (a save dialog, or the move of an arrived call): a deferred Stop and the
    /// waiting events follow from the event loop, then roundEnded().
    void endRound();
    void showInputLost(bool lost);
    void onFatalError(int stringId);
    void setMode(RecorderMode mode);
    bool playbackPaused() const;
    /// Stops the playback, playing or paused.
    void stopPlayback();
    /// Handles the voice and file notifications in the order the threads raised them.
    void drainEvents();
    void pushEvent(Event event);

    void showRecordingDisplays();
    void startRecordingTimers(bool logWarning = true);
    void onClockTick();
    void onWarningTimer();
    void onWarningEnd();
    void stopWarning();
    void stopWarningSound();
    /// The warning sound started (its length) or could not be played (nullopt).
    void onWarningPlayed(std::optional<int> length);
    void setSpeakersAudible(bool audible);
    void reloadSettingsForArming();
    void finishStoppedRecording();
    void deleteEmptyTemporary();
    bool singleFile() const { return m_armedSingleFile; }

    RecorderView& m_view;
    RecordingList& m_list;
    Settings m_settings;
    /// The single-file choice of the armed period, shared with the writer.
    bool m_armedSingleFile = false;
    CRecordSound& m_capture;
    CWriteSoundFile& m_writer;
    Config m_config;
    RecordingFinisher m_finisher;
    RecorderServices m_services;

    RecorderMode m_mode;
    RecordingEntry* m_inProgress = nullptr;
    /// Auto-recordings waiting for their file: newest at the front, oldest at the back.
    std::deque<RecordingEntry*> m_pending;
    double m_segmentStart = 0;
    QElapsedTimer m_recordingClock;
    bool m_speakersMuted = false;
    bool m_started = false;
    bool m_stoppedForShutdown = false;
    bool m_shutDown = false;
    bool m_draining = false;
    bool m_writeErrorReported = false;
    bool m_inRound = false;
    bool m_stopDeferred = false;       ///< a Stop came during a round
    bool m_keepWithoutAsking = false;  ///< the next round keeps the default name
    bool m_inputLost = false;          ///< armed, and the capture hears nothing
    bool m_warningMessageOpen = false; ///< message 298 waits for its OK
    int m_keptCount = 0;               ///< recordings kept so far
    /// Calls whose voice was seen and whose file has not arrived yet.
    int m_openCalls = 0;
    QString m_shownMinutes;
    QString m_shownSeconds;
    QTimer m_clockTimer;
    QTimer m_warningTimer;
    QTimer m_warningEndTimer;

    // Filled on the worker threads, emptied on the UI thread.
    std::mutex m_eventMutex;
    std::deque<Event> m_events;
};
