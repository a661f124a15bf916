#include "store/RecordingList.h"
#include "store/EntryTags.h"
#include "store/RecordingIndex.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

constexpr int kRecord = RecordingIndex::kBaseRecordSize;
constexpr int kOperatorRecord = RecordingIndex::kOperatorRecordSize;

class RecordingListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_audio = AudioFixtures::mpegStream(2.0); }

    void SetUp() override
    {
        ASSERT_FALSE(s_audio.isEmpty());
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
    }

    // A real recording: audio from the encoder with a complete tag in front.
    RecordingEntry makeRecording(const QString& name, const QString& notes = QString(),
                                 const QString& operatorName = QString(), int minute = 0)
    {
        RecordingEntry entry = TaggedRecording::entry(
            folder, name, OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(9, minute))));
        entry.notes = notes;
        entry.operatorName = operatorName;
        entry.duration = OleDate::fromSeconds(75);
        EXPECT_TRUE(TaggedRecording::write(entry, s_audio));
        return entry;
    }

    std::unique_ptr<RecordingList> load(const Settings& settings = Settings()) const
    {
        auto list = std::make_unique<RecordingList>();
        list->applySettings(settings);
        list->setFolder(folder);
        EXPECT_TRUE(list->LoadList());
        return list;
    }

    QString indexPath() const { return folder + RecordingList::indexFileName(); }
    QByteArray index() const { return AudioFixtures::readFile(indexPath()); }

    static QStringList names(const RecordingList& list)
    {
        QStringList out;
        for (const auto& entry : list.entries())
            out << entry->name;
        return out;
    }
    static QStringList sortedNames(const RecordingList& list)
    {
        QStringList out = names(list);
        out.sort();
        return out;
    }
    static void reload(RecordingList& list)
    {
        list.Clear();
        EXPECT_TRUE(list.LoadList());
    }

    static QByteArray s_audio;
    TestEnvironment env;
    QString folder;
};

QByteArray RecordingListTest::s_audio;

TEST_F(RecordingListTest, EmptyFolderGivesAnEmptyListAndAnEmptyIndexAndAMissingOneIsNotLoaded)
{
    const auto list = load();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_TRUE(list->indexOpen());
    ASSERT_TRUE(QFileInfo::exists(indexPath()));
    EXPECT_EQ(QFileInfo(indexPath()).size(), 0);

    RecordingList absent;
    absent.setFolder(env.root() + QStringLiteral("absent"));
    EXPECT_FALSE(absent.LoadList());
    EXPECT_EQ(absent.Count(), 0);
    EXPECT_FALSE(QFileInfo::exists(env.root() + QStringLiteral("absent")));
}

TEST_F(RecordingListTest, FilesWithoutIndexGetARecordEachAndTheNextLoadReadsTheRecords)
{
    makeRecording(QStringLiteral("Alpha"), QStringLiteral("first notes"));
    makeRecording(QStringLiteral("Beta"), QString(), QStringLiteral("Desk 2"));
    makeRecording(QStringLiteral("Gamma"));

    auto list = load();
    EXPECT_EQ(sortedNames(*list), (QStringList{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(index().size(), 2 * kRecord + kOperatorRecord);
    for (const auto& entry : list->entries())
        EXPECT_EQ(index().mid(entry->indexOffset, 260), RecordingIndex::field(entry->name));

    // A tag changed behind the index but dated before its last write: the record is trusted
    // and the tag not read.
    RecordingEntry changed = makeRecording(QStringLiteral("Alpha"), QStringLiteral("tag notes"));
    {
        QFile file(changed.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
    }
    reload(*list);
    EXPECT_EQ(list->FindByName(QStringLiteral("Alpha"))->notes, QStringLiteral("first notes"));
    EXPECT_EQ(list->FindByName(QStringLiteral("Beta"))->operatorName, QStringLiteral("Desk 2"));
    EXPECT_EQ(list->FindByName(QStringLiteral("Alpha"))->fileSize,
              uint32_t(QFileInfo(changed.filePath()).size()));
    EXPECT_EQ(index().size(), 2 * kRecord + kOperatorRecord);

    // Rebuilding reads every tag again.
    list->RebuildIndex();
    EXPECT_TRUE(list->indexOpen());
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(list->FindByName(QStringLiteral("Alpha"))->notes, QStringLiteral("tag notes"));
    EXPECT_EQ(index().size(), 2 * kRecord + kOperatorRecord);
}

TEST_F(RecordingListTest, AFileChangedAfterItsRecordWasWrittenIsReadAgainAndItsRecordMended)
{
    makeRecording(QStringLiteral("Alpha"), QStringLiteral("before"));
    makeRecording(QStringLiteral("Beta"), QStringLiteral("kept"));
    load().reset();
    // A command killed after it put the new file in place and before it wrote the record.
    RecordingEntry changed = makeRecording(QStringLiteral("Alpha"), QStringLiteral("after"));
    changed.isProtected = true;
    ASSERT_TRUE(EntryTags::WriteEntryTag(changed));
    for (int pass = 0; pass < 2; ++pass) { // the second load reads the mended record
        auto list = load();
        const RecordingEntry* alpha = list->FindByName(QStringLiteral("Alpha"));
        ASSERT_NE(alpha, nullptr);
        EXPECT_TRUE(alpha->isProtected) << pass;
        EXPECT_EQ(alpha->notes, QStringLiteral("after")) << pass;
        EXPECT_EQ(list->FindByName(QStringLiteral("Beta"))->notes, QStringLiteral("kept"));
    }
}

TEST_F(RecordingListTest, TemporaryAndOtherFilesAreNotListed)
{
    makeRecording(QStringLiteral("Real"));
    for (const char* name :
         {"tmp_nome_reg.dtm", "Join_Temporary.dtm", "tagTemporary.dtm", "notes.txt", "tempReg.prl"})
        ASSERT_TRUE(AudioFixtures::writeFile(folder + name, s_audio));
    QDir().mkpath(folder + QStringLiteral("folder.mp3"));
    const auto list = load();
    EXPECT_EQ(names(*list), QStringList{"Real"});
    EXPECT_EQ(index().size(), kRecord);
}

TEST_F(RecordingListTest, DeletedFilesMarkTheirRecordsAndMoreThanTenInOneLoadCompactTheIndex)
{
    for (int i = 0; i < 13; ++i)
        makeRecording(QStringLiteral("R%1").arg(i), {}, i == 12 ? QStringLiteral("Op") : QString());
    auto list = load();
    std::vector<uint32_t> goneOffsets;
    for (int i = 0; i < 10; ++i)
        goneOffsets.push_back(list->FindByName(QStringLiteral("R%1").arg(i))->indexOffset);
    list->Clear();
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(QFile::remove(folder + QStringLiteral("R%1.mp3").arg(i)));

    // Files deleted outside lose their entries; up to ten records stay in place, marked
    // deleted, and a second load changes nothing.
    ASSERT_TRUE(list->LoadList());
    EXPECT_EQ(sortedNames(*list), (QStringList{"R10", "R11", "R12"}));
    const QByteArray marked = index();
    EXPECT_EQ(marked.size(), 12 * kRecord + kOperatorRecord);
    for (const uint32_t offset : goneOffsets)
        EXPECT_EQ(marked[offset + 260], '1');
    EXPECT_EQ(marked[list->FindByName(QStringLiteral("R10"))->indexOffset + 260], '0');
    reload(*list);
    EXPECT_EQ(index(), marked);
    list->Clear();

    // One more makes eleven found in one load: the index is rewritten without them.
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("R10.mp3")));
    ASSERT_TRUE(list->LoadList());
    EXPECT_EQ(sortedNames(*list), (QStringList{"R11", "R12"}));
    const QByteArray bytes = index();
    ASSERT_EQ(bytes.size(), kRecord + kOperatorRecord);
    for (const auto& entry : list->entries())
        EXPECT_EQ(bytes.mid(entry->indexOffset, RecordingIndex::recordSize(*entry)),
                  RecordingIndex::encodeRecord(*entry));

    reload(*list);
    EXPECT_EQ(sortedNames(*list), (QStringList{"R11", "R12"}));
    EXPECT_EQ(list->FindByName(QStringLiteral("R12"))->operatorName, QStringLiteral("Op"));
}

TEST_F(RecordingListTest, FileRenamedInCaseOutsideKeepsItsRecordAndTakesTheFileName)
{
    makeRecording(QStringLiteral("Meeting"), QStringLiteral("from the index"));
    auto list = load();
    list->Clear();
    ASSERT_TRUE(QFile::rename(folder + QStringLiteral("Meeting.mp3"),
                              folder + QStringLiteral("MEETING.mp3")));

    ASSERT_TRUE(list->LoadList());
    ASSERT_EQ(list->Count(), 1);
    RecordingEntry* entry = list->at(0);
    EXPECT_EQ(entry->name, QStringLiteral("MEETING"));
    EXPECT_EQ(entry->notes, QStringLiteral("from the index"));
    EXPECT_EQ(entry->state, RecordingEntry::Modified); // its tag still says "Meeting"
    EXPECT_EQ(list->FindByName(QStringLiteral("Meeting")), nullptr);
    EXPECT_EQ(list->FindByName(QStringLiteral("MEETING")), entry);
    EXPECT_EQ(list->FindByNameIgnoringCase(QStringLiteral("meeting")), entry);
    EXPECT_EQ(index(), RecordingIndex::encodeRecord(*entry));

    EXPECT_TRUE(list->SaveModified());
    EXPECT_EQ(tagText(entry->filePath(), "TIT2"), QStringLiteral("MEETING"));
}

TEST_F(RecordingListTest, TwoFilesDifferingInCaseEachKeepTheirOwnRecord)
{
    makeRecording(QStringLiteral("Call"), QStringLiteral("lower"));
    makeRecording(QStringLiteral("CALL"), QStringLiteral("upper"));
    auto list = load();
    const QByteArray first = index();
    reload(*list);
    EXPECT_EQ(sortedNames(*list), (QStringList{"CALL", "Call"}));
    EXPECT_EQ(list->FindByName(QStringLiteral("Call"))->notes, QStringLiteral("lower"));
    EXPECT_EQ(list->FindByName(QStringLiteral("CALL"))->notes, QStringLiteral("upper"));
    EXPECT_EQ(index(), first);
}

TEST_F(RecordingListTest, TruncatedLastRecordIsDroppedAndTheIndexCutAtItsStart)
{
    makeRecording(QStringLiteral("Kept"));
    auto list = load();
    list->Clear();
    RecordingEntry orphan;
    orphan.name = QStringLiteral("Half written");
    orphan.operatorName = QStringLiteral("Op");
    QFile file(indexPath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(RecordingIndex::encodeRecord(orphan).first(700));
    file.close();

    ASSERT_TRUE(list->LoadList());
    EXPECT_EQ(names(*list), QStringList{"Kept"});
    EXPECT_EQ(index().size(), kRecord);
}

TEST_F(RecordingListTest, DamagedIndexNeverHidesTheRecordings)
{
    makeRecording(QStringLiteral("One"));
    makeRecording(QStringLiteral("Two"));
    QRandomGenerator random(99);
    QByteArray garbage(20000, '\0');
    for (char& c : garbage)
        c = char(random.bounded(256));
    RecordingEntry nan;
    nan.name = QStringLiteral("One");
    nan.startTime = std::numeric_limits<double>::quiet_NaN();
    nan.duration = std::numeric_limits<double>::infinity();
    ASSERT_TRUE(AudioFixtures::writeFile(indexPath(), RecordingIndex::encodeRecord(nan) + garbage));

    auto list = load();
    EXPECT_EQ(sortedNames(*list), (QStringList{"One", "Two"}));
    EXPECT_EQ(list->FindByName(QStringLiteral("One"))->startTime, 0.0);
    // Sorting by date and by duration copes with the broken values.
    list->Sort(RecordingList::SortKey::Date, false);
    list->Sort(RecordingList::SortKey::Duration, true);
    reload(*list);
    EXPECT_EQ(sortedNames(*list), (QStringList{"One", "Two"}));
}

TEST_F(RecordingListTest, SecondListOnAHeldFolderReadsTagsAndChangesNothing)
{
    makeRecording(QStringLiteral("Alpha"));
    makeRecording(QStringLiteral("Beta"));
    auto first = load();
    ASSERT_TRUE(first->holdsFolder());
    ASSERT_TRUE(first->indexOpen());
    const QByteArray before = index();
    const QByteArray alpha = AudioFixtures::readFile(folder + QStringLiteral("Alpha.mp3"));

    auto second = load();
    EXPECT_FALSE(second->holdsFolder());
    EXPECT_EQ(second->folderAccess(), FolderLock::Result::Busy);
    EXPECT_FALSE(second->indexOpen());
    EXPECT_EQ(sortedNames(*second), (QStringList{"Alpha", "Beta"}));
    RecordingEntry* entry = second->FindByName(QStringLiteral("Alpha"));
    entry->notes = QStringLiteral("changed");
    entry->state = RecordingEntry::Modified;
    EXPECT_FALSE(second->SaveModified());
    EXPECT_FALSE(
        second->DeleteRecordings({QStringLiteral("Beta")}, RecordingList::Removal::ToTrash));
    EXPECT_EQ(index(), before);
    EXPECT_EQ(AudioFixtures::readFile(folder + QStringLiteral("Alpha.mp3")), alpha);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("Beta.mp3")));

    // A reload keeps the lock; once its holder is gone the folder is free for the other list.
    first->Clear();
    EXPECT_FALSE(second->tryTakeFolder());
    first.reset();
    ASSERT_TRUE(second->tryTakeFolder());
    reload(*second);
    EXPECT_TRUE(second->indexOpen());
}

TEST_F(RecordingListTest, DisabledIndexIsNeitherReadNorWritten)
{
    makeRecording(QStringLiteral("Alpha"));
    Settings settings;
    settings.indexDisabled = true;
    auto list = load(settings);
    EXPECT_FALSE(list->indexOpen());
    EXPECT_EQ(names(*list), QStringList{"Alpha"});
    EXPECT_FALSE(QFileInfo::exists(indexPath()));
}

TEST_F(RecordingListTest, DefaultNameSkipsNamesThatBeginAnExistingFileName)
{
    makeRecording(QStringLiteral("Recording 12"));
    auto list = load();
    RecordingEntry* entry = list->NewEntry(QString(), QString());
    EXPECT_EQ(entry->name, QStringLiteral("Recording 2"));
    EXPECT_EQ(entry->state, RecordingEntry::Recording);
    EXPECT_EQ(entry->folder, folder);
    EXPECT_EQ(entry->duration, 0.0);
    EXPECT_EQ(list->NewEntry(QString(), QString())->name, QStringLiteral("Recording 3"));
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(index().size(), 3 * kRecord);
    EXPECT_EQ(index().mid(entry->indexOffset, 260), RecordingIndex::field(entry->name));
}

TEST_F(RecordingListTest, OperatorPrefixAndGivenNamesAreNumberedWhenTaken)
{
    makeRecording(QStringLiteral("desk 2 - recording 1")); // taken ignoring case
    makeRecording(QStringLiteral("Call"));
    auto list = load();
    EXPECT_EQ(list->NewEntry(QString(), QStringLiteral("Desk 2"))->name,
              QStringLiteral("Desk 2 - Recording 2"));
    EXPECT_EQ(list->NewEntry(QStringLiteral("Call"), QString())->name, QStringLiteral("Call4"));
    EXPECT_EQ(list->NewEntry(QStringLiteral("Fresh"), QString())->name, QStringLiteral("Fresh"));
    // An entry still being recorded has no file, but its name is taken all the same.
    EXPECT_EQ(list->NewEntry(QStringLiteral("Fresh"), QString())->name, QStringLiteral("Fresh7"));
}

TEST_F(RecordingListTest, RecordKeepsItsPlaceUnlessGainingOrLosingTheOperatorMovesIt)
{
    makeRecording(QStringLiteral("A"));
    makeRecording(QStringLiteral("B"));
    makeRecording(QStringLiteral("C"));
    auto list = load();
    RecordingEntry* middle = nullptr;
    for (const auto& entry : list->entries()) {
        if (entry->indexOffset == uint32_t(kRecord))
            middle = entry.get();
    }
    ASSERT_TRUE(middle);
    middle->notes = QStringLiteral("new notes");
    list->UpdateRecord(*middle);
    EXPECT_EQ(middle->indexOffset, uint32_t(kRecord));
    const QByteArray before = index();
    ASSERT_EQ(before.size(), 3 * kRecord);
    EXPECT_EQ(before.mid(kRecord, kRecord), RecordingIndex::encodeRecord(*middle));

    middle->operatorName = QStringLiteral("Desk 2");
    list->UpdateRecord(*middle);
    QByteArray after = index();
    ASSERT_EQ(after.size(), 3 * kRecord + kOperatorRecord);
    EXPECT_EQ(after.first(kRecord), before.first(kRecord));
    EXPECT_EQ(after.mid(2 * kRecord, kRecord), before.mid(2 * kRecord, kRecord));
    EXPECT_EQ(after[kRecord + 260], '1');
    EXPECT_EQ(middle->indexOffset, uint32_t(3 * kRecord));
    EXPECT_EQ(after.mid(3 * kRecord), RecordingIndex::encodeRecord(*middle));

    middle->operatorName.clear();
    list->UpdateRecord(*middle);
    after = index();
    ASSERT_EQ(after.size(), 4 * kRecord + kOperatorRecord);
    EXPECT_EQ(after[3 * kRecord + 260], '1');
    EXPECT_EQ(middle->indexOffset, uint32_t(3 * kRecord + kOperatorRecord));

    const QString name = middle->name;
    reload(*list);
    EXPECT_EQ(sortedNames(*list), (QStringList{"A", "B", "C"}));
    EXPECT_TRUE(list->FindByName(name)->operatorName.isEmpty());
}

TEST_F(RecordingListTest, LongNotesAreCutAtACharacterInTheIndexButStayWholeInTheTag)
{
    const QString notes = QString(200, QChar(0xE9)) + QStringLiteral(" end"); // 404 bytes
    const QString operatorName = QString(100, QChar(0x20AC));                 // 300 bytes
    const RecordingEntry made = makeRecording(QStringLiteral("Long"), notes, operatorName);
    auto list = load();
    EXPECT_EQ(list->at(0)->notes, notes); // read from the tag this time
    const QByteArray record = index().mid(list->at(0)->indexOffset);
    EXPECT_EQ(record.mid(278, 260), RecordingIndex::field(QString(130, QChar(0xE9))));
    reload(*list);
    // The cut index texts are taken whole from the tag, so a later save cannot shorten them.
    EXPECT_EQ(list->at(0)->notes, notes);
    EXPECT_EQ(list->at(0)->operatorName, operatorName);
    list->at(0)->state = RecordingEntry::Modified;
    ASSERT_TRUE(list->SaveModified());
    EXPECT_EQ(tagText(made.filePath(), "COMM"), notes);
    EXPECT_EQ(tagText(made.filePath(), "TALB"), operatorName);
}

TEST_F(RecordingListTest, SaveModifiedWritesTagsAndRecordsAndReportsProgress)
{
    for (const char* name : {"A", "B", "C", "D"})
        makeRecording(QString::fromLatin1(name));
    auto list = load();
    for (const char* name : {"A", "B", "C"}) {
        RecordingEntry* entry = list->FindByName(QString::fromLatin1(name));
        entry->notes = QStringLiteral("saved ") + QString::fromLatin1(name);
        entry->state = RecordingEntry::Modified;
    }
    std::vector<std::pair<int, int>> calls;
    EXPECT_TRUE(list->SaveModified([&](int done, int total) { calls.emplace_back(done, total); }));
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(tagText(folder + QStringLiteral("B.mp3"), "COMM"), QStringLiteral("saved B"));
    for (const auto& entry : list->entries())
        EXPECT_EQ(entry->state, RecordingEntry::Saved);

    reload(*list);
    EXPECT_EQ(list->FindByName(QStringLiteral("C"))->notes, QStringLiteral("saved C"));

    // Two tags to write show no progress.
    calls.clear();
    list->FindByName(QStringLiteral("A"))->state = RecordingEntry::Modified;
    list->FindByName(QStringLiteral("D"))->state = RecordingEntry::Modified;
    EXPECT_TRUE(list->SaveModified([&](int done, int total) { calls.emplace_back(done, total); }));
    EXPECT_TRUE(calls.empty());

    // A tag that cannot be written is reported and stays to be saved.
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("A.mp3")));
    list->FindByName(QStringLiteral("A"))->state = RecordingEntry::Modified;
    EXPECT_FALSE(list->SaveModified());
    EXPECT_EQ(list->FindByName(QStringLiteral("A"))->state, RecordingEntry::Modified);
}

TEST_F(RecordingListTest, RefreshEntryRereadsTheTagMeasuresTheAudioAndRewritesTheRecord)
{
    makeRecording(QStringLiteral("A"));
    auto list = load();
    RecordingEntry* entry = list->at(0);
    EXPECT_EQ(OleDate::toSeconds(entry->duration), 75); // what the tag says
    makeRecording(QStringLiteral("A"), QStringLiteral("changed behind"), QStringLiteral("Op"));

    list->RefreshEntry(*entry);
    EXPECT_EQ(entry->notes, QStringLiteral("changed behind"));
    EXPECT_EQ(entry->operatorName, QStringLiteral("Op"));
    EXPECT_EQ(OleDate::toSeconds(entry->duration), 2); // measured from the audio
    reload(*list);
    EXPECT_EQ(list->at(0)->notes, QStringLiteral("changed behind"));
    EXPECT_EQ(list->at(0)->operatorName, QStringLiteral("Op"));

    // An entry without a file (still recording) is left alone.
    RecordingEntry* live = list->NewEntry(QStringLiteral("Live"), QString());
    live->notes = QStringLiteral("typed");
    list->RefreshEntry(*live);
    EXPECT_EQ(live->notes, QStringLiteral("typed"));
    EXPECT_EQ(live->state, RecordingEntry::Recording);
    EXPECT_FALSE(QFileInfo::exists(live->filePath()));
}

TEST_F(RecordingListTest, DeletedRecordingsGoToTheTrashAndTheirRecordsAreMarked)
{
    makeRecording(QStringLiteral("A"));
    makeRecording(QStringLiteral("B"));
    makeRecording(QStringLiteral("C"));
    auto list = load();
    const uint32_t a = list->FindByName(QStringLiteral("A"))->indexOffset;
    const uint32_t c = list->FindByName(QStringLiteral("C"))->indexOffset;

    // A name not in the list (names are matched in their case) stops the whole deletion.
    const QByteArray before = index();
    EXPECT_FALSE(list->DeleteRecordings({QStringLiteral("A"), QStringLiteral("a")},
                                        RecordingList::Removal::ToTrash));
    EXPECT_EQ(list->Count(), 3);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("A.mp3")));
    EXPECT_EQ(index(), before);

    ASSERT_TRUE(list->DeleteRecordings({QStringLiteral("A"), QStringLiteral("C")},
                                       RecordingList::Removal::ToTrash));
    EXPECT_EQ(names(*list), QStringList{"B"});
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("A.mp3")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("C.mp3")));
    const QString trash = env.root() + QStringLiteral("data/Trash/files/");
    EXPECT_TRUE(AudioFixtures::readFile(trash + QStringLiteral("A.mp3")).endsWith(s_audio));
    EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("C.mp3")));
    EXPECT_EQ(index()[a + 260], '1');
    EXPECT_EQ(index()[c + 260], '1');
    reload(*list);
    EXPECT_EQ(names(*list), QStringList{"B"});

    // Entries are removed without their files when asked, or when they have none.
    list->NewEntry(QStringLiteral("Cancelled"), QString());
    ASSERT_TRUE(
        list->DeleteRecordings({QStringLiteral("Cancelled")}, RecordingList::Removal::ToTrash));
    ASSERT_TRUE(list->DeleteRecordings({QStringLiteral("B")}, RecordingList::Removal::KeepFiles));
    EXPECT_EQ(list->Count(), 0);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("B.mp3")));
}

TEST_F(RecordingListTest, WhenTheTrashRefusesNothingIsRemoved)
{
    makeRecording(QStringLiteral("A"));
    makeRecording(QStringLiteral("B"));
    auto list = load();
    const QByteArray before = index();
    // A plain file where the trash folder should be: nothing can be moved into it.
    QDir().mkpath(env.root() + QStringLiteral("data"));
    ASSERT_TRUE(AudioFixtures::writeFile(env.root() + QStringLiteral("data/Trash"), "x"));
    // Qt 6.4 moves a file into "files" under the current folder when it cannot set up the
    // trash; should that happen, the stray file stays inside this test's folder.
    const QString scratch = env.root() + QStringLiteral("cwd/");
    QDir().mkpath(scratch);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(scratch));
    const bool deletedOne =
        list->DeleteRecordings({QStringLiteral("A")}, RecordingList::Removal::ToTrash);
    const bool deletedTwo = list->DeleteRecordings({QStringLiteral("B"), QStringLiteral("A")},
                                                   RecordingList::Removal::ToTrash);
    QDir::setCurrent(previous);

    EXPECT_FALSE(deletedOne);
    EXPECT_FALSE(deletedTwo);
    EXPECT_EQ(sortedNames(*list), (QStringList{"A", "B"}));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("A.mp3")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("B.mp3")));
    EXPECT_EQ(index(), before);
}

class RecordingListSortTest : public ::testing::Test {
protected:
    RecordingEntry* add(const QString& name)
    {
        auto entry = std::make_unique<RecordingEntry>();
        entry->name = name;
        return list.AddEntry(std::move(entry));
    }

    TestEnvironment env;
    RecordingList list;
};

// The list's own sort, pass by pass: each element moves in front of its predecessor while
// its key is strictly smaller (ascending) or greater (descending).
template <typename Less>
void passSort(std::vector<RecordingEntry*>& items, Less less, bool ascending)
{
    bool moved = true;
    while (moved) {
        moved = false;
        for (size_t i = items.size() - 1; i > 0; --i) {
            const bool before =
                ascending ? less(*items[i], *items[i - 1]) : less(*items[i - 1], *items[i]);
            if (before) {
                std::swap(items[i], items[i - 1]);
                moved = true;
            }
        }
    }
}

TEST_F(RecordingListSortTest, EveryKeyOrdersAsThePassAlgorithmDoes)
{
    QRandomGenerator random(7);
    // Past U+FFFF and above the surrogates too: texts order as their UTF-8 bytes do.
    const QStringList words{"alpha", "Alpha", "ALPHA", "beta", "Beta", "é",
                            "É",     "z",     "",      "😀",    "Ａ"};
    for (int i = 0; i < 200; ++i) {
        RecordingEntry* entry =
            add(words[random.bounded(int(words.size()))] + QString::number(random.bounded(3)));
        entry->startTime = 45000 + random.bounded(5) / 4.0;
        entry->duration = random.bounded(4) == 0 ? OleDate::kNoDuration : random.bounded(3) / 8.0;
        entry->notes = words[random.bounded(int(words.size()))];
        entry->fileSize = random.bounded(4) * 1000u;
        entry->isProtected = random.bounded(2) == 1;
        entry->keyWord = QString::number(i); // identity, for comparing orders
    }
    const auto byName = [](const RecordingEntry& a, const RecordingEntry& b) {
        return a.name.toUpper().toUtf8() < b.name.toUpper().toUtf8();
    };
    using Key = RecordingList::SortKey;
    const std::vector<
        std::pair<Key, std::function<bool(const RecordingEntry&, const RecordingEntry&)>>>
        keys{
            {Key::Date, [](auto& a, auto& b) { return a.startTime < b.startTime; }},
            {Key::Notes, [](auto& a, auto& b) { return a.notes.toUtf8() < b.notes.toUtf8(); }},
            {Key::Duration, [](auto& a, auto& b) { return a.duration < b.duration; }},
            {Key::Size, [](auto& a, auto& b) { return a.fileSize < b.fileSize; }},
            {Key::Protected, [](auto& a, auto& b) { return !a.isProtected && b.isProtected; }},
            {Key::Name, byName},
        };
    for (const auto& [key, less] : keys) {
        for (const bool ascending : {true, false}) {
            std::vector<RecordingEntry*> expected;
            for (const auto& entry : list.entries())
                expected.push_back(entry.get());
            passSort(expected, less, ascending);
            list.Sort(key, ascending);
            for (size_t i = 0; i < expected.size(); ++i)
                ASSERT_EQ(list.at(int(i))->keyWord, expected[i]->keyWord)
                    << "key " << int(key) << (ascending ? " ascending" : " descending");
        }
    }
}

} // namespace
