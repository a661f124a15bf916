#include "platform/SystemFolders.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

struct ProgramFolderCase {
    const char* overridden;
    const char* executableFolder;
    bool executableFolderIsProgram;
    const char* expected;
};

TEST(SystemFoldersTest, ProgramFolderIsTheOverrideThenABuildFolderThenTheInstalledLibraryFolder)
{
    const ProgramFolderCase cases[] = {
        {"/opt/parlune", "/home/me/build/bin", true, "/opt/parlune/"},
        {"/opt/parlune/", "/usr/bin", false, "/opt/parlune/"},
        {"", "/home/me/build/bin", true, "/home/me/build/bin/"},
        {"", "/usr/bin", false, "/usr/lib/parlune/"},
        {"", "/tmp/root/usr/bin/", false, "/tmp/root/usr/lib/parlune/"},
    };
    for (const ProgramFolderCase& c : cases) {
        EXPECT_EQ(SystemFolders::programFolderFor(QString::fromUtf8(c.overridden),
                                                  QString::fromUtf8(c.executableFolder),
                                                  c.executableFolderIsProgram),
                  QString::fromUtf8(c.expected))
            << c.overridden << " " << c.executableFolder;
    }
}

TEST(SystemFoldersTest, WithoutOverrideABuildFolderHoldingTheEncoderIsTheProgramFolder)
{
    TestEnvironment env;
    qunsetenv("PARLUNE_PROGRAM_DIR");
    EXPECT_EQ(SystemFolders::programFolder(), QStringLiteral(PARLUNE_BIN_DIR "/"));
}

} // namespace
