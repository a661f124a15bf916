#include "control/RecorderTransitions.h"

using Outcome = RecorderTransitions::Outcome;

namespace {

Outcome endRecording(RecorderMode mode)
{
    // A playback beside a manual recording (or beside nothing) is stopped alone: only a
    // recording started for calls is ended under a playback.
    if (mode.playing() && !mode.armed())
        return {mode.withPlaying(false), RecorderTransitions::StopPlayback};
    return {RecorderTransitions::afterStop(mode), RecorderTransitions::StopRecorder};
}

} // namespace

Outcome RecorderTransitions::decide(RecorderMode mode, Event event)
{
    return decide(mode, event, Facts{});
}

Outcome RecorderTransitions::decide(RecorderMode mode, Event event, const Facts& facts)
{
    const bool playbackLoaded = mode.playing() || facts.playbackPaused;
    switch (event) {
    case Event::Record:
        if (!mode.allowsRecord())
            return {mode, None};
        return {RecorderMode(RecorderMode::Recording),
                StartRecording | (playbackLoaded ? StopPlayback : None)};
    case Event::AutoRecord:
        if (mode.armed())
            return endRecording(mode);
        if (mode.kind() == RecorderMode::Idle)
            return {RecorderMode(RecorderMode::Armed, mode.playing()), Arm};
        return {mode, None};
    case Event::Stop:
        if (playbackLoaded)
            return {mode.withPlaying(false), StopPlayback};
        return {afterStop(mode), StopRecorder};
    case Event::EndRecording:
        return endRecording(mode);
    case Event::VoiceDetected:
        if (!mode.armed())
            return {mode, None};
        return {RecorderMode(RecorderMode::AutoRecording),
                StartCall | (playbackLoaded ? StopPlayback : None)};
    case Event::CallEnded:
        if (!mode.armed() || facts.callGoesOn)
            return {mode, None};
        return {RecorderMode(RecorderMode::Armed, mode.playing()), EndCall};
    case Event::PlaybackStarted:
    case Event::PlaybackStopped:
        return {mode.withPlaying(event == Event::PlaybackStarted), None};
    case Event::InputLost:
        if (!mode.capturing())
            return {mode, None};
        if (mode.kind() == RecorderMode::Recording || !facts.liveInput) {
            Outcome outcome = endRecording(mode);
            outcome.actions |= KeepWithoutAsking;
            return outcome;
        }
        return {mode, ShowInputLost};
    }
    return {mode, None};
}
