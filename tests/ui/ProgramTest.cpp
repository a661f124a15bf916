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
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    env.setVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen"));
    QProcess first;
    start(first);
    ASSERT_TRUE(waitFor([&] { return logHas(QStringLiteral("-->NoMicSelect:0")); }, 60000));
    EXPECT_EQ(env.logLines().first(), QStringLiteral("Dump Impostazioni:"));
    EXPECT_TRUE(QFile::exists(env.userSettingsFile()));

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    // The second start wrote nothing: the log still holds one run.
    EXPECT_EQ(env.logLines().count(QStringLiteral("Dump Impostazioni:")), 1);
    EXPECT_EQ(first.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    const QStringList lines = env.logLines();
    const qsizetype closing = lines.indexOf(QStringLiteral("Inizio chiusura applicazione"));
    ASSERT_GE(closing, 0);
    EXPECT_TRUE(containsInOrder(
        lines.mid(closing),
        {"Inizio chiusura applicazione", "Evento OnStopRec", "Salva la lista", "Cancella il file",
         "Setta volume speaker", "Impostazione vecchio volume speaker", "Chiusura volume speaker",
         "Setta volume microfono", "Inizio chiusura thread...", "Thread Record Sound chiuso"}))
        << lines.join(u'\n').toStdString();
}

} // namespace
