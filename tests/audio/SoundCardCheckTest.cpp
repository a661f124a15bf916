#include "platform/SoundCardCheck.h"
#include "audio/CPlaySound.h"
#include "tests/support/PrivateAudioServer.h"
#include "tests/support/TestEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    EXPECT_EQ(result.source, QStringLiteral("fakemic"));
    EXPECT_TRUE(result.errorText.isEmpty());

    CPlaySound player;
    EXPECT_TRUE(player.ControlloPresenzaScheda());
    EXPECT_TRUE(env.logLines().filter(QStringLiteral("ControlloPresenzaScheda")).isEmpty());
}

TEST_F(SoundCardCheckTest, FailsWithoutAnAudioServerAndLogsWhy)
{
    env.setVariable("PULSE_SERVER",
                    QStringLiteral("unix:") + env.root() + QStringLiteral("gone/pulse.sock"));
    const SoundCardCheck::Result result = SoundCardCheck::run();
    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.stage, SoundCardCheck::Stage::NoConnection);
    EXPECT_FALSE(result.errorText.isEmpty());

    CPlaySound player;
    EXPECT_FALSE(player.ControlloPresenzaScheda());
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Errore ControlloPresenzaScheda: ")));
    EXPECT_GT(lines[0].size(), QStringLiteral("Errore ControlloPresenzaScheda: ").size());
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Errore ControlloPresenzaScheda (2): ")));
}

TEST_F(SoundCardCheckTest, MonitorsOfOutputsDoNotCountAsMicrophones)
{
    PrivateAudioServer server;
    ASSERT_TRUE(server.start());
    env.setVariable("PULSE_SERVER", server.address());
    ASSERT_TRUE(SoundCardCheck::run().passed());

    ASSERT_TRUE(
        server.pactl({QStringLiteral("unload-module"), QStringLiteral("module-pipe-source")}));
    const SoundCardCheck::Result result = SoundCardCheck::run();
    EXPECT_FALSE(result.passed());
    EXPECT_EQ(result.stage, SoundCardCheck::Stage::NoRecording);

    CPlaySound player;
    EXPECT_FALSE(player.ControlloPresenzaScheda());
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Errore ControlloPresenzaScheda (2): ")));
}

} // namespace
