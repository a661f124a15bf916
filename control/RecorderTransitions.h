#pragma once

#include "control/RecorderMode.h"

/// The recorder's moves from one mode to the next, kept apart from the threads, the files and
/// the window so that every pair of mode and event can be checked alone: which mode follows and
/// what the RecorderController has to do for it.
class RecorderTransitions {
public:
    enum class Event {
        Record,     ///< the Record command
        AutoRecord, ///< the Auto Rec. command: arms, or disarms as EndRecording
        Stop,       ///< the Stop command: a playback, playing or paused, is all it stops first
        /// Disarming, a failure or the close: ends the recording or the armed period even while
        /// armed with a playback; a playback beside idle or a manual recording is stopped alone.
        EndRecording,
        VoiceDetected,   ///< the capture heard a call begin
        CallEnded,       ///< the file of a call arrived
        PlaybackStarted, ///< a playback starts or resumes
        PlaybackStopped, ///< a playback stops or pauses
        InputLost,       ///< the capture hears nothing any more
    };

    /// What the controller knows beside the mode.
    struct Facts {
        bool playbackPaused = false; ///< a paused playback still holds its recording
        bool callGoesOn = false;     ///< CallEnded: another call was heard before this file
        bool liveInput = true;       ///< InputLost: the input comes back by itself (a microphone)
    };

    /// What the controller does, in this order; None refuses the event.
    enum Action : unsigned {
        None = 0,
        StopPlayback = 1u << 0,   ///< stop the playback, playing or paused
        StartRecording = 1u << 1, ///< a manual recording: its entry, clock and capture
        Arm = 1u << 2,            ///< settings read again, capture started for calls
        StopRecorder = 1u << 3,   ///< stop the capture and name what was recorded
        StartCall = 1u << 4,      ///< a call's entry, clock and warning timer
        EndCall = 1u << 5,        ///< no call runs any more: the Record button goes back
        /// Nothing more can be heard: end as EndRecording, keeping what was heard under its
        /// default name without asking, and say why.
        KeepWithoutAsking = 1u << 6,
        ShowInputLost = 1u << 7, ///< armed: show the loss while the capture reconnects
    };

    struct Outcome {
        RecorderMode next;
        unsigned actions = None;
    };

    /// The outcome of `event` in `mode`.
    static Outcome decide(RecorderMode mode, Event event, const Facts& facts);
    /// The same, knowing nothing beside the mode (no paused playback).
    static Outcome decide(RecorderMode mode, Event event);
    /// The mode a stop of the recorder leaves: idle, with a playback going on still playing.
    static RecorderMode afterStop(RecorderMode mode)
    {
        return RecorderMode(RecorderMode::Idle, mode.playing());
    }
};
