#include "store/Importer.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingEntry.h"
#include "store/RecordingIndex.h"
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

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using Kind = Importer::Outcome::Kind;

class ImporterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + u"rec/"_s;
        sources = env.root() + u"chosen/"_s;
        QDir().mkpath(folder);
        QDir().mkpath(sources);
        audio = AudioFixtures::mpegStream(2.0);
        ASSERT_FALSE(audio.isEmpty());
        list = std::make_unique<RecordingList>();
        list->setFolder(folder);
        ASSERT_TRUE(list->LoadList());
    }

    // A file as another Parlune or the user left it: a tag of this system, then audio.
    QString taggedSource(const QString& fileName, const QString& tagName, const QDateTime& start,
                         const QString& notes, bool isProtected)
    {
        RecordingEntry entry = TaggedRecording::entry(env.root() + u"tagging/"_s, tagName,
                                                      OleDate::fromDateTime(start));
        QDir().mkpath(entry.folder);
        entry.duration = OleDate::fromSeconds(2);
        entry.notes = notes;
        entry.isProtected = isProtected;
        entry.operatorName = u"Desk 2"_s;
        EXPECT_TRUE(TaggedRecording::write(entry, audio));
        const QString path = sources + fileName;
        EXPECT_TRUE(QFile::rename(entry.filePath(), path));
        return path;
    }
    QString untaggedSource(const QString& fileName)
    {
        const QString path = sources + fileName;
        EXPECT_TRUE(AudioFixtures::writeFile(path, audio));
        return path;
    }
    QStringList namesInList() const
    {
        QStringList names;
        for (const auto& entry : list->entries())
            names << entry->name;
        names.sort();
        return names;
    }
    QStringList filesInFolder() const
    {
        return QDir(folder).entryList({u"*"_s}, QDir::Files, QDir::Name);
    }
    TestEnvironment env;
    QString folder;
    QString sources;
    QByteArray audio;
    std::unique_ptr<RecordingList> list;
};

TEST_F(ImporterTest, ImportedRecordingsAreNamedAfterTheirFilesInTheOrderGiven)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {u"b.mp3"_s, u"b"_s},
        {u"TALK.MP3"_s, u"TALK"_s}, // the extension in any case
        {u"Mixed.Mp3"_s, u"Mixed"_s},
        {u"tagTemporary.mp3"_s, u"tagTemporary(1)"_s}, // reserved
        {u".mp3"_s, u"(1)"_s},                         // empty
        // Characters a recording name cannot hold become underscores.
        {u"who? at 10:30 <a|b> *\\\"x\"\nend.mp3"_s, u"who_ at 10_30 _a_b_ ___x__end"_s},
        {u"a.mp3"_s, u"a"_s},
    };
    QStringList paths;
    for (const auto& [file, name] : cases)
        paths << untaggedSource(file);
    const auto result = Importer::ImportRecordings(*list, paths);
    ASSERT_EQ(result.outcomes.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first.toStdString());
        EXPECT_EQ(result.outcomes[i].kind, Kind::Imported);
        EXPECT_EQ(result.outcomes[i].name, cases[i].second);
        EXPECT_EQ(tagText(folder + cases[i].second + u".mp3"_s, "TIT2"), cases[i].second);
    }
    EXPECT_EQ(result.lastImported, u"a"_s);

    // The same file again is numbered, and the chosen file is only read.
    const auto again = Importer::ImportRecordings(*list, {paths[1]});
    ASSERT_EQ(again.outcomes.size(), 1u);
    EXPECT_EQ(again.outcomes[0].name, u"TALK(1)"_s);
    EXPECT_EQ(again.lastImported, u"TALK(1)"_s);
    EXPECT_TRUE(again.saved);
    EXPECT_TRUE(list->FindByName(u"TALK(1)"_s));
    EXPECT_EQ(list->Count(), qsizetype(cases.size()) + 1);
    EXPECT_EQ(afterTag(folder + u"TALK(1).mp3"_s), audio);
    EXPECT_EQ(AudioFixtures::readFile(paths[1]), audio);
}

TEST_F(ImporterTest, TaggedFileKeepsDateNotesAndProtectionAnUntaggedOneGetsATagAndBothAreIndexed)
{
    const QDateTime start(QDate(2023, 7, 14), QTime(9, 30, 15));
    const QString path =
        taggedSource(u"meeting.mp3"_s, u"original"_s, start, u"call Bob back"_s, true);
    const QByteArray before = AudioFixtures::readFile(path);
    const QDateTime now = QDateTime::currentDateTime().addSecs(-1);

    const auto result = Importer::ImportRecordings(*list, {path, untaggedSource(u"plain.mp3"_s)});

    ASSERT_EQ(result.outcomes.size(), 2u);
    const RecordingEntry* entry = list->FindByName(u"meeting"_s);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(OleDate::toDateTime(entry->startTime), start);
    EXPECT_EQ(entry->notes, u"call Bob back"_s);
    EXPECT_TRUE(entry->isProtected);
    EXPECT_EQ(entry->operatorName, u"Desk 2"_s);
    const QString copy = folder + u"meeting.mp3"_s;
    EXPECT_EQ(tagText(copy, "TIT2"), u"meeting"_s); // the title follows the name
    EXPECT_EQ(tagText(copy, "COMM"), u"call Bob back"_s);
    EXPECT_EQ(tagText(copy, "TXXX"), u"Protetta"_s);
    EXPECT_EQ(afterTag(copy), audio);
    EXPECT_EQ(qsizetype(entry->tagSize), AudioFixtures::readFile(copy).size() - audio.size());
    EXPECT_EQ(AudioFixtures::readFile(path), before);

    const QString plainCopy = folder + u"plain.mp3"_s;
    EXPECT_EQ(AudioFixtures::readFile(plainCopy).left(3), QByteArray("ID3"));
    EXPECT_EQ(tagText(plainCopy, "TIT2"), u"plain"_s);
    EXPECT_EQ(tagText(plainCopy, "TXXX"), u"Non Protetta"_s);
    EXPECT_EQ(afterTag(plainCopy), audio);
    const RecordingEntry* plain = list->FindByName(u"plain"_s);
    ASSERT_NE(plain, nullptr);
    EXPECT_GE(OleDate::toDateTime(plain->startTime), now);
    EXPECT_TRUE(plain->notes.isEmpty());
    EXPECT_FALSE(plain->isProtected);
    list.reset();

    // The index alone, as the next start reads it before looking at any file.
    const QByteArray index = AudioFixtures::readFile(folder + RecordingList::indexFileName());
    QStringList live;
    for (qsizetype at = 0, consumed = 0; at < index.size(); at += consumed) {
        const auto record =
            RecordingIndex::decodeRecord(QByteArrayView(index).sliced(at), consumed);
        ASSERT_TRUE(record.has_value());
        if (record->deleted != RecordingEntry::kRecordDeleted)
            live << record->name;
    }
    live.sort();
    EXPECT_EQ(live, QStringList({u"meeting"_s, u"plain"_s}));
    RecordingList reloaded;
    reloaded.setFolder(folder);
    ASSERT_TRUE(reloaded.LoadList());
    ASSERT_TRUE(reloaded.indexOpen());
    ASSERT_NE(reloaded.FindByName(u"meeting"_s), nullptr);
    EXPECT_EQ(reloaded.FindByName(u"meeting"_s)->notes, u"call Bob back"_s);
    EXPECT_NE(reloaded.FindByName(u"plain"_s), nullptr);
}

TEST_F(ImporterTest, NamesTakenIgnoringCaseByRecordingsOrFilesAreNumbered)
{
    ASSERT_TRUE(AudioFixtures::writeFile(folder + u"Talk.mp3"_s, audio));
    list->Clear();
    ASSERT_TRUE(list->LoadList());
    const QByteArray existing = AudioFixtures::readFile(folder + u"Talk.mp3"_s);
    // A file that is no recording of the list still owns its name.
    ASSERT_TRUE(AudioFixtures::writeFile(folder + u"TALK(1).MP3"_s, audio));
    // A recording still being recorded has no file yet.
    RecordingEntry* recording = list->NewEntry(u"Talk(2)"_s, QString());
    ASSERT_NE(recording, nullptr);

    const auto result = Importer::ImportRecordings(*list, {untaggedSource(u"talk.mp3"_s)});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].name, u"talk(3)"_s);
    EXPECT_EQ(AudioFixtures::readFile(folder + u"Talk.mp3"_s), existing)
        << "an existing recording is never replaced";
}

TEST_F(ImporterTest, FilesThatAreNotMp3OrCannotBeCopiedAreRefusedAndTheOthersGoOn)
{
    const QString wav = sources + u"call.wav"_s;
    const QString bare = sources + u"mp3"_s;
    const QString inner = sources + u"call.mp3.bak"_s;
    for (const QString& path : {wav, bare, inner})
        ASSERT_TRUE(AudioFixtures::writeFile(path, audio));
    const QString folderNamedMp3 = sources + u"x.mp3"_s;
    ASSERT_TRUE(QDir().mkpath(folderNamedMp3));
    const QString pipe = sources + u"pipe.mp3"_s;
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString missing = sources + u"gone.mp3"_s;
    // Files with nothing to listen to: empty, a tag alone, text.
    const QString empty = sources + u"empty.mp3"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(empty, QByteArray()));
    const RecordingEntry tagOnly = TaggedRecording::entry(sources, u"tag only"_s, 0);
    ASSERT_TRUE(AudioFixtures::writeFile(tagOnly.filePath(),
                                         Id3Tag::encodeTag(EntryTags::entryFrames(tagOnly))));
    const QString text = sources + u"notes.mp3"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(text, QByteArray("call Anna back on Monday\n")));

    const auto result =
        Importer::ImportRecordings(*list, {wav, folderNamedMp3, untaggedSource(u"ok.mp3"_s), bare,
                                           pipe, inner, missing, empty, tagOnly.filePath(), text});

    const std::vector<Kind> kinds = {
        Kind::WrongType, Kind::CopyFailed, Kind::Imported, Kind::WrongType, Kind::CopyFailed,
        Kind::WrongType, Kind::CopyFailed, Kind::NoAudio,  Kind::NoAudio,   Kind::NoAudio};
    ASSERT_EQ(result.outcomes.size(), kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(result.outcomes[i].kind, kinds[i]) << i;
    // A refusal names its file.
    EXPECT_TRUE(result.outcomes[7].message.contains(u"empty.mp3"_s));
    EXPECT_EQ(result.lastImported, u"ok"_s);
    EXPECT_EQ(namesInList(), QStringList({u"ok"_s}));
    EXPECT_EQ(filesInFolder(), QStringList({u"Index.txt"_s, u"ok.mp3"_s}));
}

TEST_F(ImporterTest, ATagThatCannotBeWrittenIsReported)
{
    TmpfsMount disk(env.root() + u"small/"_s, 1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    RecordingList small;
    small.setFolder(env.root() + u"small/"_s);
    ASSERT_TRUE(small.LoadList());
    // Its tag names it otherwise, so the import must write a new one.
    const QString source = taggedSource(u"talk.mp3"_s, u"older name"_s,
                                        QDateTime::currentDateTime(), QString(), false);
    // Room for the copy and the index record, none for the copy a tag rewrite makes.
    ASSERT_TRUE(disk.fill(QFileInfo(source).size() + 4096));

    const auto result = Importer::ImportRecordings(small, {source});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::Imported);
    EXPECT_FALSE(result.saved);
    EXPECT_EQ(tagText(env.root() + u"small/talk.mp3"_s, "TIT2"), u"older name"_s);
}

TEST_F(ImporterTest, AWorkingFolderThatCannotBeWrittenMakesNoEntry)
{
    // A path that is a file where the folder should be: no copy can be made there.
    const QString blocked = env.root() + u"blocked"_s;
    ASSERT_TRUE(AudioFixtures::writeFile(blocked, "x"));
    RecordingList elsewhere;
    elsewhere.setFolder(blocked + u'/');

    const auto result = Importer::ImportRecordings(elsewhere, {untaggedSource(u"talk.mp3"_s)});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::CopyFailed);
    EXPECT_EQ(elsewhere.Count(), 0);
    EXPECT_TRUE(result.lastImported.isEmpty());
}

} // namespace
