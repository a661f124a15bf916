#include "platform/SoundCardCheck.h"
#include "audio/CPlaySound.h"
#include "tests/support/PrivateAudioServer.h"
#include "tests/support/TestEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SoundCardCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
    }
    TestEnvironment env;
};

TEST_F(SoundCardCheckTest, PassesWhenTheDefaultMicrophoneOpensForRecording)
{
    const SoundCardCheck::Result result = SoundCardCheck::run();
    EXPECT_TRUE(result.passed()) << result.errorText.toStdString();
    EXPECT_EQ(result.source, u"fakemic"_s);
    EXPECT_TRUE(result.errorText.isEmpty());

    CPlaySound player;
    EXPECT_TRUE(player.ControlloPresenzaScheda());
    EXPECT_TRUE(env.logLines().filter(u"ControlloPresenzaScheda"_s).isEmpty());
}

TEST_F(SoundCardCheckTest, FailsWithoutAnAudioServer)
{
    env.setVariable("PULSE_SERVER", u"unix:"_s + env.root() + u"gone/pulse.sock"_s);
    const SoundCardCheck::Result result = SoundCardCheck::run();
    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.stage, SoundCardCheck::Stage::NoConnection);
    EXPECT_FALSE(result.errorText.isEmpty());

    EXPECT_FALSE(CPlaySound().ControlloPresenzaScheda());
}

TEST_F(SoundCardCheckTest, MonitorsOfOutputsDoNotCountAsMicrophones)
{
    PrivateAudioServer server;
    ASSERT_TRUE(server.start());
    env.setVariable("PULSE_SERVER", server.address());
    ASSERT_TRUE(SoundCardCheck::run().passed());

    ASSERT_TRUE(server.pactl({u"unload-module"_s, u"module-pipe-source"_s}));
    const SoundCardCheck::Result result = SoundCardCheck::run();
    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.stage, SoundCardCheck::Stage::NoRecording);

    EXPECT_FALSE(CPlaySound().ControlloPresenzaScheda());
}

} // namespace
