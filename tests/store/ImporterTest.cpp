#include "store/Importer.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingEntry.h"
#include "store/RecordingIndex.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>

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
        list = std::make_unique<RecordingList>(env.userSettingsFile());
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
    static QString frameText(const QString& path, const char* id)
    {
        Id3Tag tag;
        if (!tag.Open(path, true) || tag.ReadTag() != Id3Tag::TagRead)
            return QStringLiteral("<no tag>");
        const Id3Tag::Frame* frame = tag.FindFrame(id);
        return frame ? frame->value : QStringLiteral("<no frame>");
    }
    static QByteArray audioOf(const QString& path)
    {
        Id3Tag tag;
        if (!tag.Open(path, true) || tag.ReadHeader() != Id3Tag::TagRead)
            return {};
        return AudioFixtures::readFile(path).mid(tag.TagSize());
    }

    TestEnvironment env;
    QString folder;
    QString sources;
    QByteArray audio;
    std::unique_ptr<RecordingList> list;
};

TEST_F(ImporterTest, ImportingTheSameFileTwiceNumbersTheSecondCopy)
{
    const QString talk = untaggedSource(QStringLiteral("talk.mp3"));
    const auto first = Importer::ImportRecordings(*list, {talk});
    const auto second = Importer::ImportRecordings(*list, {talk});

    ASSERT_EQ(first.outcomes.size(), 1u);
    ASSERT_EQ(second.outcomes.size(), 1u);
    EXPECT_EQ(first.outcomes[0].kind, Kind::Imported);
    EXPECT_EQ(first.outcomes[0].name, QStringLiteral("talk"));
    EXPECT_EQ(first.outcomes[0].messageId, 0);
    EXPECT_EQ(second.outcomes[0].name, QStringLiteral("talk(1)"));
    EXPECT_EQ(second.lastImported, QStringLiteral("talk(1)"));
    EXPECT_TRUE(second.saved);
    EXPECT_EQ(namesInList(), QStringList({QStringLiteral("talk"), QStringLiteral("talk(1)")}));
    EXPECT_EQ(audioOf(folder + QStringLiteral("talk(1).mp3")), audio);
    EXPECT_EQ(AudioFixtures::readFile(talk), audio) << "the chosen file is only read";
}

TEST_F(ImporterTest, SeveralPathsAreTakenInTheOrderGivenAndTheLastIsToBeSelected)
{
    const auto result = Importer::ImportRecordings(
        *list, {untaggedSource(QStringLiteral("b.mp3")), untaggedSource(QStringLiteral("a.mp3"))});
    ASSERT_EQ(result.outcomes.size(), 2u);
    EXPECT_EQ(result.outcomes[0].name, QStringLiteral("b"));
    EXPECT_EQ(result.outcomes[1].name, QStringLiteral("a"));
    EXPECT_EQ(result.lastImported, QStringLiteral("a"));
}

TEST_F(ImporterTest, ImportedRecordingsAreInTheIndexUnderTheirOwnNames)
{
    // One file with a complete tag needs no repair, one without a tag gets one at once.
    const QString tagged = taggedSource(QStringLiteral("kept.mp3"), QStringLiteral("kept"),
                                        QDateTime(QDate(2023, 7, 14), QTime(9, 30, 15)),
                                        QStringLiteral("notes"), false);
    Importer::ImportRecordings(*list, {tagged, untaggedSource(QStringLiteral("raw.mp3"))});
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
    EXPECT_EQ(live, QStringList({QStringLiteral("kept"), QStringLiteral("raw")}));

    RecordingList reloaded(env.userSettingsFile());
    reloaded.setFolder(folder);
    ASSERT_TRUE(reloaded.LoadList());
    ASSERT_TRUE(reloaded.indexOpen());
    QStringList names;
    for (const auto& entry : reloaded.entries())
        names << entry->name;
    names.sort();
    EXPECT_EQ(names, QStringList({QStringLiteral("kept"), QStringLiteral("raw")}));
    const RecordingEntry* kept = reloaded.FindByName(QStringLiteral("kept"));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->notes, QStringLiteral("notes"));
}

TEST_F(ImporterTest, ExtensionIsRecognisedInAnyCase)
{
    const auto result =
        Importer::ImportRecordings(*list, {untaggedSource(QStringLiteral("TALK.MP3")),
                                           untaggedSource(QStringLiteral("Mixed.Mp3"))});
    ASSERT_EQ(result.outcomes.size(), 2u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::Imported);
    EXPECT_EQ(result.outcomes[0].name, QStringLiteral("TALK"));
    EXPECT_EQ(result.outcomes[1].name, QStringLiteral("Mixed"));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("TALK.mp3")));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("Mixed.mp3")));
}

TEST_F(ImporterTest, FilesThatAreNotMp3AreRefusedWithMessage155AndTheOthersGoOn)
{
    const QString wav = sources + QStringLiteral("call.wav");
    const QString bare = sources + QStringLiteral("mp3");
    const QString inner = sources + QStringLiteral("call.mp3.bak");
    for (const QString& path : {wav, bare, inner})
        ASSERT_TRUE(AudioFixtures::writeFile(path, audio));

    const auto result = Importer::ImportRecordings(
        *list, {wav, untaggedSource(QStringLiteral("ok.mp3")), bare, inner});

    ASSERT_EQ(result.outcomes.size(), 4u);
    for (const size_t refused : {0u, 2u, 3u}) {
        EXPECT_EQ(result.outcomes[refused].kind, Kind::WrongType) << refused;
        EXPECT_EQ(result.outcomes[refused].messageId, 155);
        EXPECT_EQ(result.outcomes[refused].message,
                  QStringLiteral("Wrong file type.Cannot import file."));
    }
    EXPECT_EQ(result.outcomes[0].path, wav);
    EXPECT_EQ(result.outcomes[1].kind, Kind::Imported);
    EXPECT_EQ(result.lastImported, QStringLiteral("ok"));
    EXPECT_EQ(namesInList(), QStringList({QStringLiteral("ok")}));
    EXPECT_EQ(filesInFolder(),
              QStringList({QStringLiteral("Index.txt"), QStringLiteral("ok.mp3")}));
}

TEST_F(ImporterTest, CharactersARecordingNameCannotHoldBecomeUnderscores)
{
    const QString path = untaggedSource(QStringLiteral("who? at 10:30 <a|b> *\\\"x\"\nend.mp3"));
    const auto result = Importer::ImportRecordings(*list, {path});

    ASSERT_EQ(result.outcomes.size(), 1u);
    const QString expected = QStringLiteral("who_ at 10_30 _a_b_ ___x__end");
    EXPECT_EQ(result.outcomes[0].name, expected);
    EXPECT_TRUE(QFile::exists(folder + expected + QStringLiteral(".mp3")));
    EXPECT_EQ(frameText(folder + expected + QStringLiteral(".mp3"), "TIT2"), expected);
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

TEST_F(ImporterTest, ReservedAndEmptyNamesAreNumbered)
{
    const auto result =
        Importer::ImportRecordings(*list, {untaggedSource(QStringLiteral("tagTemporary.mp3")),
                                           untaggedSource(QStringLiteral(".mp3"))});
    ASSERT_EQ(result.outcomes.size(), 2u);
    EXPECT_EQ(result.outcomes[0].name, QStringLiteral("tagTemporary(1)"));
    EXPECT_EQ(result.outcomes[1].name, QStringLiteral("(1)"));
}

TEST_F(ImporterTest, AFileThatCannotBeCopiedMakesNoEntryAndNoFile)
{
    const QString folderNamedMp3 = sources + QStringLiteral("x.mp3");
    ASSERT_TRUE(QDir().mkpath(folderNamedMp3));
    const QString pipe = sources + QStringLiteral("pipe.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString missing = sources + QStringLiteral("gone.mp3");
    const QString good = untaggedSource(QStringLiteral("good.mp3"));

    const auto result = Importer::ImportRecordings(*list, {folderNamedMp3, pipe, missing, good});

    ASSERT_EQ(result.outcomes.size(), 4u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::CopyFailed);
    EXPECT_EQ(result.outcomes[0].messageId, 600);
    EXPECT_EQ(result.outcomes[0].message,
              QStringLiteral("Could not import the file 'x.mp3'. Make sure there is enough space "
                             "available on disk and that you have writing privileges."));
    EXPECT_EQ(result.outcomes[1].kind, Kind::CopyFailed);
    EXPECT_EQ(result.outcomes[2].kind, Kind::CopyFailed);
    EXPECT_EQ(result.outcomes[3].kind, Kind::Imported);
    EXPECT_EQ(result.lastImported, QStringLiteral("good"));
    EXPECT_EQ(namesInList(), QStringList({QStringLiteral("good")}));
    EXPECT_EQ(filesInFolder(),
              QStringList({QStringLiteral("Index.txt"), QStringLiteral("good.mp3")}));
}

TEST_F(ImporterTest, AWorkingFolderThatCannotBeWrittenMakesNoEntry)
{
    // A path that is a file where the folder should be: no copy can be made there.
    const QString blocked = env.root() + QStringLiteral("blocked");
    ASSERT_TRUE(AudioFixtures::writeFile(blocked, "x"));
    RecordingList elsewhere(env.userSettingsFile());
    elsewhere.setFolder(blocked + u'/');

    const auto result =
        Importer::ImportRecordings(elsewhere, {untaggedSource(QStringLiteral("talk.mp3"))});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, Kind::CopyFailed);
    EXPECT_EQ(result.outcomes[0].messageId, 600);
    EXPECT_EQ(elsewhere.Count(), 0);
    EXPECT_TRUE(result.lastImported.isEmpty());
}

TEST_F(ImporterTest, ImportedFileKeepsItsDateNotesAndProtectionWhileTheTitleFollowsTheNewName)
{
    const QDateTime start(QDate(2023, 7, 14), QTime(9, 30, 15));
    const QString path = taggedSource(QStringLiteral("meeting.mp3"), QStringLiteral("original"),
                                      start, QStringLiteral("call Bob back"), true);
    const QByteArray before = AudioFixtures::readFile(path);

    const auto result = Importer::ImportRecordings(*list, {path});

    ASSERT_EQ(result.outcomes.size(), 1u);
    const RecordingEntry* entry = list->FindByName(QStringLiteral("meeting"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(OleDate::toDateTime(entry->startTime), start);
    EXPECT_EQ(entry->notes, QStringLiteral("call Bob back"));
    EXPECT_TRUE(entry->isProtected);
    EXPECT_EQ(entry->operatorName, QStringLiteral("Desk 2"));
    EXPECT_EQ(entry->folder, folder);
    EXPECT_EQ(entry->state, RecordingEntry::Saved);

    const QString copy = folder + QStringLiteral("meeting.mp3");
    EXPECT_EQ(frameText(copy, "TIT2"), QStringLiteral("meeting"));
    EXPECT_EQ(frameText(copy, "COMM"), QStringLiteral("call Bob back"));
    EXPECT_EQ(frameText(copy, "TXXX"), QStringLiteral("Protetta"));
    EXPECT_EQ(audioOf(copy), audio);
    EXPECT_EQ(qsizetype(entry->tagSize), AudioFixtures::readFile(copy).size() - audio.size());
    EXPECT_EQ(AudioFixtures::readFile(path), before);
}

TEST_F(ImporterTest, FileWithoutATagGetsOneAtOnce)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const auto result =
        Importer::ImportRecordings(*list, {untaggedSource(QStringLiteral("plain.mp3"))});

    ASSERT_EQ(result.outcomes.size(), 1u);
    const QString copy = folder + QStringLiteral("plain.mp3");
    EXPECT_EQ(AudioFixtures::readFile(copy).left(3), QByteArray("ID3"));
    EXPECT_EQ(frameText(copy, "TIT2"), QStringLiteral("plain"));
    EXPECT_EQ(frameText(copy, "TXXX"), QStringLiteral("Non Protetta"));
    EXPECT_EQ(audioOf(copy), audio);
    const RecordingEntry* entry = list->FindByName(QStringLiteral("plain"));
    ASSERT_NE(entry, nullptr);
    EXPECT_GE(OleDate::toDateTime(entry->startTime), before);
    EXPECT_TRUE(entry->notes.isEmpty());
    EXPECT_FALSE(entry->isProtected);
}

} // namespace
