#pragma once

#include <functional>
#include <optional>

/// The warning sound that reminds both sides of a call that it is being recorded, played on a
/// player of its own so that it never disturbs a playback. The RecorderController drives it from
/// its warning timer. UI thread.
class WarningSound {
public:
    virtual ~WarningSound() = default;
    /// How a play() ended up: heard, lasting `lengthMs` (0 when unknown), or not playable
    /// (nullopt).
    using Outcome = std::function<void(std::optional<int> lengthMs)>;
    /// Plays the sound from its start. `outcome` is called once, at once or from the event loop
    /// (a file may take a moment to open), unless stop() or another play() comes first.
    virtual void play(Outcome outcome) = 0;
    /// Stops the sound, and a play() still opening its file; nothing when it is silent.
    virtual void stop() = 0;
};
