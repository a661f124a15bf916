#include "platform/MicrophoneUsers.h"

#include <gtest/gtest.h>

TEST(MicrophoneUsers, OnlyOtherProgramsRecordingFromTheMicrophoneCount)
{
    struct Case {
        const char* what;
        MicrophoneUsers::Stream stream;
        bool counts;
    };
    const Case cases[] = {
        {"a call program", {1, 5, "Linphone", "linphone", false, false, false}, true},
        {"our own stream", {1, 5, "Parlune", "parlune", true, false, false}, false},
        {"a corked stream", {1, 5, "Linphone", "linphone", false, true, false}, false},
        {"a level meter", {1, 5, "Volume Control", "pavucontrol", false, false, true}, false},
        {"another source", {1, 6, "Linphone", "linphone", false, false, false}, false},
        {"ignored by name", {1, 5, "FIREFOX", "firefox-esr", false, false, false}, false},
        {"ignored by executable", {1, 5, "Speech", "dictate", false, false, false}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MicrophoneUsers users;
        users.watch(5, MicrophoneUsers::parseIgnored(QStringLiteral(" firefox , dictate,,")));
        EXPECT_EQ(users.update(c.stream), c.counts);
        EXPECT_EQ(users.inUse(), c.counts);
        EXPECT_EQ(users.remove(c.stream.index), c.counts);
        EXPECT_FALSE(users.inUse());
    }
}

TEST(MicrophoneUsers, TheMicrophoneStaysInUseUntilTheLastProgramLetsItGo)
{
    MicrophoneUsers users;
    users.watch(5, {});
    EXPECT_TRUE(users.update({1, 5, "Linphone", "linphone", false, false, false}));
    EXPECT_FALSE(users.update({2, 5, "", "baresip", false, false, false}));
    EXPECT_EQ(users.user(), QStringLiteral("Linphone"));
    // Pausing its stream is letting it go.
    EXPECT_FALSE(users.update({1, 5, "Linphone", "linphone", false, true, false}));
    EXPECT_EQ(users.user(), QStringLiteral("baresip"));
    EXPECT_TRUE(users.remove(2));
    EXPECT_FALSE(users.remove(7)); // never seen
    users.watch(6, {});
    EXPECT_FALSE(users.inUse());
}
