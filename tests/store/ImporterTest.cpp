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

namespace {

using Kind = Importer::Outcome::Kind;

class ImporterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        sources = env.root() + QStringLiteral("chosen/");
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
        RecordingEntry entry = TaggedRecording::entry(env.root() + QStringLiteral("tagging/"),
                                                      tagName, OleDate::fromDateTime(start));
        QDir().mkpath(entry.folder);
        entry.duration = OleDate::fromSeconds(2);
        entry.notes = notes;
        entry.isProtected = isProtected;
        entry.operatorName = QStringLiteral("Desk 2");
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
        return QDir(folder).entryList({QStringLiteral("*")}, QDir::Files, QDir::Name);
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
        {QStringLiteral("b.mp3"), QStringLiteral("b")},
        {QStringLiteral("TALK.MP3"), QStringLiteral("TALK")}, // the extension in any case
        {QStringLiteral("Mixed.Mp3"), QStringLiteral("Mixed")},
        {QStringLiteral("tagTemporary.mp3"), QStringLiteral("tagTemporary(1)")}, // reserved
        {QStringLiteral(".mp3"), QStringLiteral("(1)")},                         // empty
        // Characters a recording name cannot hold become underscores.
        {QStringLiteral("who? at 10:30 <a|b> *\\\"x\"\nend.mp3"),
         QStringLiteral("who_ at 10_30 _a_b_ ___x__end")},
        {QStringLiteral("a.mp3"), QStringLiteral("a")},
    };
    QStringList paths;
    for (const auto& [file, name] : cases)
        paths << untaggedSource(file);
    const auto result = Importer::ImportRecordings(*list, paths);
    ASSERT_EQ(result.outcomes.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first.toStdString());
        EXPECT_EQ(result.outcomes[i].kind, Kind::Imported);
        EXPECT_EQ(result.outcomes[i].messageId, 0);
        EXPECT_EQ(result.outcomes[i].name, cases[i].second);
        EXPECT_EQ(tagText(folder + cases[i].second + QStringLiteral(".mp3"), "TIT2"),
                  cases[i].second);
    }
    EXPECT_EQ(result.lastImported, QStringLiteral("a"));

    // The same file again is numbered, and the chosen file is only read.
    const auto again = Importer::ImportRecordings(*list, {paths[1]});
    ASSERT_EQ(again.outcomes.size(), 1u);
    EXPECT_EQ(again.outcomes[0].name, QStringLiteral("TALK(1)"));
    EXPECT_EQ(again.lastImported, QStringLiteral("TALK(1)"));
    EXPECT_TRUE(again.saved);
    EXPECT_TRUE(list->FindByName(QStringLiteral("TALK(1)")));
    EXPECT_EQ(list->Count(), qsizetype(cases.size()) + 1);
    EXPECT_EQ(afterTag(folder + QStringLiteral("TALK(1).mp3")), audio);
    EXPECT_EQ(AudioFixtures::readFile(paths[1]), audio);
}

TEST_F(ImporterTest, TaggedFileKeepsDateNotesAndProtectionAnUntaggedOneGetsATagAndBothAreIndexed)
{
    const QDateTime start(QDate(2023, 7, 14), QTime(9, 30, 15));
    const QString path = taggedSource(QStringLiteral("meeting.mp3"), QStringLiteral("original"),
                                      start, QStringLiteral("call Bob back"), true);
    const QByteArray before = AudioFixtures::readFile(path);
    const QDateTime now = QDateTime::currentDateTime().addSecs(-1);

    const auto result =
        Importer::ImportRecordings(*list, {path, untaggedSource(QStringLiteral("plain.mp3"))});

    ASSERT_EQ(result.outcomes.size(), 2u);
    const RecordingEntry* entry = list->FindByName(QStringLiteral("meeting"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(OleDate::toDateTime(entry->startTime), start);
    EXPECT_EQ(entry->notes, QStringLiteral("call Bob back"));
    EXPECT_TRUE(entry->isProtected);
    EXPECT_EQ(entry->operatorName, QStringLiteral("Desk 2"));
    EXPECT_EQ(entry->folder, folder);
    EXPECT_EQ(entry->state, RecordingEntry::Saved);
    const QString copy = folder + QStringLiteral("meeting.mp3");
    EXPECT_EQ(tagText(copy, "TIT2"), QStringLiteral("meeting")); // the title follows the name
    EXPECT_EQ(tagText(copy, "COMM"), QStringLiteral("call Bob back"));
    EXPECT_EQ(tagText(copy, "TXXX"), QStringLiteral("Protetta"));
    EXPECT_EQ(afterTag(copy), audio);
    EXPECT_EQ(qsizetype(entry->tagSize), AudioFixtures::readFile(copy).size() - audio.size());
    EXPECT_EQ(AudioFixtures::readFile(path), before);

    const QString plainCopy = folder + QStringLiteral("plain.mp3");
    EXPECT_EQ(AudioFixtures::readFile(plainCopy).left(3), QByteArray("ID3"));
    EXPECT_EQ(tagText(plainCopy, "TIT2"), QStringLiteral("plain"));
    EXPECT_EQ(tagText(plainCopy, "TXXX"), QStringLiteral("Non Protetta"));
    EXPECT_EQ(afterTag(plainCopy), audio);
    const RecordingEntry* plain = list->FindByName(QStringLiteral("plain"));
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
    EXPECT_EQ(live, QStringList({QStringLiteral("meeting"), QStringLiteral("plain")}));
    RecordingList reloaded;
    reloaded.setFolder(folder);
    ASSERT_TRUE(reloaded.LoadList());
    ASSERT_TRUE(reloaded.indexOpen());
    ASSERT_NE(reloaded.FindByName(QStringLiteral("meeting")), nullptr);
    EXPECT_EQ(reloaded.FindByName(QStringLiteral("meeting"))->notes,
              QStringLiteral("call Bob back"));
    EXPECT_NE(reloaded.FindByName(QStringLiteral("plain")), nullptr);
}

TEST_F(ImporterTest, NamesTakenIgnoringCaseByRecordingsOrFilesAreNumbered)
{
    ASSERT_TRUE(AudioFixtures::writeFile(folder + QStringLiteral("Talk.mp3"), audio));
    list->Clear();
    ASSERT_TRUE(list->LoadList());
    const QByteArray existing = AudioFixtures::readFile(folder + QStringLiteral("Talk.mp3"));
    // A file that is no recording of the list still owns its name.
    ASSERT_TRUE(AudioFixtures::writeFile(folder + QStringLiteral("TALK(1).MP3"), audio));
    // A recording still being recorded has no file yet.
    RecordingEntry* recording = list->NewEntry(QStringLiteral("Talk(2)"), QString());
    ASSERT_NE(recording, nullptr);

    const auto result =
        Importer::ImportRecordings(*list, {untaggedSource(QStringLiteral("talk.mp3"))});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].name, QStringLiteral("talk(3)"));
    EXPECT_EQ(AudioFixtures::readFile(folder + QStringLiteral("Talk.mp3")), existing)
        << "an existing recording is never replaced";
}

TEST_F(ImporterTest, FilesThatAreNotMp3OrCannotBeCopiedAreRefusedAndTheOthersGoOn)
{
    const QString wav = sources + QStringLiteral("call.wav");
    const QString bare = sources + QStringLiteral("mp3");
    const QString inner = sources + QStringLiteral("call.mp3.bak");
    for (const QString& path : {wav, bare, inner})
        ASSERT_TRUE(AudioFixtures::writeFile(path, audio));
    const QString folderNamedMp3 = sources + QStringLiteral("x.mp3");
    ASSERT_TRUE(QDir().mkpath(folderNamedMp3));
    const QString pipe = sources + QStringLiteral("pipe.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString missing = sources + QStringLiteral("gone.mp3");
    // Files with nothing to listen to: empty, a tag alone, text.
    const QString empty = sources + QStringLiteral("empty.mp3");
    ASSERT_TRUE(AudioFixtures::writeFile(empty, QByteArray()));
    const RecordingEntry tagOnly = TaggedRecording::entry(sources, QStringLiteral("tag only"), 0);
    ASSERT_TRUE(AudioFixtures::writeFile(tagOnly.filePath(),
                                         Id3Tag::encodeTag(EntryTags::entryFrames(tagOnly))));
    const QString text = sources + QStringLiteral("notes.mp3");
    ASSERT_TRUE(AudioFixtures::writeFile(text, QByteArray("call Anna back on Monday\n")));

    const auto result = Importer::ImportRecordings(
        *list, {wav, folderNamedMp3, untaggedSource(QStringLiteral("ok.mp3")), bare, pipe, inner,
                missing, empty, tagOnly.filePath(), text});

    const std::vector<Kind> kinds = {
        Kind::WrongType, Kind::CopyFailed, Kind::Imported, Kind::WrongType, Kind::CopyFailed,
        Kind::WrongType, Kind::CopyFailed, Kind::NoAudio,  Kind::NoAudio,   Kind::NoAudio};
    ASSERT_EQ(result.outcomes.size(), kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(result.outcomes[i].kind, kinds[i]) << i;
        if (kinds[i] == Kind::WrongType) {
            EXPECT_EQ(result.outcomes[i].messageId, 155) << i;
            EXPECT_EQ(result.outcomes[i].message,
                      QStringLiteral("Wrong file type.Cannot import file."));
        }
    }
    EXPECT_EQ(result.outcomes[0].path, wav);
    EXPECT_EQ(result.outcomes[1].messageId, 600);
    EXPECT_EQ(result.outcomes[1].message,
              QStringLiteral("Could not import the file 'x.mp3'. Make sure there is enough space "
                             "available on disk and that you have writing privileges."));
    EXPECT_EQ(result.outcomes[7].message,
              QStringLiteral("The file 'empty.mp3' holds no audio and was not imported."));
    EXPECT_EQ(result.lastImported, QStringLiteral("ok"));
    EXPECT_EQ(namesInList(), QStringList({QStringLiteral("ok")}));
    EXPECT_EQ(filesInFolder(),
              QStringList({QStringLiteral("Index.txt"), QStringLiteral("ok.mp3")}));
}

TEST_F(ImporterTest, ATagThatCannotBeWrittenIsReported)
{
    TmpfsMount disk(env.root() + QStringLiteral("small/"), 1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    RecordingList small;
    small.setFolder(env.root() + QStringLiteral("small/"));
    ASSERT_TRUE(small.LoadList());
    // Its tag names it otherwise, so the import must write a new one.
    const QString source = taggedSource(QStringLiteral("talk.mp3"), QStringLiteral("older name"),
                                        QDateTime::currentDateTime(), QString(), false);
    // Room for the copy and the index record, none for the copy a tag rewrite makes.
    ASSERT_TRUE(disk.fill(QFileInfo(source).size() + 4096));

    const auto result = Importer::ImportRecordings(small, {source});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::Imported);
    EXPECT_FALSE(result.saved);
    EXPECT_EQ(tagText(env.root() + QStringLiteral("small/talk.mp3"), "TIT2"),
              QStringLiteral("older name"));
}

TEST_F(ImporterTest, AWorkingFolderThatCannotBeWrittenMakesNoEntry)
{
    // A path that is a file where the folder should be: no copy can be made there.
    const QString blocked = env.root() + QStringLiteral("blocked");
    ASSERT_TRUE(AudioFixtures::writeFile(blocked, "x"));
    RecordingList elsewhere;
    elsewhere.setFolder(blocked + u'/');

    const auto result =
        Importer::ImportRecordings(elsewhere, {untaggedSource(QStringLiteral("talk.mp3"))});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::CopyFailed);
    EXPECT_EQ(result.outcomes[0].messageId, 600);
    EXPECT_EQ(elsewhere.Count(), 0);
    EXPECT_TRUE(result.lastImported.isEmpty());
}

} // namespace
