#include "platform/CallSidesMixer.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(CallSidesMixer, ClockDriftKeepsEveryMicrophoneSampleAndTheDelayBetweenTheSidesBounded)
{
    // Each side counts its own samples (one side silent at a time, so the mix shows the other).
    for (const size_t farFrames : {kFrames * 4 + 40, kFrames * 4 - 40}) {
        for (const bool showMicrophone : {true, false}) {
            SCOPED_TRACE(testing::Message() << farFrames << (showMicrophone ? " near" : " far"));
            CallSidesMixer mixer(kFrames);
            std::vector<int16_t> near(kFrames * 4), far(farFrames), out, mixed;
            int nearCount = 0, farCount = 0;
            for (int i = 0; i < 400; ++i) {
                for (int16_t& sample : near)
                    sample = showMicrophone ? int16_t(++nearCount % 30000) : 0;
                for (int16_t& sample : far)
                    sample = showMicrophone ? 0 : int16_t(++farCount % 30000);
                mixer.pushMicrophone(near.data(), near.size());
                mixer.pushMonitor(far.data(), far.size());
                while (mixer.take(out))
                    mixed.insert(mixed.end(), out.begin(), out.end());
            }
            if (showMicrophone) {
                // After the silence that aligned the start, every sample, in order.
                const auto first = std::find(mixed.begin(), mixed.end(), int16_t(1));
                ASSERT_LT(first - mixed.begin(), ptrdiff_t(kFrames));
                for (auto it = first; it != mixed.end(); ++it)
                    ASSERT_EQ(*it, int16_t((it - first + 1) % 30000)) << (it - first);
                EXPECT_GT(mixed.end() - first, ptrdiff_t(397 * 4 * kFrames));
            } else {
                // The far side delivered last is at most the lag and a fragment behind.
                const auto last = std::find_if(mixed.rbegin(), mixed.rend(),
                                               [](int16_t sample) { return sample != 0; });
                ASSERT_NE(last, mixed.rend());
                const int behind = (farCount - *last + 30000) % 30000;
                EXPECT_LE(size_t(behind), CallSidesMixer::kMaxLagFrames + 4 * kFrames);
            }
        }
    }
}

TEST(CallSidesMixer, AFarSideThatComesBackAfterAStallMeetsTheMicrophoneAgain)
{
    CallSidesMixer mixer(kFrames);
    std::vector<int16_t> out, mixed;
    // Buffers heard at the same moment carry a mark (100 near, 1000 far) at their start.
    const auto run = [&](int buffers, bool far, bool marked) {
        for (int i = 0; i < buffers; ++i) {
            std::vector<int16_t> near(kFrames, 0), farSide(kFrames, 0);
            near[0] = marked && i == 0 ? 100 : 0;
            farSide[0] = marked && i == 0 ? 1000 : 0;
            mixer.pushMicrophone(near.data(), near.size());
            if (far)
                mixer.pushMonitor(farSide.data(), farSide.size());
            while (mixer.take(out))
                mixed.insert(mixed.end(), out.begin(), out.end());
        }
    };
    run(50, true, false);
    run(60, false, false); // two seconds without the far side
    run(50, true, true);
    EXPECT_NE(std::find(mixed.begin(), mixed.end(), int16_t(1100)), mixed.end());
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
