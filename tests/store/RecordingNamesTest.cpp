#include "store/RecordingNames.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using Names = RecordingNames;

// ---- Sizes ------------------------------------------------------------------------------

TEST(RecordingSizeText, ShowsWholeUnitsAndOneTruncatedDecimal)
{
    EXPECT_EQ(Names::SizeText(1536), QStringLiteral("1.5 KB"));
    EXPECT_EQ(Names::SizeText(5242880), QStringLiteral("5.0 MB"));
    EXPECT_EQ(Names::SizeText(0), QStringLiteral("0.0 KB"));
    EXPECT_EQ(Names::SizeText(1048576 + 943718), QStringLiteral("1.9 MB"));
    EXPECT_EQ(Names::SizeText(3221225472LL), QStringLiteral("3.0 GB"));
    EXPECT_EQ(Names::SizeText(6LL << 40), QStringLiteral("6144.0 GB"));
}

TEST(RecordingSizeText, RemainderNearTheNextUnitNeverShowsTwoDigits)
{
    EXPECT_EQ(Names::SizeText(2047), QStringLiteral("1.9 KB"));
    EXPECT_EQ(Names::SizeText(1048575), QStringLiteral("1023.9 KB"));
    EXPECT_EQ(Names::SizeText(1073741823), QStringLiteral("1023.9 MB"));
}

// ---- Name rules -------------------------------------------------------------------------

class RecordingNameRulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
    }
    int room() const { return Names::kMaxPathLength - int(folder.toUtf8().size()); }

    TestEnvironment env;
    QString folder;
};

TEST_F(RecordingNameRulesTest, EmptyNameIsRefused)
{
    EXPECT_EQ(Names::check(QString(), folder, Names::AllRules), Names::Empty);
    EXPECT_EQ(Names::check(QString(), folder, Names::NotTaken), Names::Accepted);
}

TEST_F(RecordingNameRulesTest, NameFillingThePathExactlyIsAcceptedAndOneMoreIsTooLong)
{
    ASSERT_GT(room(), 8);
    ASSERT_LE(room() + 4, Names::kMaxFileNameLength);
    EXPECT_EQ(Names::check(QString(room(), u'a'), folder, Names::AllRules), Names::Accepted);
    EXPECT_EQ(Names::check(QString(room() + 1, u'a'), folder, Names::AllRules), Names::TooLong);
    // Lengths are counted in bytes: a two-byte character over the room does not fit.
    EXPECT_EQ(Names::check(QString(room() - 1, u'a') + QChar(0xE9), folder, Names::FitsPath),
              Names::TooLong);
}

TEST_F(RecordingNameRulesTest, NameLongerThanAFileNameCanBeIsTooLongEvenInAShortFolder)
{
    const QString shortFolder = QStringLiteral("/");
    EXPECT_EQ(Names::check(QString(251, u'a'), shortFolder, Names::FitsPath), Names::Accepted);
    EXPECT_EQ(Names::check(QString(252, u'a'), shortFolder, Names::FitsPath), Names::TooLong);
}

TEST_F(RecordingNameRulesTest, ForbiddenAndControlCharactersAreRefused)
{
    for (const QChar c : QStringLiteral("<>:/|*?\\\"\n\r\t") + QChar(0x7F) + QChar(0x85) +
                             QChar(0x2028) + QChar(0x01)) {
        const QString name = QStringLiteral("call") + c + QStringLiteral("x");
        EXPECT_EQ(Names::check(name, folder, Names::AllRules), Names::Forbidden)
            << int(c.unicode());
    }
    for (const QString& fine : {QStringLiteral("Call 3 (Bob) [ok] & more; é €"),
                                QStringLiteral("a.b"), QStringLiteral(" leading")})
        EXPECT_EQ(Names::check(fine, folder, Names::AllRules), Names::Accepted)
            << fine.toStdString();
}

TEST_F(RecordingNameRulesTest, SanitizedReplacesEachForbiddenCharacterByAnUnderscore)
{
    EXPECT_EQ(Names::sanitized(QStringLiteral("a<b>c:d/e|f*g?h\\i\"j\nk\tl")),
              QStringLiteral("a_b_c_d_e_f_g_h_i_j_k_l"));
    EXPECT_EQ(Names::sanitized(QStringLiteral("Zoë (2)")), QStringLiteral("Zoë (2)"));
}

TEST_F(RecordingNameRulesTest, ReservedNamesAreRefusedOnlyInTheirExactCase)
{
    for (const char* reserved : {"tmp_nome_reg", "Join_Temporary", "tagTemporary"})
        EXPECT_EQ(Names::check(QString::fromLatin1(reserved), folder, Names::AllRules),
                  Names::Reserved);
    EXPECT_EQ(Names::check(QStringLiteral("TagTemporary"), folder, Names::AllRules),
              Names::Accepted);
    EXPECT_EQ(Names::check(QStringLiteral("tagTemporary2"), folder, Names::AllRules),
              Names::Accepted);
}

TEST_F(RecordingNameRulesTest, NameOfAFileIsTakenIgnoringCase)
{
    ASSERT_TRUE(AudioFixtures::writeFile(folder + QStringLiteral("Call.mp3"), "x"));
    EXPECT_EQ(Names::check(QStringLiteral("Call"), folder, Names::AllRules), Names::Taken);
    EXPECT_EQ(Names::check(QStringLiteral("cALL"), folder, Names::AllRules), Names::Taken);
    EXPECT_EQ(Names::check(QStringLiteral("Call 2"), folder, Names::AllRules), Names::Accepted);
    EXPECT_EQ(Names::check(QStringLiteral("Call"), folder, Names::AllRules & ~Names::NotTaken),
              Names::Accepted);
}

// ---- Renaming ---------------------------------------------------------------------------

class RecordingRenameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_audio = AudioFixtures::mpegStream(1.0); }
    void SetUp() override
    {
        ASSERT_FALSE(s_audio.isEmpty());
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
        for (const char* name : {"Alpha", "Beta"}) {
            RecordingEntry entry =
                TaggedRecording::entry(folder, QString::fromLatin1(name), OleDate::now());
            entry.notes = QStringLiteral("old notes");
            ASSERT_TRUE(TaggedRecording::write(entry, s_audio));
        }
        list.setFolder(folder);
        ASSERT_TRUE(list.LoadList());
        alpha = list.FindByName(QStringLiteral("Alpha"));
        ASSERT_TRUE(alpha);
        alphaBytes = AudioFixtures::readFile(alpha->filePath());
        betaBytes = AudioFixtures::readFile(folder + QStringLiteral("Beta.mp3"));
    }
    QString file(const char* name) const { return folder + QString::fromLatin1(name) + ".mp3"; }
    static QString tagText(const QString& path, const char* id)
    {
        Id3Tag tag;
        if (!tag.Open(path, true) || tag.ReadTag() != Id3Tag::TagRead)
            return QStringLiteral("<no tag>");
        const Id3Tag::Frame* frame = tag.FindFrame(id);
        return frame ? frame->value : QStringLiteral("<no frame>");
    }
    void expectUnchanged() const
    {
        EXPECT_EQ(alpha->name, QStringLiteral("Alpha"));
        EXPECT_EQ(alpha->notes, QStringLiteral("old notes"));
        EXPECT_EQ(alpha->state, RecordingEntry::Saved);
        EXPECT_EQ(AudioFixtures::readFile(file("Alpha")), alphaBytes);
        EXPECT_EQ(AudioFixtures::readFile(file("Beta")), betaBytes);
    }

    static QByteArray s_audio;
    TestEnvironment env;
    QString folder;
    RecordingList list;
    RecordingEntry* alpha = nullptr;
    QByteArray alphaBytes;
    QByteArray betaBytes;
};

QByteArray RecordingRenameTest::s_audio;

TEST_F(RecordingRenameTest, RenameMovesTheFileAndSavesTagAndIndex)
{
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("Client call"),
                                     QStringLiteral("new notes")),
              Names::Accepted);
    EXPECT_EQ(alpha->name, QStringLiteral("Client call"));
    EXPECT_EQ(alpha->state, RecordingEntry::Saved);
    EXPECT_FALSE(QFileInfo::exists(file("Alpha")));
    EXPECT_EQ(tagText(file("Client call"), "TIT2"), QStringLiteral("Client call"));
    EXPECT_EQ(tagText(file("Client call"), "COMM"), QStringLiteral("new notes"));
    EXPECT_TRUE(AudioFixtures::readFile(file("Client call")).endsWith(s_audio));

    list.Clear();
    ASSERT_TRUE(list.LoadList());
    ASSERT_EQ(list.Count(), 2);
    ASSERT_TRUE(list.FindByName(QStringLiteral("Client call")));
    EXPECT_EQ(list.FindByName(QStringLiteral("Client call"))->notes, QStringLiteral("new notes"));
}

TEST_F(RecordingRenameTest, SameNameSavesOnlyTheNotes)
{
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("Alpha"), QStringLiteral("n")),
              Names::Accepted);
    EXPECT_EQ(tagText(file("Alpha"), "COMM"), QStringLiteral("n"));
}

TEST_F(RecordingRenameTest, RenameOntoAnotherRecordingIsRefusedAndBothFilesStay)
{
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("Beta"), QStringLiteral("x")),
              Names::Taken);
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("BETA"), QStringLiteral("x")),
              Names::Taken);
    expectUnchanged();
}

TEST_F(RecordingRenameTest, RenameOntoAFileOutsideTheListIsRefused)
{
    ASSERT_TRUE(AudioFixtures::writeFile(file("Later"), "someone else's"));
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("later"), QString()),
              Names::Taken);
    expectUnchanged();
    EXPECT_EQ(AudioFixtures::readFile(file("Later")), QByteArray("someone else's"));
}

TEST_F(RecordingRenameTest, RefusedNamesLeaveEntryAndFileAsTheyWere)
{
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QString(), QString()), Names::Empty);
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("a/b"), QString()),
              Names::Forbidden);
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("two\nlines"), QString()),
              Names::Forbidden);
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("tagTemporary"), QString()),
              Names::Reserved);
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QString(300, u'x'), QString()), Names::TooLong);
    expectUnchanged();
}

TEST_F(RecordingRenameTest, ChangingOnlyTheCaseOfItsOwnNameIsAllowed)
{
    EXPECT_EQ(Names::RenameRecording(list, *alpha, QStringLiteral("ALPHA"), QString()),
              Names::Accepted);
    EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.mp3")}).contains("ALPHA.mp3"));
    EXPECT_FALSE(QDir(folder).entryList({QStringLiteral("*.mp3")}).contains("Alpha.mp3"));
}

TEST_F(RecordingRenameTest, RecordingInProgressIsRenamedWithoutAFile)
{
    RecordingEntry* live = list.NewEntry(QString(), QString());
    EXPECT_EQ(
        Names::RenameRecording(list, *live, QStringLiteral("Named early"), QStringLiteral("typed")),
        Names::Accepted);
    EXPECT_EQ(live->name, QStringLiteral("Named early"));
    EXPECT_EQ(live->state, RecordingEntry::Recording);
    EXPECT_FALSE(QFileInfo::exists(file("Named early")));
}

} // namespace
