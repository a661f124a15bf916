#pragma once

/// The playback of a recording as the recorder sees it: a recording, a call or a Stop ends it.
/// Whether it plays reaches the RecorderController through setPlaying(). UI thread.
class PlaybackPort {
public:
    virtual ~PlaybackPort() = default;
    /// A playback is paused: it holds its recording, yet nothing plays.
    virtual bool playbackPaused() const = 0;
    /// Stops the playback, playing or paused; nothing when there is none.
    virtual void stopPlayback() = 0;
};
