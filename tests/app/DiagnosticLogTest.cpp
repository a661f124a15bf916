#include "app/DiagnosticLog.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Lines are kept as given with CR LF after them; a reset empties the main log only.
TEST(DiagnosticLogTest, LinesAreTheTextAsItIsFollowedByCrLfAndResetEmptiesOnlyTheMainLog)
{
    TestEnvironment env;
    WriteLog(QStringLiteral("Dump Impostazioni:"));
    WriteLog(QString());
    WriteLog(QStringLiteral("a\nb"));
    WriteLog(QStringLiteral("-->Operatore:Zoë"));
    EXPECT_EQ(AudioFixtures::readFile(env.logFile()),
              QByteArray("Dump Impostazioni:\r\n\r\na\nb\r\n-->Operatore:Zo\xc3\xab\r\n"));
    WriteLogFile(QStringLiteral("sample"), QStringLiteral("LogCampionamenti.log"));
    DiagnosticLog::reset();
    WriteLog(QStringLiteral("second run"));
    EXPECT_EQ(env.logLines(), QStringList({"second run"}));
    EXPECT_EQ(AudioFixtures::readFile(env.dataFolder() + "LogCampionamenti.log"),
              QByteArray("sample\r\n"));
}

TEST(DiagnosticLogTest, LinesOfManyThreadsAtOnceAreAllKeptWhole)
{
    TestEnvironment env;
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                WriteLog(QStringLiteral("thread %1 line %2 ").arg(t).arg(i) + QString(40, u'x'));
        });
    }
    for (auto& thread : threads)
        thread.join();
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), kThreads * kLines);
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kLines; ++i)
            EXPECT_TRUE(lines.contains(QStringLiteral("thread %1 line %2 ").arg(t).arg(i) +
                                       QString(40, u'x')));
}

TEST(DiagnosticLogTest, UnwritableDataFolderLogsNothingAndDoesNotFail)
{
    TestEnvironment env;
    // A data home that is a file cannot hold a folder, even for root.
    const QString blocker = env.root() + QStringLiteral("not-a-folder");
    ASSERT_TRUE(AudioFixtures::writeFile(blocker, {}));
    env.setVariable("XDG_DATA_HOME", blocker);
    WriteLog(QStringLiteral("lost"));
    DiagnosticLog::reset();
    EXPECT_FALSE(QFile::exists(blocker + QStringLiteral("/Parlune/PL.log")));
}

} // namespace
