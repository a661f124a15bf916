#include "control/RecorderTransitions.h"

#include <gtest/gtest.h>

namespace {

using T = RecorderTransitions;
using Event = T::Event;
using enum RecorderTransitions::Event;
using enum RecorderTransitions::Action;

constexpr RecorderMode idle{RecorderMode::Idle};
constexpr RecorderMode playing{RecorderMode::Idle, true};
constexpr RecorderMode manual{RecorderMode::Recording};
constexpr RecorderMode manualPlaying{RecorderMode::Recording, true};
constexpr RecorderMode armed{RecorderMode::Armed};
constexpr RecorderMode armedPlaying{RecorderMode::Armed, true};
constexpr RecorderMode call{RecorderMode::AutoRecording};
constexpr RecorderMode callPlaying{RecorderMode::AutoRecording, true};

constexpr T::Facts none{};
constexpr T::Facts paused{.playbackPaused = true};
constexpr T::Facts anotherCall{.callGoesOn = true};
constexpr T::Facts fileInput{.liveInput = false};

struct Row {
    RecorderMode from;
    Event event;
    T::Facts facts;
    RecorderMode next;
    unsigned actions;
};

// clang-format off
const Row kRows[] = {
    // Record starts only from idle, ending a playback, playing or paused, first.
    {idle,          Record,          none,        manual,        StartRecording},
    {idle,          Record,          paused,      manual,        StartRecording | StopPlayback},
    {playing,       Record,          none,        manual,        StartRecording | StopPlayback},
    {manual,        Record,          none,        manual,        None},
    {armed,         Record,          none,        armed,         None},
    {call,          Record,          none,        call,          None},
    // Auto Rec. arms beside a playback and disarms whatever plays.
    {idle,          AutoRecord,      none,        armed,         Arm},
    {playing,       AutoRecord,      none,        armedPlaying,  Arm},
    {manual,        AutoRecord,      none,        manual,        None},
    {manualPlaying, AutoRecord,      none,        manualPlaying, None},
    {armed,         AutoRecord,      paused,      idle,          StopRecorder},
    {armedPlaying,  AutoRecord,      none,        playing,       StopRecorder},
    {call,          AutoRecord,      none,        idle,          StopRecorder},
    {callPlaying,   AutoRecord,      none,        playing,       StopRecorder},
    // Stop ends a playback, playing or paused, before anything else.
    {idle,          Stop,            none,        idle,          StopRecorder},
    {playing,       Stop,            none,        idle,          StopPlayback},
    {manual,        Stop,            none,        idle,          StopRecorder},
    {manualPlaying, Stop,            none,        manual,        StopPlayback},
    {armed,         Stop,            none,        idle,          StopRecorder},
    {armed,         Stop,            paused,      armed,         StopPlayback},
    {armedPlaying,  Stop,            none,        armed,         StopPlayback},
    {call,          Stop,            none,        idle,          StopRecorder},
    {callPlaying,   Stop,            none,        call,          StopPlayback},
    // Ending the recorder (disarm, failure, close) passes a playback of the armed period by.
    {playing,       EndRecording,    none,        idle,          StopPlayback},
    {manual,        EndRecording,    paused,      idle,          StopRecorder},
    {manualPlaying, EndRecording,    none,        manual,        StopPlayback},
    {armed,         EndRecording,    paused,      idle,          StopRecorder},
    {callPlaying,   EndRecording,    none,        playing,       StopRecorder},
    // A call ends any playback; heard while not armed it is ignored.
    {idle,          VoiceDetected,   none,        idle,          None},
    {manual,        VoiceDetected,   none,        manual,        None},
    {armed,         VoiceDetected,   none,        call,          StartCall},
    {armed,         VoiceDetected,   paused,      call,          StartCall | StopPlayback},
    {armedPlaying,  VoiceDetected,   none,        call,          StartCall | StopPlayback},
    {call,          VoiceDetected,   none,        call,          StartCall},
    // A call's file: armed again unless the next call was heard first.
    {call,          CallEnded,       none,        armed,         EndCall},
    {callPlaying,   CallEnded,       none,        armedPlaying,  EndCall},
    {call,          CallEnded,       anotherCall, call,          None},
    {idle,          CallEnded,       none,        idle,          None},
    // The playback's own moves touch only the playing flag.
    {armed,         PlaybackStarted, none,        armedPlaying,  None},
    {manual,        PlaybackStarted, none,        manualPlaying, None},
    {callPlaying,   PlaybackStopped, none,        call,          None},
    {playing,       PlaybackStopped, none,        idle,          None},
    // A lost input ends what cannot come back, and waits armed for a microphone.
    {idle,          InputLost,       fileInput,   idle,          None},
    {playing,       InputLost,       none,        playing,       None},
    {manual,        InputLost,       none,        idle,          StopRecorder | KeepWithoutAsking},
    {armed,         InputLost,       none,        armed,         ShowInputLost},
    {call,          InputLost,       none,        call,          ShowInputLost},
    {call,          InputLost,       fileInput,   idle,          StopRecorder | KeepWithoutAsking},
};
// clang-format on

TEST(RecorderTransitions, EachModeAndEventGivesItsNextModeAndActions)
{
    for (const Row& row : kRows) {
        const T::Outcome outcome = T::decide(row.from, row.event, row.facts);
        const auto where = ::testing::Message() << "mode " << row.from.code() << ", event "
                                                << static_cast<int>(row.event);
        EXPECT_EQ(outcome.next.code(), row.next.code()) << where;
        EXPECT_EQ(outcome.actions, row.actions) << where;
    }
}

} // namespace
