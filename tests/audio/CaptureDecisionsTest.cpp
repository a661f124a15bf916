#include "audio/CaptureDecisions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int64_t kBufferMs = 36;

std::vector<int16_t> buffer(int16_t peak, int16_t low = -5)
{
    std::vector<int16_t> samples(1152, 0);
    samples[10] = peak;
    samples[20] = low;
    return samples;
}

/// Feeds buffers 36 ms apart and remembers what the capture thread would have done.
struct Script {
    CaptureDecisions decisions;
    CaptureDecisions::Params params{1000, 2, true};
    int64_t now = 0;
    int voices = 0;
    std::vector<bool> callEnds; // discard flags, in order
    int forwarded = 0;
    int levels = 0;

    explicit Script(bool autoMode = true)
    {
        decisions.setAutoMode(autoMode);
        decisions.onStartRequested();
        decisions.onOpened(0);
    }
    void feed(int16_t peak, int64_t milliseconds)
    {
        for (int64_t end = now + milliseconds; now < end;) {
            now += kBufferMs;
            const auto samples = buffer(peak);
            const auto outcome = decisions.onBuffer(samples.data(), samples.size(), now, params);
            voices += outcome.voiceDetected;
            levels += outcome.level.has_value();
            if (outcome.callEnded)
                callEnds.push_back(*outcome.callEnded);
            if (outcome.restart) {
                decisions.onStopped();
                decisions.onStartRequested();
                decisions.onOpened(now);
            }
            forwarded += decisions.forwarding();
        }
    }
};

TEST(CaptureDecisionsLevel, ReportsPeakAndMinimumAtMostEvery125Ms)
{
    CaptureDecisions decisions;
    const auto loud = buffer(20000, -300);
    const auto quiet = buffer(100, -7);
    auto first = decisions.onBuffer(loud.data(), loud.size(), 126, {});
    ASSERT_TRUE(first.level);
    EXPECT_EQ(first.level->peak, 20000);
    EXPECT_EQ(first.level->minimum, -300);
    EXPECT_FALSE(decisions.onBuffer(loud.data(), loud.size(), 200, {}).level);
    // The peak between notifications is kept; the minimum is the current buffer's.
    auto next = decisions.onBuffer(quiet.data(), quiet.size(), 252, {});
    ASSERT_TRUE(next.level);
    EXPECT_EQ(next.level->peak, 20000);
    EXPECT_EQ(next.level->minimum, -7);
}

TEST(CaptureDecisionsLevel, AllNegativeBufferHasPeakZeroAndNeverStartsACall)
{
    Script script;
    script.params.threshold = 1;
    std::vector<int16_t> negative(1152, -30000);
    auto outcome = script.decisions.onBuffer(negative.data(), negative.size(), 200, script.params);
    ASSERT_TRUE(outcome.level);
    EXPECT_EQ(outcome.level->peak, 0);
    EXPECT_FALSE(outcome.voiceDetected);
    EXPECT_FALSE(script.decisions.inCall());
}

TEST(CaptureDecisionsManual, ForwardsEveryBufferWhenAutoModeIsOff)
{
    Script script(false);
    script.feed(0, 360);
    EXPECT_EQ(script.forwarded, 10);
    EXPECT_EQ(script.voices, 0);
}

TEST(CaptureDecisionsAuto, ThresholdReachedStartsACallAndSilenceSecondsEndIt)
{
    Script script;
    script.feed(0, 1008);
    EXPECT_EQ(script.forwarded, 0);
    script.feed(999, 360); // just under the threshold
    EXPECT_EQ(script.voices, 0);
    script.feed(1000, 3024);
    EXPECT_EQ(script.voices, 1);
    EXPECT_TRUE(script.decisions.inCall());
    script.feed(0, 1980); // quiet, but shorter than the silence time: still recorded
    EXPECT_TRUE(script.callEnds.empty());
    EXPECT_TRUE(script.decisions.forwarding());
    script.feed(0, 108);
    ASSERT_EQ(script.callEnds.size(), 1u);
    EXPECT_FALSE(script.callEnds[0]);
    EXPECT_FALSE(script.decisions.inCall());
    EXPECT_FALSE(script.decisions.forwarding());
    // 3024 ms of voice plus the quiet buffers before the end.
    EXPECT_NEAR(script.forwarded * kBufferMs, 3024 + 2000, 2 * kBufferMs);
}

TEST(CaptureDecisionsAuto, SilenceZeroEndsTheCallOnTheFirstQuietBuffer)
{
    Script script;
    script.params = {1000, 0, false};
    script.feed(5000, 360);
    script.feed(0, 36);
    ASSERT_EQ(script.callEnds.size(), 1u);
    EXPECT_FALSE(script.callEnds[0]);
    EXPECT_EQ(script.forwarded, 10);
}

TEST(CaptureDecisionsAntiBump, DiscardsACallWhoseVoiceLastedUnder1000Ms)
{
    Script script;
    script.params = {1000, 3, true};
    script.feed(5000, 504);
    EXPECT_TRUE(script.decisions.antiBumpPending());
    script.feed(0, 1512); // 2016 ms after the start: not yet more than 2000
    EXPECT_TRUE(script.callEnds.empty());
    script.feed(0, 36);
    ASSERT_EQ(script.callEnds.size(), 1u);
    EXPECT_TRUE(script.callEnds[0]);
    EXPECT_FALSE(script.decisions.inCall());
}

// A long call, or a short one with anti-bump off, must be kept.
TEST(CaptureDecisionsAntiBump, KeepsLongCallsAndShortOnesWhenDisabled)
{
    for (const auto& [antiBump, voiceMs] : {std::pair(true, 2160), std::pair(false, 504)}) {
        Script script;
        script.params = {1000, 3, antiBump};
        script.feed(5000, voiceMs);
        EXPECT_FALSE(script.decisions.antiBumpPending());
        script.feed(0, 3060);
        ASSERT_EQ(script.callEnds.size(), 1u);
        EXPECT_FALSE(script.callEnds[0]) << voiceMs;
    }
}

TEST(CaptureDecisionsIdle, RestartsAfter15MinutesWithoutACall)
{
    CaptureDecisions decisions;
    decisions.setAutoMode(true);
    decisions.onOpened(1000);
    EXPECT_FALSE(decisions.idleRestartDue(1000 + CaptureDecisions::kIdleRestartMs - 1, true));
    EXPECT_TRUE(decisions.idleRestartDue(1000 + CaptureDecisions::kIdleRestartMs, true));
    decisions.onOpened(1000 + CaptureDecisions::kIdleRestartMs);
    EXPECT_FALSE(decisions.idleRestartDue(1000 + CaptureDecisions::kIdleRestartMs + 36, true));
}

TEST(CaptureDecisionsIdle, NeverRestartsDuringACallOrInManualMode)
{
    Script script;
    script.feed(5000, 72);
    EXPECT_FALSE(script.decisions.idleRestartDue(CaptureDecisions::kIdleRestartMs * 2, true));
    CaptureDecisions manual;
    manual.onOpened(0);
    EXPECT_FALSE(manual.idleRestartDue(CaptureDecisions::kIdleRestartMs * 2, false));
}

} // namespace

TEST(CaptureDecisionsMicrophoneUse,
     AProgramHoldingTheMicrophoneStartsACallAtOnceAndItsEndStartsTheSilence)
{
    Script script; // silence of 2 s ends a call
    script.feed(0, 500);
    EXPECT_EQ(script.voices, 0);
    script.decisions.setMicrophoneInUse(true);
    script.feed(0, 40);
    EXPECT_EQ(script.voices, 1); // the next buffer, with the microphone silent
    script.feed(0, 5000);        // held longer than any silence: the call goes on
    EXPECT_TRUE(script.callEnds.empty());
    script.decisions.setMicrophoneInUse(false);
    script.feed(0, 1900);
    EXPECT_TRUE(script.callEnds.empty());
    script.feed(0, 200);
    EXPECT_EQ(script.callEnds, std::vector<bool>{false}); // kept, not a bump
    // A stopped input forgets the program: the next session is told again.
    script.decisions.setMicrophoneInUse(true);
    script.decisions.onStopped();
    EXPECT_FALSE(script.decisions.microphoneInUse());
}
