#include "audio/CPlaySound.h"
#include "platform/SoundCardCheck.h"
#include "tests/support/TestEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

/// A private audio server of the test's own, so that its sources can be taken away.
class OwnServer {
public:
    static QString script()
    {
        return QFileInfo(QStringLiteral(__FILE__)).absolutePath()
            + QStringLiteral("/../../scripts/pulse-test-server.sh");
    }
    bool start()
    {
        QProcess process;
        process.start(QStringLiteral("bash"), {script(), QStringLiteral("start"), m_dir.path()});
        if (!process.waitForFinished(20000) || process.exitCode() != 0)
            return false;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (line.startsWith("export PULSE_SERVER="))
                m_address = QString::fromUtf8(line.mid(int(strlen("export PULSE_SERVER="))));
        }
        m_running = !m_address.isEmpty();
        return m_running;
    }
    bool pactl(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PULSE_SERVER"), m_address);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("pactl"), arguments);
        return process.waitForFinished(10000) && process.exitCode() == 0;
    }
    ~OwnServer()
    {
        if (!m_running)
            return;
        QProcess process;
        process.start(QStringLiteral("bash"), {script(), QStringLiteral("stop"), m_dir.path()});
        process.waitForFinished(20000);
    }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QString m_address;
    bool m_running = false;
};

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
    OwnServer server;
    ASSERT_TRUE(server.start());
    env.setVariable("PULSE_SERVER", server.address());
    ASSERT_TRUE(SoundCardCheck::run().passed());

    ASSERT_TRUE(server.pactl({QStringLiteral("unload-module"), QStringLiteral("module-pipe-source")}));
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
