#pragma once

#include <QString>

/// Tells whether this computer can record: the audio server answers and at least one of its
/// sources that is not a monitor of an output opens for recording. Any thread; each run uses
/// its own short connection and returns within a few seconds whatever the server does.
class SoundCardCheck {
public:
    enum class Stage {
        Passed,       ///< a source opened for recording
        NoConnection, ///< the audio server could not be reached
        NoRecording,  ///< connected, but no non-monitor source opened for recording
    };
    struct Result {
        Stage stage = Stage::NoConnection;
        QString errorText; ///< why it failed, empty when it passed
        QString source;    ///< the name of the source that opened
        bool passed() const { return stage == Stage::Passed; }
    };

    /// Runs the check against the server named by the environment (PULSE_SERVER) or the user's
    /// default server; it never starts a server.
    static Result run();
};
