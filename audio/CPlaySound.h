#pragma once

#include "platform/PcmOutput.h"

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class ClassicPlayer;
class QAudioOutput;

/// Plays one recording (.mp3, or a .wav warning sound) at a time, with positions and lengths
/// in milliseconds; also measures a file's duration and checks that the computer can record.
///
/// Two methods, chosen per Play(): the classic one decodes the file itself (libmpg123, or
/// libsndfile for .wav) and plays it through a PcmOutput on a playback thread; the
/// alternative one hands the file to Qt Multimedia (QMediaPlayer + QAudioOutput). Every other
/// operation follows the method of the last Play().
///
/// Lifecycle: Stopped until a successful Play(), then Loading, then Playing or Paused until
/// StopPlay() (or destruction). Play() never waits for the file to open: it returns at once,
/// and playbackStarted() (the length is known, the audio is heard) or playbackFailed() follows
/// from the event loop. A StopPlay() or a new Play() while loading cancels the load silently. A
/// playback that reaches its end stays open at its end (position = length) until StopPlay();
/// PlayFrom() plays it again. A playback whose audio server goes away ends with playbackFailed(),
/// hasFailed() turns true and its position reads as its length, so a caller polling for the end
/// stops it as it would at the end of the file.
///
/// Calling thread: the UI thread, which owns the object and must run a Qt event loop (the
/// alternative method and the signals need it). The classic playback thread shares only
/// atomics and mutex-guarded state with it, and its signals arrive queued on the UI thread.
class CPlaySound : public QObject {
    Q_OBJECT
public:
    /// Makes the output of a classic playback.
    using OutputFactory = std::function<std::unique_ptr<PcmOutput>()>;

    /// Chooses Qt Multimedia's FFmpeg backend unless QT_MEDIA_BACKEND already names one: the
    /// GStreamer backend Qt picks by default plays nothing on a system without its plugins.
    /// Without `outputFactory` the classic method plays to the audio server.
    explicit CPlaySound(QObject* parent = nullptr, OutputFactory outputFactory = {});
    ~CPlaySound() override;
    CPlaySound(const CPlaySound&) = delete;
    CPlaySound& operator=(const CPlaySound&) = delete;

    /// Starts playing `path` from its start; true when the playback is starting (then
    /// playbackStarted() or playbackFailed() follows). Fails at once when there is no audio
    /// server or the classic method cannot open the file. A playback still open is stopped
    /// first.
    bool Play(const QString& path, bool alternative);
    /// Plays on from `positionMs`: a seek while playing, a resume after PausePlay(), a new
    /// start after the end. True on success.
    bool PlayFrom(long long positionMs);
    /// Closes the playback. Safe in any state.
    void StopPlay();
    /// Holds the playback at the position heard; true on success. While loading, the playback
    /// starts held instead.
    bool PausePlay();
    /// The length of the open file and the position heard, in ms; both 0 when none is open
    /// or it is still loading.
    void GetLengthAndPosition(long long& lengthMs, long long& positionMs) const;
    /// One step forward from the position (or from `overrideMs` when above 0), capped at the
    /// length; with `apply`, plays on from there. Returns the new position, 0 on failure.
    long long FastForward(long long overrideMs, bool apply);
    /// One step back; a result below 0 becomes 1. Otherwise as FastForward().
    long long Rewind(long long overrideMs, bool apply);
    /// Whether the computer can record: the audio server answers and one of its non-monitor
    /// sources opens for recording. Logs the reason when not.
    bool ControlloPresenzaScheda();

    /// The step of FastForward() and Rewind() for a file of `lengthMs`: a fortieth of it,
    /// at least 3,000 and at most 30,000 ms.
    static long long stepFor(long long lengthMs);
    /// The duration of `path` in ms by the classic method, or -1.
    static long long classicDurationMs(const QString& path);

    bool isAlternative() const { return m_alternative; }
    /// A Play() was accepted and not stopped: loading, playing, paused or at its end.
    bool isOpen() const;
    /// Play() was accepted and the file is not open yet.
    bool isLoading() const { return m_loading; }
    /// True once the open playback was ended by a failure rather than by its end.
    bool hasFailed() const;
    QString failureText() const;

Q_SIGNALS:
    /// The playback accepted by Play() is heard now; its length is known.
    void playbackStarted();
    /// The open playback played to its end by itself.
    void playbackEnded();
    /// The playback could not be opened (after Play() returned true) or stopped because the
    /// audio could not be played any more.
    void playbackFailed(const QString& reason);

private:
    bool playClassic(const QString& path);
    bool playAlternative(const QString& path);
    void onClassicEnded();
    void onMediaStatus(QMediaPlayer::MediaStatus status);
    void onLoadTimeout();
    void failLoad();
    void releaseMedia();
    long long step(long long overrideMs, bool apply, bool forward);

    OutputFactory m_outputFactory;
    bool m_alternative = false;
    std::unique_ptr<ClassicPlayer> m_classic;
    std::unique_ptr<QMediaPlayer> m_media;
    std::unique_ptr<QAudioOutput> m_audioOutput;
    bool m_mediaEnded = false;
    bool m_mediaFailed = false;
    QString m_mediaError;
    bool m_endReported = false;
    bool m_loading = false;
    bool m_holdAtStart = false;      ///< paused while loading
    long long m_startPositionMs = 0; ///< sought while loading
    /// Ends a load that never settles.
    QTimer m_loadTimeout;
    /// Counts Play() calls, so that a start queued for a stopped playback is dropped.
    quint64 m_generation = 0;
};
