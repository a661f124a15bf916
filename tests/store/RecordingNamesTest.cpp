#include "store/RecordingNames.h"
#include "store/EntryTags.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Names = RecordingNames;

// ---- Sizes ------------------------------------------------------------------------------

TEST(RecordingSizeText, ShowsWholeUnitsAndOneTruncatedDecimalNeverTwoDigits)
{
    const std::vector<std::pair<qint64, const char*>> cases = {
        {1536, "1.5 KB"},
        {5242880, "5.0 MB"},
        {0, "0.0 KB"},
        {1048576 + 943718, "1.9 MB"},
        {3221225472LL, "3.0 GB"},
        {6LL << 40, "6144.0 GB"},
        // A remainder near the next unit.
        {2047, "1.9 KB"},
        {1048575, "1023.9 KB"},
        {1073741823, "1023.9 MB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(Names::SizeText(bytes), QString::fromLatin1(text)) << bytes;
}

// ---- Name rules -------------------------------------------------------------------------

TEST(RecordingNameRules, EachRuleRefusesItsNamesAndOnlyThose)
{
    TestEnvironment env;
    const QString folder = env.root() + u"rec/"_s;
    QDir().mkpath(folder);
    ASSERT_TRUE(AudioFixtures::writeFile(folder + u"Call.mp3"_s, "x"));
    const int room = Names::kMaxPathLength - int(folder.toUtf8().size());
    ASSERT_GT(room, 8);
    ASSERT_LE(room + 4, Names::kMaxFileNameLength);
    const auto all = Names::AllRules;
    struct Case {
        QString name;
        QString folder;
        unsigned rules;
        int expected;
    };
    std::vector<Case> cases = {
        {QString(), folder, all, Names::Empty},
        {QString(), folder, Names::NotTaken, Names::Accepted},
        // Filling the path exactly fits; lengths count bytes.
        {QString(room, u'a'), folder, all, Names::Accepted},
        {QString(room + 1, u'a'), folder, all, Names::TooLong},
        {QString(room - 1, u'a') + QChar(0xE9), folder, Names::FitsPath, Names::TooLong},
        // Longer than a file name can be, even in a short folder.
        {QString(251, u'a'), u"/"_s, Names::FitsPath, Names::Accepted},
        {QString(252, u'a'), u"/"_s, Names::FitsPath, Names::TooLong},
        // Reserved only in their exact case.
        {u"tmp_nome_reg"_s, folder, all, Names::Reserved},
        {u"Join_Temporary"_s, folder, all, Names::Reserved},
        {u"tagTemporary"_s, folder, all, Names::Reserved},
        {u"TagTemporary"_s, folder, all, Names::Accepted},
        {u"tagTemporary2"_s, folder, all, Names::Accepted},
        // The name of a file is taken ignoring case.
        {u"Call"_s, folder, all, Names::Taken},
        {u"cALL"_s, folder, all, Names::Taken},
        {u"Call 2"_s, folder, all, Names::Accepted},
        {u"Call"_s, folder, unsigned(all & ~Names::NotTaken), Names::Accepted},
        {u"Call 3 (Bob) [ok] & more; é €"_s, folder, all, Names::Accepted},
        {u"a.b"_s, folder, all, Names::Accepted},
        {u" leading"_s, folder, all, Names::Accepted},
    };
    for (const QChar c :
         u"<>:/|*?\\\"\n\r\t"_s + QChar(0x7F) + QChar(0x85) + QChar(0x2028) + QChar(0x01))
        cases.push_back({u"call"_s + c + u"x"_s, folder, all, Names::Forbidden});
    for (const Case& c : cases)
        EXPECT_EQ(Names::check(c.name, c.folder, c.rules), c.expected)
            << c.name.left(20).toStdString() << " (" << c.name.size() << ")";
}

TEST(RecordingNameRules, SanitizedReplacesEachForbiddenCharacterByAnUnderscore)
{
    EXPECT_EQ(Names::sanitized(u"a<b>c:d/e|f*g?h\\i\"j\nk\tl"_s), u"a_b_c_d_e_f_g_h_i_j_k_l"_s);
    EXPECT_EQ(Names::sanitized(u"Zoë (2)"_s), u"Zoë (2)"_s);
}

// ---- Renaming ---------------------------------------------------------------------------

class RecordingRenameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_audio = AudioFixtures::mpegStream(1.0); }
    void SetUp() override
    {
        ASSERT_FALSE(s_audio.isEmpty());
        openFolder(env.root() + u"rec/"_s);
    }
    // Makes the recordings Alpha and Beta in `where` and loads the list of that folder.
    void openFolder(const QString& where)
    {
        folder = where;
        QDir().mkpath(folder);
        for (const char* name : {"Alpha", "Beta"}) {
            RecordingEntry entry =
                TaggedRecording::entry(folder, QString::fromLatin1(name), OleDate::now());
            entry.notes = u"old notes"_s;
            ASSERT_TRUE(TaggedRecording::write(entry, s_audio));
        }
        list.Clear();
        list.setFolder(folder);
        ASSERT_TRUE(list.LoadList());
        alpha = list.FindByName(u"Alpha"_s);
        ASSERT_TRUE(alpha);
        alphaBytes = AudioFixtures::readFile(alpha->filePath());
        betaBytes = AudioFixtures::readFile(folder + u"Beta.mp3"_s);
    }
    QString file(const char* name) const { return folder + QString::fromLatin1(name) + ".mp3"; }
    void expectUnchanged() const
    {
        EXPECT_EQ(alpha->name, u"Alpha"_s);
        EXPECT_EQ(alpha->notes, u"old notes"_s);
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

TEST_F(RecordingRenameTest, RefusedNamesLeaveEntryAndFilesAsTheyWere)
{
    ASSERT_TRUE(AudioFixtures::writeFile(file("Later"), "someone else's"));
    const std::vector<std::pair<QString, int>> cases = {
        {u"Beta"_s, Names::Taken},
        {u"BETA"_s, Names::Taken},
        {u"later"_s, Names::Taken}, // a file outside the list
        {QString(), Names::Empty},
        {u"a/b"_s, Names::Forbidden},
        {u"two\nlines"_s, Names::Forbidden},
        {u"tagTemporary"_s, Names::Reserved},
        {QString(300, u'x'), Names::TooLong},
    };
    for (const auto& [name, result] : cases) {
        SCOPED_TRACE(name.left(20).toStdString());
        EXPECT_EQ(Names::RenameRecording(list, *alpha, name, u"x"_s), result);
        expectUnchanged();
    }
    EXPECT_EQ(AudioFixtures::readFile(file("Later")), QByteArray("someone else's"));
}

TEST_F(RecordingRenameTest, TheSameNameSavesOnlyTheNotesAndItsOwnNameInAnotherCaseIsAllowed)
{
    EXPECT_EQ(Names::RenameRecording(list, *alpha, u"Alpha"_s, u"n"_s), Names::Accepted);
    EXPECT_EQ(tagText(file("Alpha"), "COMM"), u"n"_s);
    EXPECT_EQ(Names::RenameRecording(list, *alpha, u"ALPHA"_s, QString()), Names::Accepted);
    const QStringList files = QDir(folder).entryList({u"*.mp3"_s});
    EXPECT_TRUE(files.contains("ALPHA.mp3"));
    EXPECT_FALSE(files.contains("Alpha.mp3"));
}

TEST_F(RecordingRenameTest, ATagThatCannotBeWrittenFailsAndNameNotesTagAndIndexStayAsTheyWere)
{
    TmpfsMount disk(env.root() + u"full/"_s, 1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    openFolder(env.root() + u"full/"_s);
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    ASSERT_TRUE(disk.fill());
    // A new name with new notes, and new notes alone: both need the tag written again.
    for (const QString& name : {u"Renamed"_s, u"Alpha"_s}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(Names::RenameRecording(list, *alpha, name, u"new notes"_s), Names::SaveFailed);
        expectUnchanged();
        QStringList now = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        now.removeOne(u"filler"_s);
        EXPECT_EQ(now, files);
    }
    disk.unfill();
    list.Clear();
    ASSERT_TRUE(list.LoadList());
    ASSERT_NE(list.FindByName(u"Alpha"_s), nullptr);
    EXPECT_EQ(list.FindByName(u"Alpha"_s)->notes, u"old notes"_s);
    EXPECT_EQ(tagText(file("Alpha"), "COMM"), u"old notes"_s);
}

TEST_F(RecordingRenameTest, RecordingInProgressIsRenamedWithoutAFile)
{
    RecordingEntry* live = list.NewEntry(QString(), QString());
    EXPECT_EQ(Names::RenameRecording(list, *live, u"Named early"_s, u"typed"_s), Names::Accepted);
    EXPECT_EQ(live->name, u"Named early"_s);
    EXPECT_EQ(live->state, RecordingEntry::Recording);
    EXPECT_FALSE(QFileInfo::exists(file("Named early")));
}

} // namespace
