#pragma once

#include "control/PlaybackPort.h"
#include "control/RecorderMode.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CPlaySound;
class MessagePresenter;
class QWidget;
class RecorderLayout;
struct RecordingEntry;

/// The play, pause, resume, stop, seek and step logic of the Recorder window's transport bar.
/// It drives the layout's widgets (Play, Pause, Stop, fast forward and rewind buttons, the
/// position bar, the time displays 1186/1187/1188, the mode label, the status icon, the level
/// meter and the volume slider) and the window's player, and owns no widget.
///
/// Lifecycle: created by the window after its layout and player, destroyed before them. Idle
/// until Play(); then playing or paused until Stop(), which the end of the file, a failed
/// playback, a new Play() of another recording and the window's Stop command all reach.
/// Whether a recording plays is this class's alone: playbackRunning() tells the recorder. The
/// recorder's mode comes in through setRecorderMode() (a recording forbids a new playback, the
/// armed status icon comes back when the displays are hidden); without it the recorder counts as
/// idle. The recorder stops a playback through PlaybackPort.
///
/// Calling thread: the UI thread only; the play timer and the player's signals run there.
class PlaybackControls : public QObject, public PlaybackPort {
    Q_OBJECT
public:
    /// Period of the play timer that follows the position and detects the end.
    static constexpr int TimerPeriodMs = 450;

    /// Connects to the layout's Fast forward / Fast rewind repeats, to the position bar's
    /// seek requests and to the player's end and failure signals. `alternativePlaying` is
    /// asked at each new playback (setting "PlayAlternativo").
    PlaybackControls(RecorderLayout& layout, CPlaySound& player, MessagePresenter& messages,
                     QWidget* window, std::function<bool()> alternativePlaying);
    ~PlaybackControls() override;
    PlaybackControls(const PlaybackControls&) = delete;
    PlaybackControls& operator=(const PlaybackControls&) = delete;

    /// The play command (Play button, double-click on a row). While paused on `entry` (or
    /// with `entry` null) resumes at the pause position; while playing, or paused on another
    /// recording, stops first and plays `entry` from its start. Does nothing for a null
    /// entry with nothing paused, during a recording without playback, or
    /// for an entry being recorded. A protected entry is not played: protectedPlayRequested
    /// is emitted so that the window asks for its key word and then calls PlayDecoded().
    void Play(RecordingEntry* entry);
    /// Plays the decoded copy folder + name + ".prl" of the protected `entry`, which the
    /// key-word flow has written; Stop() deletes that copy.
    void PlayDecoded(RecordingEntry* entry);
    /// The Pause button: pauses a playing recording; resumes a paused one.
    void Pause();
    /// Stops the playback (Stop command, Stop button while playing, before a rename or a
    /// delete of the playing recording). Safe when idle.
    void Stop();
    /// One step forward (ControlId::FastForward) or back (ControlId::FastRewind): a fortieth
    /// of the length, 3 to 30 s; while paused only the pause position moves.
    void Step(int controlId);
    /// Jumps to `seconds` on the position bar's scale; while paused only the pause position
    /// moves.
    void Seek(int seconds);

    /// The recording loaded in the player (playing or paused), or null.
    RecordingEntry* playingRecording() const { return m_playing; }
    /// True while a recording plays (not paused).
    bool isPlaying() const { return m_active; }
    /// True while a recording is paused.
    bool isPaused() const { return m_paused; }
    /// The position at which the playback was paused, in ms (0 when not paused).
    long long pausePosition() const { return m_paused ? m_pausePosition : 0; }
    /// The position bar's range: the playing recording's length in whole seconds.
    int playLength() const { return m_playLength; }

    bool playbackPaused() const override { return m_paused; }
    void stopPlayback() override { Stop(); }
    /// The recorder's mode changed (RecorderController::modeChanged).
    void setRecorderMode(RecorderMode mode) { m_mode = mode; }

Q_SIGNALS:
    /// A recording starts or resumes playing (true), stops or pauses (false).
    void playbackRunning(bool playing);
    /// The playing recording changed: the list view draws the playing image on its row, or
    /// (null) restores the row of the recording that stopped.
    void playingChanged(RecordingEntry* entryOrNull);
    /// Play() met a protected recording; the window asks for its key word.
    void protectedPlayRequested(RecordingEntry* entry);
    /// Play() is about to load `entry` anew (not a resume, not a recording in progress),
    /// before its protection is looked at: the list reads it again from its file and rewrites
    /// its row, so that what is played is what the file now holds. Needs a direct connection.
    void newPlaybackStarting(RecordingEntry* entry);

private:
    void start(RecordingEntry* entry, bool decoded);
    void resume();
    void onPlayerStarted();
    void showLength();
    void onTick();
    void showPlayingLook();
    void showDisplays();
    void hideDisplays();
    void showTime(long long seconds);
    QString playFile(const RecordingEntry& entry, bool decoded) const;

    RecorderLayout& m_layout;
    CPlaySound& m_player;
    MessagePresenter& m_messages;
    QWidget* m_window;
    std::function<bool()> m_alternativePlaying;
    RecorderMode m_mode;
    QTimer m_timer;
    RecordingEntry* m_playing = nullptr;
    bool m_decoded = false;
    bool m_active = false;
    bool m_paused = false;
    long long m_pausePosition = 0;
    int m_playLength = 0;
};
