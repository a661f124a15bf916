#include "platform/CallSidesMixer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

constexpr size_t kFrames = 1152;

std::vector<int16_t> samples(size_t count, int16_t value)
{
    return std::vector<int16_t>(count, value);
}

} // namespace

TEST(CallSidesMixer, MixesBothSidesSampleBySampleWithTheFarSideGainAndClipping)
{
    CallSidesMixer mixer(kFrames);
    mixer.setMonitorGain(4.0f);
    std::vector<int16_t> near(kFrames), far(kFrames);
    std::iota(near.begin(), near.end(), int16_t(-500));
    std::fill(far.begin(), far.end(), int16_t(100));
    far[7] = 9000;  // 36000 with the gain: clipped
    far[8] = -9000; // clipped on the other side
    mixer.pushMicrophone(near.data(), near.size());
    std::vector<int16_t> out;
    EXPECT_FALSE(mixer.take(out)); // the far side has not delivered yet
    mixer.pushMonitor(far.data(), far.size());
    ASSERT_TRUE(mixer.take(out));
    ASSERT_EQ(out.size(), kFrames);
    EXPECT_EQ(out[0], -500 + 400);
    EXPECT_EQ(out[7], 32767);
    EXPECT_EQ(out[8], -32768);
    EXPECT_EQ(out[1000], 500 + 400);
    EXPECT_FALSE(mixer.take(out));
}

TEST(CallSidesMixer, TheFarSideStartingLateIsSilentBeforeItsStartAndNoMicrophoneSampleIsLost)
{
    CallSidesMixer mixer(kFrames);
    const auto early = samples(3 * kFrames, 1000);
    mixer.pushMicrophone(early.data(), early.size());
    const auto far = samples(kFrames, 50);
    mixer.pushMonitor(far.data(), far.size());
    // Latest meets latest: the far side's samples meet the microphone's last buffer.
    std::vector<int16_t> out;
    std::vector<int16_t> all;
    while (mixer.take(out))
        all.insert(all.end(), out.begin(), out.end());
    mixer.pushMonitor(far.data(), far.size());
    mixer.pushMonitor(far.data(), far.size());
    const auto late = samples(2 * kFrames, 2000);
    mixer.pushMicrophone(late.data(), late.size());
    while (mixer.take(out))
        all.insert(all.end(), out.begin(), out.end());
    ASSERT_EQ(all.size(), 5 * kFrames);
    EXPECT_EQ(all[0], 1000);
    EXPECT_EQ(all[2 * kFrames - 1], 1000);
    EXPECT_EQ(all[2 * kFrames], 1050);
    EXPECT_EQ(all[3 * kFrames], 2050);
}

TEST(CallSidesMixer, AStalledSideHoldsTheOtherBackOnlyForABoundedTime)
{
    for (const bool farStalls : {true, false}) {
        SCOPED_TRACE(farStalls ? "far side stalls" : "microphone stalls");
        CallSidesMixer mixer(kFrames);
        const auto chunk = samples(kFrames, 300);
        std::vector<int16_t> out;
        size_t pushed = 0, taken = 0;
        for (int i = 0; i < 200; ++i) {
            farStalls ? mixer.pushMicrophone(chunk.data(), chunk.size())
                      : mixer.pushMonitor(chunk.data(), chunk.size());
            pushed += kFrames;
            while (mixer.take(out)) {
                taken += kFrames;
                EXPECT_EQ(out[0], 300);
            }
            EXPECT_LE(pushed - taken, kFrames + 2 * CallSidesMixer::kMaxLagFrames);
        }
        EXPECT_GT(taken, 150 * kFrames);
    }
}

TEST(CallSidesMixer, ClockDriftKeepsTheDelayBetweenTheSidesBounded)
{
    CallSidesMixer mixer(kFrames);
    const auto near = samples(kFrames, 1);
    const auto fast = samples(kFrames + 12, 2); // a far side 1 % fast
    std::vector<int16_t> out;
    size_t taken = 0;
    for (int i = 0; i < 2000; ++i) {
        mixer.pushMicrophone(near.data(), near.size());
        mixer.pushMonitor(fast.data(), fast.size());
        while (mixer.take(out)) {
            ++taken;
            EXPECT_EQ(out[100], 3); // both sides in every buffer: no gap
        }
    }
    EXPECT_GE(taken, 1999u);
}

TEST(CallSidesMixer, WithoutAFarSideTheMicrophonePassesAtOnce)
{
    CallSidesMixer mixer(kFrames);
    mixer.setFarSideLive(false);
    const auto near = samples(kFrames, 7);
    mixer.pushMicrophone(near.data(), near.size());
    std::vector<int16_t> out;
    ASSERT_TRUE(mixer.take(out));
    EXPECT_EQ(out, near);
}
