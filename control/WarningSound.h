#pragma once

#include <optional>

/// The warning sound that reminds both sides of a call that it is being recorded, played on a
/// player of its own so that it never disturbs a playback. The RecorderController drives it from
/// its warning timer. UI thread.
class WarningSound {
public:
    virtual ~WarningSound() = default;
    /// Plays the sound from its start: its length in milliseconds (0 when unknown), or nullopt
    /// when it cannot be played.
    virtual std::optional<int> play() = 0;
    /// Stops the sound; nothing when it is silent.
    virtual void stop() = 0;
};
