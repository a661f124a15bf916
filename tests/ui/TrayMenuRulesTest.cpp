#include "ui/TrayMenuRules.h"

#include <gtest/gtest.h>

namespace {

using R = TrayMenuRules;

struct Case {
    RecorderMode mode;
    TrayMenuItem autoRecording, newRecording, stop;
    int icon;
};

TEST(TrayMenuRulesTest, EachModeOffersItsItemsWithTheirPicturesAndIcon)
{
    using M = RecorderMode;
    const TrayMenuItem arm{R::kAutoRecording, 80, true, true, 262};
    const TrayMenuItem armGreyed{R::kAutoRecording, 80, false, true, 262};
    const TrayMenuItem disarm{R::kAutoRecording, 85, true, false, 256};
    const TrayMenuItem start{R::kNewRecording, 81, true, true, 255};
    const TrayMenuItem startGreyed{R::kNewRecording, 81, false, false, 261};
    const TrayMenuItem stop{R::kStop, 82, true, true, 257};
    const TrayMenuItem stopGreyed{R::kStop, 82, false, false, 263};
    const Case cases[] = {
        {M(M::Idle), arm, start, stopGreyed, 271},
        {M(M::Idle, true), arm, start, stopGreyed, 271},
        {M(M::Recording), armGreyed, startGreyed, stop, 242},
        {M(M::Recording, true), armGreyed, startGreyed, stop, 242},
        {M(M::Armed), disarm, startGreyed, stopGreyed, 241},
        {M(M::AutoRecording), disarm, startGreyed, stopGreyed, 324},
        {M(M::Armed, true), disarm, startGreyed, stopGreyed, 241},
        {M(M::AutoRecording, true), disarm, startGreyed, stopGreyed, 324},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode.code());
        const std::vector<TrayMenuItem> expected{{R::kOpen, 78, true, false, 0},
                                                 {},
                                                 {R::kOptions, 79, true, false, 259},
                                                 c.autoRecording,
                                                 {},
                                                 c.newRecording,
                                                 c.stop,
                                                 {},
                                                 {R::kExit, 83, true, false, 0}};
        EXPECT_EQ(R::items(c.mode, true), expected);
        EXPECT_EQ(R::iconId(c.mode, true), c.icon);
    }
}

TEST(TrayMenuRulesTest, WithoutRecordingFeaturesOnlyOpenOptionsAndExitWork)
{
    std::vector<int> enabled;
    for (const TrayMenuItem& item : R::items(RecorderMode(), false))
        if (item.enabled)
            enabled.push_back(item.command);
    EXPECT_EQ(enabled, (std::vector<int>{R::kOpen, R::kOptions, R::kExit}));
    EXPECT_EQ(R::iconId(RecorderMode(RecorderMode::Armed), false), 271);
}

} // namespace
