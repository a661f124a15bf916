#include "store/Joiner.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <map>
#include <memory>

#include <gtest/gtest.h>

namespace {

// A tag of exactly `size` bytes in this system's layout: one COMM frame padded to fit.
QByteArray tagOfSize(int size)
{
    const int text = size - Id3Tag::kHeaderSize - 10 - 5;
    const QByteArray frame = Id3Tag::encodeFrame({"COMM", QString(text, u'n')});
    return QByteArray("ID3\x03\x00\x00", 6) + Id3Tag::synchsafe(uint32_t(size)) + frame;
}

double oleAt(int hour, int minute, int second)
{
    return OleDate::fromDateTime(QDateTime(QDate(2024, 6, 11), QTime(hour, minute, second)));
}

class JoinerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
    }

    RecordingEntry entryNamed(const QString& name) const
    {
        RecordingEntry entry = TaggedRecording::entry(folder, name, oleAt(10, 15, 0));
        entry.duration = OleDate::fromSeconds(12);
        return entry;
    }
    // A recording whose file holds a tag written from its entry, then `audio`.
    RecordingEntry taggedRecording(const QString& name, const QByteArray& audio) const
    {
        RecordingEntry entry = entryNamed(name);
        entry.notes = QStringLiteral("notes of ") + name;
        EXPECT_TRUE(TaggedRecording::write(entry, audio));
        return entry;
    }
    // A recording whose file is `tag` then `audio`, as if read from the index (no tag size).
    RecordingEntry rawRecording(const QString& name, const QByteArray& tag,
                                const QByteArray& audio) const
    {
        RecordingEntry entry = entryNamed(name);
        EXPECT_TRUE(AudioFixtures::writeFile(entry.filePath(), tag + audio));
        return entry;
    }
    RecordingEntry newEntry(const QString& name) const
    {
        RecordingEntry entry = entryNamed(name);
        entry.notes = QStringLiteral("joined call");
        entry.startTime = oleAt(11, 0, 5);
        entry.duration = OleDate::fromSeconds(99);
        entry.state = RecordingEntry::Modified;
        return entry;
    }
    QByteArray bytesOf(const QString& name) const
    {
        return AudioFixtures::readFile(folder + name + QStringLiteral(".mp3"));
    }
    bool temporaryExists() const { return QFile::exists(folder + Joiner::temporaryFileName()); }
    // The files of the folder, to see that a failure touched nothing.
    std::map<QString, QByteArray> folderContents() const
    {
        std::map<QString, QByteArray> contents;
        for (const QString& file : QDir(folder).entryList(QDir::Files))
            contents[file] = AudioFixtures::readFile(folder + file);
        return contents;
    }

    TestEnvironment env;
    QString folder;
};

TEST_F(JoinerTest, JoinedFileIsANewTagThenEachSourcesAudioInOrder)
{
    const QByteArray audioA = AudioFixtures::randomBytes(10000, 1);
    const QByteArray audioB = AudioFixtures::randomBytes(5000, 2);
    RecordingEntry a = taggedRecording(QStringLiteral("Call part one"), audioA);
    EXPECT_GT(a.tagSize, 190u);
    EXPECT_LT(a.tagSize, 230u);
    RecordingEntry b = rawRecording(QStringLiteral("B"), tagOfSize(180), audioB);
    RecordingEntry joined = newEntry(QStringLiteral("Whole call"));

    ASSERT_TRUE(Joiner::Join({&a, &b}, joined));
    const QByteArray result = bytesOf(joined.name);
    ASSERT_TRUE(result.startsWith("ID3"));
    EXPECT_EQ(result.mid(joined.tagSize), audioA + audioB);
    EXPECT_EQ(joined.fileSize, uint32_t(result.size()));
    EXPECT_EQ(joined.state, RecordingEntry::Saved);
    EXPECT_EQ(OleDate::toSeconds(joined.duration), 99);

    EXPECT_FALSE(QFile::exists(a.filePath()));
    EXPECT_FALSE(QFile::exists(b.filePath()));
    EXPECT_FALSE(temporaryExists());

    RecordingEntry loaded;
    ASSERT_TRUE(EntryTags::LoadEntryFromFile(joined.filePath(), loaded, folder, false));
    EXPECT_EQ(loaded.name, joined.name);
    EXPECT_EQ(loaded.notes, joined.notes);
    EXPECT_EQ(OleDate::toDateTime(loaded.startTime), OleDate::toDateTime(joined.startTime));
    EXPECT_EQ(loaded.tagSize, joined.tagSize);
    EXPECT_EQ(loaded.state, RecordingEntry::Saved);
}

TEST_F(JoinerTest, NewTagIsExactlyTheOneTheEntryWouldBeGiven)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(3000, 3));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(3000, 4));
    RecordingEntry joined = newEntry(QStringLiteral("Zoë — café"));
    joined.operatorName = QStringLiteral("Ωmega desk");
    ASSERT_TRUE(Joiner::Join({&a, &b}, joined));
    const QByteArray result = bytesOf(joined.name);

    RecordingEntry rewritten = joined;
    ASSERT_TRUE(EntryTags::WriteEntryTag(rewritten));
    EXPECT_EQ(bytesOf(joined.name), result);
    EXPECT_EQ(rewritten.tagSize, joined.tagSize);
}

TEST_F(JoinerTest, SourcesAreCutAtTheirOwnTagHeaderWhateverTheEntrySays)
{
    const QByteArray audioA = AudioFixtures::randomBytes(4000, 5);
    const QByteArray audioB = AudioFixtures::randomBytes(6000, 6);
    RecordingEntry a = taggedRecording(QStringLiteral("a"), audioA);
    RecordingEntry b = rawRecording(QStringLiteral("b"), tagOfSize(180), audioB);
    // As read from the index, and as a stale value.
    a.tagSize = 0;
    b.tagSize = 7;
    RecordingEntry joined = newEntry(QStringLiteral("ab"));
    ASSERT_TRUE(Joiner::Join({&a, &b}, joined));
    EXPECT_EQ(bytesOf(joined.name).mid(joined.tagSize), audioA + audioB);
}

TEST_F(JoinerTest, SourceWithoutTagIsJoinedWhole)
{
    const QByteArray audioA = AudioFixtures::randomBytes(2000, 7);
    const QByteArray audioB = AudioFixtures::randomBytes(2000, 8);
    RecordingEntry a = rawRecording(QStringLiteral("a"), QByteArray(), audioA);
    // A header claiming more than the file holds is no tag: nothing of the file is dropped.
    RecordingEntry b = rawRecording(
        QStringLiteral("b"), QByteArray("ID3\x03\x00\x00", 6) + Id3Tag::synchsafe(90000), audioB);
    RecordingEntry joined = newEntry(QStringLiteral("ab"));
    ASSERT_TRUE(Joiner::Join({&b, &a}, joined));
    EXPECT_EQ(bytesOf(joined.name).mid(joined.tagSize),
              QByteArray("ID3\x03\x00\x00", 6) + Id3Tag::synchsafe(90000) + audioB + audioA);
}

TEST_F(JoinerTest, RealAudioJoinsIntoOnePlayableRecordingOfTheSummedLength)
{
    RecordingEntry a = taggedRecording(QStringLiteral("first"), AudioFixtures::mpegStream(4.0));
    RecordingEntry b = taggedRecording(QStringLiteral("second"), AudioFixtures::mpegStream(6.0));
    const double lengthA = EntryTags::CalcolaDurata(a.filePath(), a.tagSize);
    const double lengthB = EntryTags::CalcolaDurata(b.filePath(), b.tagSize);
    ASSERT_GT(lengthA, 0);
    ASSERT_GT(lengthB, 0);

    RecordingEntry joined = newEntry(QStringLiteral("both"));
    joined.duration = OleDate::kNoDuration;
    ASSERT_TRUE(Joiner::Join({&a, &b}, joined));

    const qint64 measured =
        OleDate::toSeconds(EntryTags::CalcolaDurata(joined.filePath(), joined.tagSize));
    EXPECT_NEAR(double(measured), 10.0, 1.0);
    EXPECT_NEAR(double(measured), double(OleDate::toSeconds(lengthA + lengthB)), 1.0);
    // The unknown duration was measured and written into the tag.
    EXPECT_EQ(OleDate::toSeconds(joined.duration), measured);
    RecordingEntry loaded;
    ASSERT_TRUE(EntryTags::LoadEntryFromFile(joined.filePath(), loaded, folder, false));
    EXPECT_EQ(OleDate::toSeconds(loaded.duration), measured);
}

TEST_F(JoinerTest, NamingTheResultLikeASourceReplacesThatSource)
{
    const QByteArray audioA = AudioFixtures::randomBytes(3000, 9);
    const QByteArray audioB = AudioFixtures::randomBytes(3000, 10);
    RecordingEntry a = taggedRecording(QStringLiteral("a"), audioA);
    RecordingEntry b = taggedRecording(QStringLiteral("b"), audioB);
    RecordingEntry joined = newEntry(QStringLiteral("b"));
    ASSERT_TRUE(Joiner::Join({&a, &b}, joined));
    EXPECT_EQ(bytesOf(QStringLiteral("b")).mid(joined.tagSize), audioA + audioB);
    EXPECT_FALSE(QFile::exists(a.filePath()));
    EXPECT_FALSE(temporaryExists());
}

TEST_F(JoinerTest, ExistingRecordingIsReplacedOnlyWhenTheCallerAgreed)
{
    const QByteArray audioA = AudioFixtures::randomBytes(3000, 11);
    const QByteArray audioB = AudioFixtures::randomBytes(3000, 12);
    RecordingEntry a = taggedRecording(QStringLiteral("a"), audioA);
    RecordingEntry b = taggedRecording(QStringLiteral("b"), audioB);
    taggedRecording(QStringLiteral("c"), AudioFixtures::randomBytes(3000, 13));
    const auto before = folderContents();

    RecordingEntry joined = newEntry(QStringLiteral("c"));
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined));
    EXPECT_EQ(folderContents(), before);

    ASSERT_TRUE(Joiner::Join({&a, &b}, joined, QStringLiteral("c")));
    EXPECT_EQ(bytesOf(QStringLiteral("c")).mid(joined.tagSize), audioA + audioB);
    EXPECT_FALSE(QFile::exists(a.filePath()));
    EXPECT_FALSE(QFile::exists(b.filePath()));
}

TEST_F(JoinerTest, OverwrittenRecordingNamedInAnotherCaseGoesToo)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(1000, 14));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(1000, 15));
    RecordingEntry old =
        taggedRecording(QStringLiteral("Meeting"), AudioFixtures::randomBytes(1000, 16));
    RecordingEntry joined = newEntry(QStringLiteral("meeting"));
    ASSERT_TRUE(Joiner::Join({&a, &b}, joined, QStringLiteral("Meeting")));
    EXPECT_TRUE(QFile::exists(joined.filePath()));
    EXPECT_FALSE(QFile::exists(old.filePath()));
}

TEST_F(JoinerTest, OverwriteNameUnrelatedToTheNewNameIsRefused)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(1000, 17));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(1000, 18));
    taggedRecording(QStringLiteral("other"), AudioFixtures::randomBytes(1000, 19));
    const auto before = folderContents();
    RecordingEntry joined = newEntry(QStringLiteral("new"));
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined, QStringLiteral("other")));
    EXPECT_EQ(folderContents(), before);
}

TEST_F(JoinerTest, MissingSourceLeavesEverySourceInPlaceAndNoTemporaryFile)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(3000, 20));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(3000, 21));
    RecordingEntry gone = entryNamed(QStringLiteral("gone"));
    const auto before = folderContents();
    RecordingEntry joined = newEntry(QStringLiteral("a"));
    EXPECT_FALSE(Joiner::Join({&a, &gone, &b}, joined));
    EXPECT_EQ(folderContents(), before);
    EXPECT_FALSE(temporaryExists());
}

TEST_F(JoinerTest, ProtectedOrBusySourceOrEmptyListIsRefused)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(1000, 22));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(1000, 23));
    const auto before = folderContents();
    RecordingEntry joined = newEntry(QStringLiteral("ab"));

    b.isProtected = true;
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined));
    b.isProtected = false;
    b.state = RecordingEntry::Recording;
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined));
    EXPECT_FALSE(Joiner::Join({}, joined));
    EXPECT_EQ(folderContents(), before);
}

TEST_F(JoinerTest, FailureToPlaceTheResultKeepsTheSources)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(1000, 24));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(1000, 25));
    // A folder where the joined file should go cannot be replaced by it.
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("ab.mp3")));
    const auto before = folderContents();
    RecordingEntry joined = newEntry(QStringLiteral("ab"));
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined));
    EXPECT_EQ(folderContents(), before);
    EXPECT_FALSE(temporaryExists());
}

class JoinFollowers : public ::testing::Test {
protected:
    // A recording starting `offset` seconds after 09:00:00 and lasting `length` seconds.
    RecordingEntry& add(const char* name, int offset, int length)
    {
        auto entry = std::make_unique<RecordingEntry>();
        entry->name = QString::fromLatin1(name);
        entry->startTime =
            OleDate::fromDateTime(QDateTime(QDate(2024, 6, 11), QTime(9, 0, 0)).addSecs(offset));
        entry->duration = OleDate::fromSeconds(length);
        owned.push_back(std::move(entry));
        return *owned.back();
    }
    std::vector<const RecordingEntry*> list() const
    {
        std::vector<const RecordingEntry*> entries;
        for (const auto& entry : owned)
            entries.push_back(entry.get());
        return entries;
    }
    QStringList chainFrom(const char* name) const
    {
        const RecordingEntry* current = nullptr;
        for (const auto& entry : owned) {
            if (entry->name == QLatin1String(name))
                current = entry.get();
        }
        QStringList names;
        for (const RecordingEntry* entry : Joiner::followers(list(), current))
            names << entry->name;
        return names;
    }

    std::vector<std::unique_ptr<RecordingEntry>> owned;
};

TEST_F(JoinFollowers, RecordingStartingWithinTenSecondsOfTheEndFollows)
{
    add("first", 0, 60);
    add("five after", 65, 30);     // previous ended at 60
    add("fifteen after", 110, 30); // previous ended at 95
    EXPECT_EQ(chainFrom("first"), (QStringList{"first", "five after"}));
}

TEST_F(JoinFollowers, GapOfExactlyTenSecondsStillFollows)
{
    add("a", 0, 20);
    add("b", 30, 20);
    add("c", 61, 20);
    EXPECT_EQ(chainFrom("a"), (QStringList{"a", "b"}));
}

TEST_F(JoinFollowers, ChainTakesTheNearestLaterStartWhateverTheListOrder)
{
    add("third", 130, 10);
    add("first", 0, 60);
    add("unrelated", 5000, 10);
    add("second", 65, 60);
    add("earlier", -500, 10);
    EXPECT_EQ(chainFrom("first"), (QStringList{"first", "second", "third"}));
}

TEST_F(JoinFollowers, AmongEqualStartsTheFirstInListOrderIsTakenAndTheOthersNever)
{
    add("current", 0, 60);
    add("twin one", 62, 5);
    add("twin two", 62, 100);
    add("after twins", 70, 5);
    // The chain goes on from "twin one" (ended at 67), so "after twins" at 70 follows.
    EXPECT_EQ(chainFrom("current"), (QStringList{"current", "twin one", "after twins"}));
}

TEST_F(JoinFollowers, SameStartAsTheCurrentIsNeverAFollower)
{
    add("current", 0, 60);
    add("same start", 0, 60);
    EXPECT_EQ(chainFrom("current"), (QStringList{"current"}));
}

TEST_F(JoinFollowers, RecordingInProgressEndsTheChain)
{
    add("a", 0, 10);
    add("b", 12, 10).state = RecordingEntry::Recording;
    add("c", 24, 10);
    EXPECT_EQ(chainFrom("a"), (QStringList{"a"}));
    EXPECT_TRUE(chainFrom("b").isEmpty());
}

TEST_F(JoinFollowers, UnknownDurationCountsAsNothing)
{
    add("a", 0, 0).duration = OleDate::kNoDuration;
    add("b", 10, 10);
    add("c", 40, 10);
    EXPECT_EQ(chainFrom("a"), (QStringList{"a", "b"}));
}

TEST_F(JoinFollowers, AnInvalidStartAnywhereFindsNoFollower)
{
    add("a", 0, 60);
    add("b", 61, 60);
    add("broken", 0, 10).startTime = 1e12;
    EXPECT_EQ(chainFrom("a"), (QStringList{"a"}));
}

TEST_F(JoinFollowers, StartsCountToTheWholeSecond)
{
    // 59.6 s long, so the list shows 01:00 and the gap is counted from there.
    add("a", 0, 0).duration = 59.6 / OleDate::kSecondsPerDay;
    add("b", 70, 10);
    EXPECT_EQ(chainFrom("a"), (QStringList{"a", "b"}));
}

} // namespace
