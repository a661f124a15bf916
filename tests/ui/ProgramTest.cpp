#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The built program, run as a person runs it, in a throwaway user's environment.
class ProgramTest : public ::testing::Test {
protected:
    void start(QProcess& process)
    {
        process.setProgram(QStringLiteral(PARLUNE_BIN_DIR "/parlune"));
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start();
        ASSERT_TRUE(process.waitForStarted());
    }
    bool logHas(const QString& line) const { return env.logLines().contains(line); }

    TestEnvironment env;
};

TEST_F(ProgramTest, SecondStartEndsAtOnceAndASignalClosesTheFirstThroughTheExitPath)
{
    env.setVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen"));
    QProcess first;
    start(first);
    ASSERT_TRUE(waitFor([&] { return logHas(QStringLiteral("-->NoMicSelect:0")); }, 60000));
    EXPECT_EQ(env.logLines().first(), QStringLiteral("Dump Impostazioni:"));
    EXPECT_TRUE(QFile::exists(env.userSettingsFile()));
    const QStringList logBefore = env.logLines();

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(env.logLines(), logBefore);
    EXPECT_EQ(first.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    const QStringList lines = env.logLines();
    EXPECT_EQ(lines.mid(logBefore.size()),
              QStringList({"Inizio chiusura applicazione", "Evento OnStopRec", "Salva la lista",
                           "Cancella il file", "Inizio chiusura thread..."}));
}

} // namespace
