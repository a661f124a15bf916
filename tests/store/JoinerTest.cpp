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
    QStringList temporaries() const
    {
        return QDir(folder).entryList({Joiner::temporaryPattern()}, QDir::Files);
    }
    bool temporaryExists() const { return !temporaries().isEmpty(); }
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

TEST_F(JoinerTest, JoinedFileIsExactlyTheEntrysNewTagThenEachSourcesAudioInOrder)
{
    const QByteArray audioA = AudioFixtures::randomBytes(10000, 1);
    const QByteArray audioB = AudioFixtures::randomBytes(5000, 2);
    RecordingEntry a = taggedRecording(QStringLiteral("Call part one"), audioA);
    EXPECT_GT(a.tagSize, 190u);
    EXPECT_LT(a.tagSize, 230u);
    RecordingEntry b = rawRecording(QStringLiteral("B"), tagOfSize(180), audioB);
    RecordingEntry joined = newEntry(QStringLiteral("Zoë — café"));
    joined.operatorName = QStringLiteral("Ωmega desk");
    // Another join's file under the name every join once used: never written nor removed.
    const QString other = folder + QStringLiteral("Join_Temporary.dtm");
    ASSERT_TRUE(AudioFixtures::writeFile(other, "another join"));

    ASSERT_TRUE(Joiner::Join({&a, &b}, joined));
    const QByteArray result = bytesOf(joined.name);
    ASSERT_TRUE(result.startsWith("ID3"));
    EXPECT_EQ(result.mid(joined.tagSize), audioA + audioB);
    EXPECT_EQ(joined.fileSize, uint32_t(result.size()));
    EXPECT_EQ(joined.state, RecordingEntry::Saved);
    EXPECT_EQ(OleDate::toSeconds(joined.duration), 99);
    EXPECT_FALSE(QFile::exists(a.filePath()));
    EXPECT_FALSE(QFile::exists(b.filePath()));
    EXPECT_EQ(temporaries(), QStringList{QStringLiteral("Join_Temporary.dtm")});
    EXPECT_EQ(AudioFixtures::readFile(other), QByteArray("another join"));

    RecordingEntry loaded;
    ASSERT_TRUE(EntryTags::LoadEntryFromFile(joined.filePath(), loaded, folder, false));
    EXPECT_EQ(loaded.name, joined.name);
    EXPECT_EQ(loaded.notes, joined.notes);
    EXPECT_EQ(OleDate::toDateTime(loaded.startTime), OleDate::toDateTime(joined.startTime));
    EXPECT_EQ(loaded.tagSize, joined.tagSize);
    EXPECT_EQ(loaded.state, RecordingEntry::Saved);
    // The tag is the very one the entry would be given.
    RecordingEntry rewritten = joined;
    ASSERT_TRUE(EntryTags::WriteEntryTag(rewritten));
    EXPECT_EQ(bytesOf(joined.name), result);
    EXPECT_EQ(rewritten.tagSize, joined.tagSize);
}

TEST_F(JoinerTest, SourcesAreCutAtTheirOwnTagHeaderWhateverTheEntrySaysAndUntaggedOnesGoWhole)
{
    const QByteArray audioA = AudioFixtures::randomBytes(4000, 5);
    const QByteArray audioB = AudioFixtures::randomBytes(6000, 6);
    const QByteArray audioC = AudioFixtures::randomBytes(2000, 7);
    // A header claiming more than the file holds is no tag: nothing of the file is dropped.
    const QByteArray bogus = QByteArray("ID3\x03\x00\x00", 6) + Id3Tag::synchsafe(90000);
    RecordingEntry a = taggedRecording(QStringLiteral("a"), audioA);
    RecordingEntry b = rawRecording(QStringLiteral("b"), tagOfSize(180), audioB);
    RecordingEntry c = rawRecording(QStringLiteral("c"), QByteArray(), audioC);
    RecordingEntry d = rawRecording(QStringLiteral("d"), bogus, audioA);
    // As read from the index, and as a stale value.
    a.tagSize = 0;
    b.tagSize = 7;
    RecordingEntry joined = newEntry(QStringLiteral("abdc"));
    ASSERT_TRUE(Joiner::Join({&a, &b, &d, &c}, joined));
    EXPECT_EQ(bytesOf(joined.name).mid(joined.tagSize), audioA + audioB + bogus + audioA + audioC);
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

TEST_F(JoinerTest, ExistingRecordingIsReplacedOnlyWhenTheCallerAgreedToThatName)
{
    const QByteArray audioA = AudioFixtures::randomBytes(3000, 11);
    const QByteArray audioB = AudioFixtures::randomBytes(3000, 12);
    RecordingEntry a = taggedRecording(QStringLiteral("a"), audioA);
    RecordingEntry b = taggedRecording(QStringLiteral("b"), audioB);
    taggedRecording(QStringLiteral("c"), AudioFixtures::randomBytes(3000, 13));
    taggedRecording(QStringLiteral("other"), AudioFixtures::randomBytes(1000, 19));
    const auto before = folderContents();

    RecordingEntry joined = newEntry(QStringLiteral("c"));
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined));
    EXPECT_FALSE(Joiner::Join({&a, &b}, joined, QStringLiteral("other")));
    EXPECT_EQ(folderContents(), before);

    ASSERT_TRUE(Joiner::Join({&a, &b}, joined, QStringLiteral("c")));
    EXPECT_EQ(bytesOf(QStringLiteral("c")).mid(joined.tagSize), audioA + audioB);
    EXPECT_FALSE(QFile::exists(a.filePath()));
    EXPECT_FALSE(QFile::exists(b.filePath()));

    // Agreed to under another case, the old file goes and the new name stands.
    a = taggedRecording(QStringLiteral("a"), audioA);
    b = taggedRecording(QStringLiteral("b"), audioB);
    RecordingEntry old = taggedRecording(QStringLiteral("Meeting"), audioB);
    RecordingEntry renamed = newEntry(QStringLiteral("meeting"));
    ASSERT_TRUE(Joiner::Join({&a, &b}, renamed, QStringLiteral("Meeting")));
    EXPECT_TRUE(QFile::exists(renamed.filePath()));
    EXPECT_FALSE(QFile::exists(old.filePath()));
}

TEST_F(JoinerTest, RefusedOrFailedJoinLeavesEveryFileInPlaceAndNoTemporaryFile)
{
    RecordingEntry a = taggedRecording(QStringLiteral("a"), AudioFixtures::randomBytes(3000, 20));
    RecordingEntry b = taggedRecording(QStringLiteral("b"), AudioFixtures::randomBytes(3000, 21));
    RecordingEntry gone = entryNamed(QStringLiteral("gone"));
    // A folder where the joined file should go cannot be replaced by it.
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("blocked.mp3")));
    const auto before = folderContents();
    const auto refused = [&](std::vector<const RecordingEntry*> sources, const QString& name) {
        SCOPED_TRACE(name.toStdString());
        RecordingEntry joined = newEntry(name);
        EXPECT_FALSE(Joiner::Join(sources, joined));
        EXPECT_EQ(folderContents(), before);
        EXPECT_FALSE(temporaryExists());
    };

    refused({&a, &gone, &b}, QStringLiteral("a")); // a missing source, the result replacing a
    refused({&a, &b}, QStringLiteral("blocked"));
    refused({}, QStringLiteral("nothing"));
    b.isProtected = true;
    refused({&a, &b}, QStringLiteral("protected"));
    b.isProtected = false;
    b.state = RecordingEntry::Recording;
    refused({&a, &b}, QStringLiteral("busy"));
}

class JoinFollowers : public ::testing::Test {
protected:
    struct Recording {
        Recording(const char* n, int at, double seconds, bool recording = false, double s = 0)
            : name(n), offset(at), length(seconds), inProgress(recording), start(s)
        {}
        const char* name;
        int offset;      // seconds after 09:00:00
        double length;   // seconds; negative: unknown
        bool inProgress; // being recorded
        double start;    // when set, the start as stored, whatever the offset
    };
    struct Case {
        const char* what;
        std::vector<Recording> recordings;
        const char* from;
        QStringList chain;
    };

    QStringList chainOf(const Case& c)
    {
        std::vector<std::unique_ptr<RecordingEntry>> owned;
        std::vector<const RecordingEntry*> entries;
        const RecordingEntry* current = nullptr;
        for (const Recording& r : c.recordings) {
            auto entry = std::make_unique<RecordingEntry>();
            entry->name = QString::fromUtf8(r.name);
            entry->startTime =
                r.start != 0 ? r.start
                             : OleDate::fromDateTime(
                                   QDateTime(QDate(2024, 6, 11), QTime(9, 0, 0)).addSecs(r.offset));
            entry->duration = r.length < 0                ? OleDate::kNoDuration
                              : r.length == int(r.length) ? OleDate::fromSeconds(qint64(r.length))
                                                          : r.length / OleDate::kSecondsPerDay;
            if (r.inProgress)
                entry->state = RecordingEntry::Recording;
            if (entry->name == QLatin1String(c.from))
                current = entry.get();
            entries.push_back(entry.get());
            owned.push_back(std::move(entry));
        }
        QStringList names;
        for (const RecordingEntry* entry : Joiner::followers(entries, current))
            names << entry->name;
        return names;
    }
};

TEST_F(JoinFollowers, RecordingsStartingWithinTenSecondsOfTheEndFollowInAChain)
{
    const std::vector<Case> cases = {
        {"five seconds after follows, fifteen do not",
         {{"first", 0, 60}, {"five after", 65, 30}, {"fifteen after", 110, 30}},
         "first",
         {"first", "five after"}},
        {"a gap of exactly ten seconds still follows",
         {{"a", 0, 20}, {"b", 30, 20}, {"c", 61, 20}},
         "a",
         {"a", "b"}},
        {"the nearest later start, whatever the list order",
         {{"third", 130, 10},
          {"first", 0, 60},
          {"unrelated", 5000, 10},
          {"second", 65, 60},
          {"earlier", -500, 10}},
         "first",
         {"first", "second", "third"}},
        // The chain goes on from "twin one" (ended at 67), so "after twins" at 70 follows.
        {"among equal starts the first in list order, the others never",
         {{"current", 0, 60}, {"twin one", 62, 5}, {"twin two", 62, 100}, {"after twins", 70, 5}},
         "current",
         {"current", "twin one", "after twins"}},
        {"the same start as the current never follows",
         {{"current", 0, 60}, {"same start", 0, 60}},
         "current",
         {"current"}},
        {"a recording in progress ends the chain",
         {{"a", 0, 10}, {"b", 12, 10, true}, {"c", 24, 10}},
         "a",
         {"a"}},
        {"a recording in progress has no chain",
         {{"a", 0, 10}, {"b", 12, 10, true}, {"c", 24, 10}},
         "b",
         {}},
        {"an unknown duration counts as nothing",
         {{"a", 0, -1}, {"b", 10, 10}, {"c", 40, 10}},
         "a",
         {"a", "b"}},
        {"an invalid start anywhere finds no follower",
         {{"a", 0, 60}, {"b", 61, 60}, {"broken", 0, 10, false, 1e12}},
         "a",
         {"a"}},
        // 59.6 s long, so the list shows 01:00 and the gap is counted from there.
        {"starts count to the whole second", {{"a", 0, 59.6}, {"b", 70, 10}}, "a", {"a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(chainOf(c), c.chain);
    }
}

} // namespace
