#include "app/SettingsStartup.h"
#include "platform/SettingsKey.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class SettingsStartupTest : public ::testing::Test {
protected:
    // The mount tables are the test's own files, never the machine's.
    SettingsStartup startup() const
    {
        return SettingsStartup(env.userSettingsFile(), env.machineSettingsFile(),
                               env.programFolder(), env.dataFolder(),
                               MountTable(env.root() + "fstab", env.root() + "mountinfo"));
    }
    // A share whose mount point is an existing local directory, listed in the test's fstab.
    QString shareMountPoint() const { return QFileInfo(env.root()).canonicalFilePath() + "/nas"; }
    void writeMountTables(bool shareListed, bool shareMounted) const
    {
        QStringList mounted({"22 1 8:1 / / rw - ext4 /dev/sda1 rw"});
        if (shareMounted)
            mounted += "40 22 0:50 / " + shareMountPoint() + " rw - cifs //nas/calls rw";
        TestEnvironment::writeSettingsFile(env.root() + "mountinfo", mounted);
        TestEnvironment::writeSettingsFile(
            env.root() + "fstab",
            {"UUID=1a2b / ext4 defaults 0 1",
             QStringLiteral("//nas/calls %1 cifs noauto 0 0")
                 .arg(shareListed ? shareMountPoint() : QStringLiteral("/mnt/elsewhere"))});
    }
    QString value(const QString& name) const
    {
        auto key = SettingsKey::open(env.userSettingsFile(), SettingsKey::Access::Read);
        return key ? key->read(name).value_or(QStringLiteral("<missing>"))
                   : QStringLiteral("<no key>");
    }
    QString fallback() const { return env.dataFolder() + QStringLiteral("Recordings/"); }

    TestEnvironment env;
};

TEST_F(SettingsStartupTest, FirstStartCreatesTheDefaultsInOrderAndArmsSingleFileRecording)
{
    startup().createDefaults();
    EXPECT_EQ(TestEnvironment::settingsFileLines(env.userSettingsFile()),
              QStringList({"@default=0",
                           "AvvioTaskBar=0",
                           "TempoAttesaRegAuto=15",
                           "RegAutoSalvaUnicoFile=1",
                           "SogliaAttivazioneRegAuto=15000",
                           "ChiediConfermaAutoRec=0",
                           "AvviaInAutoReg=1",
                           "AntiBump=1",
                           "WorkDir=" + fallback(),
                           "AbilitaSegnaleAcustico=0",
                           "SegnaleAcusticoInviaDopo=1",
                           "SegnaleAcusticoInviaDopoValore=15",
                           "SegnaleAcusticoInviaOgni=0",
                           "SegnaleAcusticoInviaOgniValore=10",
                           "SegnaleAcusticoFile=" + env.programFolder() + "Beep1.wav",
                           "PlayAlternativo=0",
                           "RecordBothSides=0",
                           "StartOnMicrophoneOpen=0",
                           "PreRollSeconds=1",
                           "IgnoredMicrophonePrograms="}));

    const StartupSettings read = startup().read();
    ASSERT_TRUE(read.keyOpened);
    EXPECT_EQ(read.settings.workingFolder, fallback());
    EXPECT_TRUE(QFileInfo(fallback()).isDir());
    EXPECT_EQ(read.folderCheck, StartupSettings::FolderCheck::Normal);
}

// A settings file without a folder gets the fallback written; odd numbers are read leniently.
TEST_F(SettingsStartupTest, AnExistingFileWithoutAFolderGetsTheFallbackWritten)
{
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"TempoAttesaRegAuto=7s"});
    startup().createDefaults();
    EXPECT_EQ(startup().read().settings.silenceSeconds, 7);
    EXPECT_EQ(value(QStringLiteral("WorkDir")), fallback());
}

TEST_F(SettingsStartupTest, MachineWideSettingsAreCopiedToANewUserAndSkipTheDefaults)
{
    TestEnvironment::writeSettingsFile(
        env.machineSettingsFile(),
        {"Operatore=Desk 4", "AvviaInAutoReg=0", "Unlisted=x", "TempoAttesaRegAuto=30"});
    startup().copyMachineToUser();
    startup().createDefaults();
    EXPECT_EQ(TestEnvironment::settingsFileLines(env.userSettingsFile()),
              QStringList({"TempoAttesaRegAuto=30", "AvviaInAutoReg=0", "Operatore=Desk 4"}));

    // A user who has settings keeps them.
    TestEnvironment::writeSettingsFile(env.machineSettingsFile(), {"Operatore=Other"});
    startup().copyMachineToUser();
    EXPECT_EQ(value(QStringLiteral("Operatore")), QStringLiteral("Desk 4"));
}

TEST_F(SettingsStartupTest, PrimoLancioIsWrittenBackAtEveryStartAndNoRecordingVolumeIsMadeUp)
{
    startup().createDefaults();
    const StartupSettings first = startup().read();
    EXPECT_TRUE(first.settings.firstRun);
    EXPECT_FALSE(first.settings.recordingVolume);
    EXPECT_EQ(value(QStringLiteral("PrimoLancio")), QStringLiteral("0"));
    // Only the microphone's own volume, read by the window, may be stored.
    EXPECT_EQ(value(QStringLiteral("VolumeRegistrazione")), QStringLiteral("<missing>"));

    const StartupSettings second = startup().read();
    EXPECT_FALSE(second.settings.firstRun);
    EXPECT_FALSE(second.settings.recordingVolume);
}

TEST_F(SettingsStartupTest, ALostFolderFallsBackAndIsTakenAgainWhenItReturns)
{
    const QString share = env.root() + QStringLiteral("share/calls/");
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + share});

    const StartupSettings lost = startup().read();
    EXPECT_EQ(lost.folderCheck, StartupSettings::FolderCheck::Lost);
    EXPECT_EQ(lost.settings.workingFolder, fallback());
    EXPECT_EQ(value(QStringLiteral("WorkDir")), fallback());
    EXPECT_EQ(value(QStringLiteral("CartellaDaRiallineare")), share);
    EXPECT_EQ(value(QStringLiteral("Riallinea")), QStringLiteral("1"));

    const StartupSettings stillLost = startup().read();
    EXPECT_EQ(stillLost.folderCheck, StartupSettings::FolderCheck::Normal);
    EXPECT_EQ(stillLost.settings.workingFolder, fallback());
    EXPECT_EQ(value(QStringLiteral("Riallinea")), QStringLiteral("1"));

    ASSERT_TRUE(QDir().mkpath(share));
    const StartupSettings back = startup().read();
    EXPECT_EQ(back.folderCheck, StartupSettings::FolderCheck::Back);
    EXPECT_TRUE(back.realignmentPending);
    EXPECT_EQ(back.settings.workingFolder, share);
    EXPECT_EQ(value(QStringLiteral("WorkDir")), share);
    EXPECT_EQ(value(QStringLiteral("Riallinea")), QStringLiteral("0"));
}

TEST_F(SettingsStartupTest, AFolderOnAnUnmountedShareIsLostLikeAMissingOne)
{
    struct Case {
        const char* name;
        bool shareListed;
        bool shareMounted;
        bool lost;
    };
    const Case cases[] = {
        {"not mounted", true, false, true},
        {"mounted", true, true, false},
        {"under no fstab entry", false, false, false},
    };
    const QString share = shareMountPoint() + "/calls/";
    ASSERT_TRUE(QDir().mkpath(share));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeMountTables(c.shareListed, c.shareMounted);
        TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + share});
        const StartupSettings read = startup().read();
        EXPECT_EQ(read.folderCheck, c.lost ? StartupSettings::FolderCheck::Lost
                                           : StartupSettings::FolderCheck::Normal);
        EXPECT_EQ(read.settings.workingFolder, c.lost ? fallback() : share);
        EXPECT_EQ(value(QStringLiteral("WorkDir")), c.lost ? fallback() : share);
        EXPECT_EQ(value(QStringLiteral("Riallinea")),
                  c.lost ? QStringLiteral("1") : QStringLiteral("<missing>"));
        EXPECT_EQ(startup().usableWorkingFolder(), c.lost ? fallback() : share);
    }
}

TEST_F(SettingsStartupTest, AShareMountedAgainIsTakenBackWithTheRealignment)
{
    const QString share = shareMountPoint() + "/calls/";
    ASSERT_TRUE(QDir().mkpath(share));
    writeMountTables(true, false);
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + share});
    ASSERT_EQ(startup().read().folderCheck, StartupSettings::FolderCheck::Lost);
    EXPECT_EQ(startup().read().folderCheck, StartupSettings::FolderCheck::Normal);
    EXPECT_EQ(value(QStringLiteral("CartellaDaRiallineare")), share);

    writeMountTables(true, true);
    const StartupSettings back = startup().read();
    EXPECT_EQ(back.folderCheck, StartupSettings::FolderCheck::Back);
    EXPECT_TRUE(back.realignmentPending);
    EXPECT_EQ(back.settings.workingFolder, share);
    EXPECT_EQ(value(QStringLiteral("Riallinea")), QStringLiteral("0"));
}

TEST_F(SettingsStartupTest, AFolderThisProcessCannotWriteIsLostLikeAMissingOne)
{
    const QString folder = env.root() + QStringLiteral("read-only/");
    ASSERT_TRUE(QDir().mkpath(folder));
    if (!env.makeReadOnly(folder))
        GTEST_SKIP() << "cannot make a folder read-only here (a superuser needs a bind mount)";
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + folder});
    const StartupSettings read = startup().read();
    EXPECT_EQ(read.folderCheck, StartupSettings::FolderCheck::Lost);
    EXPECT_EQ(read.settings.workingFolder, fallback());
    EXPECT_EQ(value(QStringLiteral("CartellaDaRiallineare")), folder);
    EXPECT_EQ(startup().usableWorkingFolder(), fallback());
}

TEST_F(SettingsStartupTest, TheRootAndTheKernelsFoldersAreNoWorkingFolders)
{
    // A superuser could write there, and an index, a lock file and recovered audio would land
    // among the system's files.
    for (const QString folder : {"/", "/proc/", "/sys/kernel/", "/dev/"}) {
        TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + folder});
        EXPECT_EQ(startup().usableWorkingFolder(), fallback()) << folder.toStdString();
        EXPECT_EQ(startup().read().folderCheck, StartupSettings::FolderCheck::Lost)
            << folder.toStdString();
    }
}

// No key: nothing is read or logged. A file, an empty or a relative text falls back without a
// realignment; a folder stored without its slash is used with one.
TEST_F(SettingsStartupTest, OddWorkingFolderTextsFallBackOrAreMended)
{
    const StartupSettings none = startup().read();
    EXPECT_FALSE(none.keyOpened);
    EXPECT_TRUE(none.settings.workingFolder.isEmpty());
    EXPECT_TRUE(env.logLines().isEmpty());

    const QString file = env.root() + QStringLiteral("a-file");
    TestEnvironment::writeSettingsFile(file, {"x"});
    for (const QString& stored : {file + u'/', QString(), QStringLiteral("relative/path/")}) {
        TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + stored});
        const StartupSettings read = startup().read();
        EXPECT_EQ(read.folderCheck, StartupSettings::FolderCheck::Normal) << stored.toStdString();
        EXPECT_EQ(read.settings.workingFolder, fallback());
        EXPECT_EQ(value(QStringLiteral("Riallinea")), QStringLiteral("<missing>"));
    }

    const QString folder = env.root() + QStringLiteral("calls");
    QDir().mkpath(folder);
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + folder});
    EXPECT_EQ(startup().read().settings.workingFolder, folder + u'/');
}

} // namespace
