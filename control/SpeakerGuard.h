#pragma once

/// Keeps the speakers silent while auto-recording is armed with the warning sound on, so that
/// the far side hears the warning sound and nothing else of this computer. UI thread.
class SpeakerGuard {
public:
    virtual ~SpeakerGuard() = default;
    /// Arming (true): remember the speakers' volume and silence them; disarming (false): give
    /// the volume back.
    virtual void muteWhileArmed(bool mute) = 0;
    /// While muted for arming: the remembered volume while the warning sounds (true), silence
    /// again afterwards (false).
    virtual void setAudible(bool audible) = 0;
};
