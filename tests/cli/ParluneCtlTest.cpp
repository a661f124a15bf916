#include "store/EntryTags.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct CtlRun {
    int status = -1;
    QString out;
    QString err;
};

// parlunectl as a script runs it: a separate process in the throwaway user's environment.
class ParluneCtlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + u"calls/"_s;
        QDir().mkpath(folder);
        audio = AudioFixtures::mpegStream(3.0);
        ASSERT_FALSE(audio.isEmpty());
    }

    CtlRun ctl(QStringList args, bool withFolder = true)
    {
        if (withFolder)
            args = QStringList({"--folder", folder}) + args;
        QProcess process;
        process.start(QStringLiteral(PARLUNE_BIN_DIR "/parlunectl"), args);
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    void makeRecording(const QString& name, const QDateTime& start, const QString& notes = {})
    {
        RecordingEntry entry = TaggedRecording::entry(folder, name, OleDate::fromDateTime(start));
        entry.notes = notes;
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
    }

    QJsonArray listJson()
    {
        const CtlRun run = ctl({"list", "--json"});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).array();
    }

    TestEnvironment env;
    QString folder;
    QByteArray audio;
};

TEST_F(ParluneCtlTest, ListShowsEveryRecordingNewestFirstWithItsMeasuredProperties)
{
    makeRecording("older", QDateTime(QDate(2026, 1, 2), QTime(9, 30, 0)), "first\r\ncall");
    makeRecording("newer", QDateTime(QDate(2026, 3, 4), QTime(17, 5, 6)));
    // A file copied in by hand has no tag: it is given one and measured.
    ASSERT_TRUE(AudioFixtures::writeFile(folder + "dropped in.mp3", audio));
    // A tag without a time of day gets one, decided once: written at the first listing.
    std::vector<Id3Tag::Frame> frames = EntryTags::entryFrames(TaggedRecording::entry(
        folder, "no time", OleDate::fromDateTime(QDateTime(QDate(2025, 5, 6), QTime(7, 8, 9)))));
    std::erase_if(frames, [](const Id3Tag::Frame& frame) { return frame.id == "TIME"; });
    ASSERT_TRUE(
        AudioFixtures::writeFile(folder + "no time.mp3", Id3Tag::encodeTag(frames) + audio));
    QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[3].toObject()["name"].toString(), u"no time"_s);
    EXPECT_EQ(tagText(folder + "no time.mp3", "TIME"), list[3].toObject()["time"].toString());
    list.removeLast();
    EXPECT_EQ(list[0].toObject()["name"].toString(), u"dropped in"_s);
    EXPECT_EQ(list[0].toObject()["duration"].toString(), u"00:03"_s);
    const QJsonObject newest = list[1].toObject();
    EXPECT_EQ(newest.keys(), QStringList({"date", "duration", "name", "notes", "operator",
                                          "protected", "size", "time"}));
    EXPECT_EQ(newest["name"].toString(), u"newer"_s);
    EXPECT_EQ(newest["date"].toString(), u"04/03/2026"_s);
    EXPECT_EQ(newest["time"].toString(), u"17:05:06"_s);
    EXPECT_EQ(newest["duration"].toString(), u"00:03"_s);
    EXPECT_EQ(newest["size"].toInteger(), QFileInfo(folder + "newer.mp3").size());
    EXPECT_FALSE(newest["protected"].toBool());
    EXPECT_EQ(list[2].toObject()["notes"].toString(), u"first\r\ncall"_s);
    EXPECT_TRUE(QFile::exists(folder + "Index.txt"));

    const CtlRun show = ctl({"show", "older", "--json"});
    EXPECT_EQ(show.status, 0);
    EXPECT_EQ(QJsonDocument::fromJson(show.out.toUtf8()).object()["time"].toString(),
              u"09:30:00"_s);
}

TEST_F(ParluneCtlTest, RenameRefusesTakenAndForbiddenNamesWithTheirMessages)
{
    makeRecording("first", QDateTime::currentDateTime());
    makeRecording("second", QDateTime::currentDateTime());
    const CtlRun taken = ctl({"rename", "first", "second"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_TRUE(taken.err.contains("Specified name already exists")) << taken.err.toStdString();
    const CtlRun forbidden = ctl({"rename", "first", "what?"});
    EXPECT_EQ(forbidden.status, 1);
    EXPECT_TRUE(forbidden.err.contains("File name cannot contain")) << forbidden.err.toStdString();

    const CtlRun renamed = ctl({"rename", "first", "Customer call", "--notes", "call back"});
    ASSERT_EQ(renamed.status, 0) << renamed.err.toStdString();
    EXPECT_FALSE(QFile::exists(folder + "first.mp3"));
    const CtlRun show = ctl({"show", "Customer call", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(show.out.toUtf8()).object()["notes"].toString(),
              u"call back"_s);
}

TEST_F(ParluneCtlTest, ProtectionNeedsTheSameKeyWordToComeOff)
{
    makeRecording("secret", QDateTime::currentDateTime());
    ASSERT_EQ(ctl({"protect", "secret", "--key", "Sesame42"}).status, 0);
    EXPECT_TRUE(listJson()[0].toObject()["protected"].toBool());
    const CtlRun wrong = ctl({"unprotect", "secret", "--key", "sesame42"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err.trimmed(), u"Wrong key word."_s);
    ASSERT_EQ(ctl({"unprotect", "secret", "--key", "Sesame42"}).status, 0);
    EXPECT_FALSE(listJson()[0].toObject()["protected"].toBool());
    EXPECT_TRUE(AudioFixtures::readFile(folder + "secret.mp3").endsWith(audio));
    EXPECT_EQ(ctl({"protect", "secret", "--key", "short"}).status, 1);
}

// Delete must remove exactly the named recordings, reindex rebuild a list that measures what
// is left. Join and import run in FolderSafetyTest.CommandsRunTogetherOnOneFolder...
TEST_F(ParluneCtlTest, DeleteAndReindexWorkOnTheFolder)
{
    for (const char* name : {"keep", "gone one", "gone two"})
        makeRecording(name, QDateTime(QDate(2026, 2, 1), QTime(10, 0, 0)));
    ASSERT_EQ(ctl({"delete", "gone one", "gone two"}).status, 0);
    EXPECT_FALSE(QFile::exists(folder + "gone one.mp3"));
    EXPECT_EQ(ctl({"reindex"}).status, 0);
    const QJsonArray list = listJson();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject()["name"].toString(), u"keep"_s);
    EXPECT_EQ(list[0].toObject()["duration"].toString(), u"00:03"_s);
}

TEST_F(ParluneCtlTest, SendHandsACopyToTheMailClient)
{
    makeRecording("for mail", QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9)), "private");
    const QString bin = env.root() + u"bin/"_s;
    QDir().mkpath(bin);
    const QString record = env.root() + u"mail.txt"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(
        bin + "xdg-email", u"#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n"_s.arg(record).toUtf8()));
    QFile::setPermissions(bin + "xdg-email",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.setVariable("PATH", bin + ":" + qEnvironmentVariable("PATH"));
    const CtlRun send = ctl({"send", "for mail", "--no-notes"});
    ASSERT_EQ(send.status, 0) << send.err.toStdString();
    const QString mail = QString::fromUtf8(AudioFixtures::readFile(record));
    EXPECT_TRUE(mail.contains("Fw: recording 'for mail'")) << mail.toStdString();
    EXPECT_FALSE(mail.contains("private"));
    EXPECT_TRUE(mail.contains("for mail.mp3"));
}

TEST_F(ParluneCtlTest, MixerPrintsTheServersTreeOrSaysThereIsNone)
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        const CtlRun tree = ctl({"mixer"}, false);
        EXPECT_EQ(tree.status, 0) << tree.err.toStdString();
        EXPECT_TRUE(tree.out.contains("nullsink") || tree.out.contains("Null"))
            << tree.out.toStdString();
    }
    env.setVariable("PULSE_SERVER", env.root() + u"no-server.sock"_s);
    const CtlRun none = ctl({"mixer"}, false);
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(none.err.isEmpty());
}

TEST_F(ParluneCtlTest, PlayRunsARecordingToItsEndOrSaysThereIsNoServer)
{
    makeRecording("short", QDateTime::currentDateTime());
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        const CtlRun played = ctl({"play", folder + "short.mp3"}, false);
        EXPECT_EQ(played.status, 0) << played.err.toStdString();
        EXPECT_TRUE(played.out.trimmed().endsWith("00:03 / 00:03")) << played.out.toStdString();
    }
    env.setVariable("PULSE_SERVER", env.root() + u"no-server.sock"_s);
    const CtlRun none = ctl({"play", folder + "short.mp3"}, false);
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(none.err.isEmpty());
}

TEST_F(ParluneCtlTest, AWorkingFolderItCannotWriteIsLeftForTheFallbackFolderAndTheWindow)
{
    makeRecording("on the share", QDateTime(QDate(2026, 1, 2), QTime(9, 30, 0)));
    if (!env.makeReadOnly(folder))
        GTEST_SKIP() << "cannot make a folder read-only here (a superuser needs a bind mount)";
    const QString fallback = env.dataFolder() + "Recordings/";
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + folder});
    const QString kept = folder;
    folder = fallback;
    QDir().mkpath(fallback);
    makeRecording("while away", QDateTime(QDate(2026, 1, 3), QTime(9, 30, 0)));

    const CtlRun run = ctl({"list", "--json"}, false);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonArray list = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject()["name"].toString(), u"while away"_s);
    EXPECT_TRUE(run.err.contains(kept)) << run.err.toStdString();
    // The loss is the window's to record and announce at its next start.
    EXPECT_EQ(TestEnvironment::settingsFileLines(env.userSettingsFile()),
              QStringList({"WorkDir=" + kept}));
}

TEST_F(ParluneCtlTest, UsageErrorsAndUnknownNamesAreToldApart)
{
    EXPECT_EQ(ctl({}).status, 2);
    EXPECT_EQ(ctl({"frobnicate"}).status, 2);
    EXPECT_EQ(ctl({"show"}).status, 2);
    const CtlRun missing = ctl({"show", "nobody"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(missing.err.isEmpty());
}

} // namespace
