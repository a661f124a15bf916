#include "store/Sender.h"
#include "platform/MailClient.h"
#include "store/EntryTags.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class SenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + u"rec/"_s;
        fakeBin = env.root() + u"fakebin/"_s;
        mailbox = env.root() + u"mailbox/"_s;
        for (const QString& path : {folder, fakeBin, mailbox})
            QDir().mkpath(path);
        env.setVariable("PATH", fakeBin + u':' + qEnvironmentVariable("PATH"));
        audio = AudioFixtures::mpegStream(2.0);
        ASSERT_FALSE(audio.isEmpty());
        installFakeMailProgram(0);
    }

    // A stand-in for the user's mail program: it records its arguments (NUL-separated) and
    // the bytes of the attachment at the moment it is called, then exits with `exitCode`.
    void installFakeMailProgram(int exitCode, const QString& extra = QString())
    {
        const QString script = QStringLiteral("#!/bin/sh\n"
                                              "%3"
                                              ": > '%1args'\n"
                                              "for a in \"$@\"; do printf '%s\\000' \"$a\" >> "
                                              "'%1args'; done\n"
                                              "prev=\n"
                                              "for a in \"$@\"; do\n"
                                              "  [ \"$prev\" = --attach ] && cp \"$a\" "
                                              "'%1attachment'\n"
                                              "  prev=$a\n"
                                              "done\n"
                                              "exit %2\n")
                                   .arg(mailbox)
                                   .arg(exitCode)
                                   .arg(extra);
        const QString path = fakeBin + u"xdg-email"_s;
        ASSERT_TRUE(AudioFixtures::writeFile(path, script.toUtf8()));
        ASSERT_TRUE(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QStringList mailArguments() const
    {
        const QByteArray raw = AudioFixtures::readFile(mailbox + u"args"_s);
        QStringList arguments;
        for (const QByteArray& part : raw.split('\0'))
            arguments << QString::fromUtf8(part);
        if (!arguments.isEmpty())
            arguments.removeLast(); // after the last terminator
        return arguments;
    }
    bool mailProgramWasCalled() const { return QFile::exists(mailbox + u"args"_s); }
    QByteArray attachmentSeen() const { return AudioFixtures::readFile(mailbox + u"attachment"_s); }
    QStringList copiesLeft() const
    {
        return QDir(MailClient::attachmentFolder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    RecordingEntry recording(const QString& name, const QString& notes)
    {
        RecordingEntry entry = TaggedRecording::entry(
            folder, name, OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))));
        entry.duration = OleDate::fromSeconds(2);
        entry.notes = notes;
        EXPECT_TRUE(TaggedRecording::write(entry, audio));
        return entry;
    }
    QString commentOf(const QByteArray& file) const
    {
        const QString scratch = env.root() + u"scratch.mp3"_s;
        EXPECT_TRUE(AudioFixtures::writeFile(scratch, file));
        return tagText(scratch, "COMM");
    }

    TestEnvironment env;
    QString folder;
    QString fakeBin;
    QString mailbox;
    QByteArray audio;
    MailClient mail;
};

TEST_F(SenderTest, MailCarriesSubjectBodyAndACopyNamedAfterTheRecordingWithOrWithoutNotes)
{
    struct Case {
        QString name;
        QString notes;
        bool withNotes;
        QString subject;
        QString body;
    };
    const QString firstLine = u"Recording '%1' of 05/03/2024 at 14:07 \r\n\r\n"_s;
    const std::vector<Case> cases = {
        {u"Call Bob"_s, u"ring back Monday"_s, true, u"Fw: recording 'Call Bob'"_s,
         firstLine.arg(u"Call Bob"_s) + u"Notes: ring back Monday"_s},
        // Notes left out are emptied in the copy only, and not mentioned.
        {u"Call Bob"_s, u"ring back Monday"_s, false, u"Fw: recording 'Call Bob'"_s,
         firstLine.arg(u"Call Bob"_s)},
        {u"100%s sure"_s, QString(), true, u"Fw: recording '100%s sure'"_s,
         firstLine.arg(u"100%s sure"_s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        const RecordingEntry entry = recording(c.name, c.notes);
        const QByteArray stored = AudioFixtures::readFile(entry.filePath());

        ASSERT_TRUE(Sender::SendRecording(entry, c.withNotes, mail));

        const QStringList arguments = mailArguments();
        ASSERT_EQ(arguments.size(), 7);
        EXPECT_EQ(arguments.mid(0, 6), QStringList({u"--utf8"_s, u"--subject"_s, c.subject,
                                                    u"--body"_s, c.body, u"--attach"_s}));
        const QString attachment = arguments[6];
        EXPECT_EQ(QFileInfo(attachment).fileName(), c.name + u".mp3"_s);
        EXPECT_TRUE(attachment.startsWith(MailClient::attachmentFolder()));
        EXPECT_TRUE(QFile::exists(attachment)) << "the mail program reads it after xdg-email";
        const QByteArray sent = attachmentSeen();
        if (c.withNotes) {
            EXPECT_EQ(sent, stored);
        } else {
            EXPECT_EQ(commentOf(sent), QString());
            EXPECT_TRUE(sent.endsWith(audio));
        }
        EXPECT_EQ(AudioFixtures::readFile(entry.filePath()), stored);
        EXPECT_EQ(commentOf(stored), c.notes);
    }
}

TEST_F(SenderTest, ProtectedRecordingIsSentAsStored)
{
    RecordingEntry entry = recording(u"secret"_s, u"pin"_s);
    entry.keyWord = u"open sesame"_s;
    ASSERT_TRUE(Protection::Protect(entry, false));
    ASSERT_TRUE(EntryTags::WriteEntryTag(entry));
    const QByteArray stored = AudioFixtures::readFile(entry.filePath());
    ASSERT_FALSE(stored.endsWith(audio));

    ASSERT_TRUE(Sender::SendRecording(entry, true, mail));
    EXPECT_EQ(attachmentSeen(), stored);
}

TEST_F(SenderTest, FailingOrMissingMailProgramGivesFalseAndLeavesNoCopy)
{
    installFakeMailProgram(1);
    const RecordingEntry entry = recording(u"Call Bob"_s, u"n"_s);
    const QByteArray stored = AudioFixtures::readFile(entry.filePath());
    EXPECT_FALSE(Sender::SendRecording(entry, false, mail));
    EXPECT_TRUE(mailProgramWasCalled());
    EXPECT_EQ(copiesLeft(), QStringList());
    EXPECT_EQ(AudioFixtures::readFile(entry.filePath()), stored);

    env.setVariable("PATH", env.root() + u"empty-bin"_s);
    EXPECT_FALSE(Sender::SendRecording(entry, true, mail));
    EXPECT_EQ(copiesLeft(), QStringList());
}

TEST_F(SenderTest, RecordingThatCannotBeReadOrIsInUseFailsBeforeTheMailProgram)
{
    RecordingEntry untagged;
    untagged.name = u"untagged"_s;
    untagged.folder = folder;
    ASSERT_TRUE(AudioFixtures::writeFile(untagged.filePath(), audio));
    RecordingEntry missing = untagged;
    missing.name = u"missing"_s;
    RecordingEntry busy = recording(u"Call Bob"_s, QString());
    busy.state = RecordingEntry::Recording;

    for (const RecordingEntry* entry : {&untagged, &missing, &busy})
        EXPECT_FALSE(Sender::SendRecording(*entry, true, mail)) << entry->name.toStdString();
    EXPECT_FALSE(mailProgramWasCalled());
    EXPECT_EQ(copiesLeft(), QStringList());
}

TEST_F(SenderTest, CopiesOlderThanADayAreRemovedAtTheNextSend)
{
    const RecordingEntry entry = recording(u"Call Bob"_s, QString());
    ASSERT_TRUE(Sender::SendRecording(entry, true, mail));
    const QStringList first = copiesLeft();
    ASSERT_EQ(first.size(), 1);

    // Age the first copy by two days.
    const QByteArray old = QFile::encodeName(MailClient::attachmentFolder() + first[0]);
    const timeval twoDaysAgo{::time(nullptr) - 2 * 86400, 0};
    const timeval times[2] = {twoDaysAgo, twoDaysAgo};
    ASSERT_EQ(::utimes(old.constData(), times), 0);
    Sender::removeOldCopies(std::chrono::hours(24 * 3));
    EXPECT_EQ(copiesLeft(), first) << "younger than the limit";

    ASSERT_TRUE(Sender::SendRecording(entry, true, mail));
    const QStringList after = copiesLeft();
    ASSERT_EQ(after.size(), 1);
    EXPECT_NE(after[0], first[0]);
}

TEST_F(SenderTest, MailProgramStillRunningAfterTheTimeoutKeepsTheCopy)
{
    installFakeMailProgram(0, u"exec sleep 30\n"_s);
    MailClient patient(200);
    const RecordingEntry entry = recording(u"Call Bob"_s, QString());

    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(Sender::SendRecording(entry, true, patient));
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(copiesLeft().size(), 1);
}

TEST_F(SenderTest, AttachmentFolderIsPrivateToTheUser)
{
    const QString expected = env.root() + u"runtime/parlune-send-%1/"_s.arg(::getuid());
    ASSERT_TRUE(QDir().mkpath(expected));
    ASSERT_EQ(::chmod(QFile::encodeName(expected).constData(), 0755), 0);

    EXPECT_EQ(MailClient::attachmentFolder(), expected);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A link put in its place may lead anywhere: refused.
    ASSERT_TRUE(QDir(expected).removeRecursively());
    ASSERT_TRUE(QFile::link(env.root() + u"rec"_s, expected.chopped(1)));
    EXPECT_TRUE(MailClient::attachmentFolder().isEmpty());
    const RecordingEntry entry = recording(u"Call Bob"_s, QString());
    EXPECT_FALSE(Sender::SendRecording(entry, true, mail));
    EXPECT_FALSE(mailProgramWasCalled());
}

} // namespace
