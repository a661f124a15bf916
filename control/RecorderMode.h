#pragma once

/// What the recorder is doing: idle, a manual recording, armed for calls or recording a call,
/// each with or without a recording playing. A value; the RecorderController holds the current
/// one and announces every change. A paused playback does not count as playing.
class RecorderMode {
public:
    enum Kind { Idle, Recording, Armed, AutoRecording };

    constexpr RecorderMode() = default;
    constexpr explicit RecorderMode(Kind kind, bool playing = false)
        : m_kind(kind), m_playing(playing)
    {}

    constexpr Kind kind() const { return m_kind; }
    constexpr bool playing() const { return m_playing; }
    /// The same mode with the playing flag set to `playing`.
    constexpr RecorderMode withPlaying(bool playing) const { return RecorderMode(m_kind, playing); }

    /// A recording runs, manual or a call.
    constexpr bool recording() const { return m_kind == Recording || m_kind == AutoRecording; }
    /// Auto-recording is on, waiting for a call or recording one.
    constexpr bool armed() const { return m_kind == Armed || m_kind == AutoRecording; }
    /// The capture runs: recording or armed.
    constexpr bool capturing() const { return m_kind != Idle; }
    /// The Record command may start a recording.
    constexpr bool allowsRecord() const { return m_kind == Idle; }
    /// A recording may be played: none is being made.
    constexpr bool allowsPlayback() const { return !recording(); }

    /// The mode as one number for logs and icons: 0 idle, 1 playing, 2 recording, 3 recording
    /// while playing, 4 armed, 5 recording a call, 6 armed while playing, 7 recording a call
    /// while playing.
    constexpr int code() const
    {
        constexpr int codes[4][2] = {{0, 1}, {2, 3}, {4, 6}, {5, 7}};
        return codes[m_kind][m_playing ? 1 : 0];
    }

    friend constexpr bool operator==(RecorderMode, RecorderMode) = default;

private:
    Kind m_kind = Idle;
    bool m_playing = false;
};
