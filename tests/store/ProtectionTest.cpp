#include "store/Protection.h"
#include "store/EntryTags.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <tuple>

namespace {

// The scrambling written the slow and obvious way, to hold the fast one to.
QByteArray referenceScramble(const QByteArray& bytes, const QByteArray& key, qint64 startIndex)
{
    QByteArray out = bytes;
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = char(out[i] ^ key[(startIndex + i) % key.size()]);
    return out;
}

bool truncateFile(const QString& path, qint64 size)
{
    QFile file(path);
    return file.resize(size);
}

class ProtectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
        audio = AudioFixtures::mpegStream(3.0);
        ASSERT_FALSE(audio.isEmpty());
        entry = TaggedRecording::entry(
            folder, QStringLiteral("Call with Anna"),
            OleDate::fromDateTime(QDateTime(QDate(2024, 5, 2), QTime(9, 30, 0))));
        entry.notes = QStringLiteral("quarterly figures");
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
        original = fileBytes();
        tag = original.left(entry.tagSize);
        RecordingEntry locked = entry;
        locked.isProtected = true;
        protectedTag = writtenTag(locked);
    }

    // The tag the program writes for `recording` in front of its audio.
    QByteArray writtenTag(RecordingEntry recording) const
    {
        recording.folder = env.root() + QStringLiteral("reference/");
        QDir().mkpath(recording.folder);
        EXPECT_TRUE(TaggedRecording::write(recording, audio));
        return AudioFixtures::readFile(recording.filePath()).left(recording.tagSize);
    }
    QByteArray fileBytes() const { return AudioFixtures::readFile(entry.filePath()); }
    // Everything the file and the entry say, to tell that nothing changed.
    std::tuple<QByteArray, bool, uint32_t, uint32_t, int, double> state() const
    {
        return {fileBytes(),    entry.isProtected, entry.tagSize,
                entry.fileSize, entry.state,       entry.duration};
    }
    bool outputExists() const { return QFile::exists(Protection::outputPath(entry)); }
    // Protects the recording with `key` and keeps the protected bytes.
    void protectWith(const QString& key)
    {
        entry.keyWord = key;
        ASSERT_TRUE(Protection::Protect(entry, false));
        protectedBytes = fileBytes();
    }

    TestEnvironment env;
    QString folder;
    QByteArray audio;
    RecordingEntry entry;
    QByteArray original;
    QByteArray tag;
    QByteArray protectedTag;
    QByteArray protectedBytes;
};

TEST_F(ProtectionTest, EachStepPutsItsNewTagAndAudioInPlaceAtOnceAndTheRoundTripIsByteExact)
{
    struct Case {
        QString key;
        QByteArray lengthText; // the key's length in bytes, as the check block starts
        bool indexEntry;       // loaded from the index: the tag size is not known
    };
    const std::vector<Case> cases = {
        {QStringLiteral("twelve chars"), "12", false},
        {QStringLiteral("пароль-ключ"), "21", true}, // its UTF-8 bytes are the key
        {QString(int(Protection::kMaxKeyBytes), u'k'), "999", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lengthText.toStdString());
        const QByteArray key = c.key.toUtf8();
        const QByteArray block = c.lengthText + '*' + key + '*';
        if (c.indexEntry)
            entry.tagSize = 0;
        protectWith(c.key);
        EXPECT_TRUE(entry.isProtected);
        EXPECT_EQ(entry.state, RecordingEntry::Saved);
        EXPECT_EQ(Protection::checkBlock(key), block);
        EXPECT_EQ(tagText(entry.filePath(), "TXXX"), QStringLiteral("Protetta"));
        EXPECT_EQ(protectedBytes, protectedTag + referenceScramble(block + audio, key, 0));
        EXPECT_EQ(entry.tagSize, uint32_t(protectedTag.size()));
        EXPECT_EQ(entry.fileSize, uint32_t(protectedBytes.size()));
        EXPECT_FALSE(outputExists());

        if (c.indexEntry)
            entry.tagSize = 0;
        ASSERT_TRUE(Protection::Unprotect(entry, false));
        EXPECT_FALSE(entry.isProtected);
        EXPECT_EQ(entry.state, RecordingEntry::Saved);
        EXPECT_EQ(tagText(entry.filePath(), "TXXX"), QStringLiteral("Non Protetta"));
        EXPECT_EQ(fileBytes(), original);
        EXPECT_EQ(entry.tagSize, uint32_t(tag.size()));
        EXPECT_EQ(entry.fileSize, uint32_t(original.size()));
        EXPECT_FALSE(outputExists());
    }
}

TEST_F(ProtectionTest, UnprotectWritesTheLengthOfTheClearAudioThatTheEntryDidNotKnow)
{
    protectWith(QStringLiteral("twelve chars"));
    const double measured = entry.duration;
    entry.duration = OleDate::kNoDuration;
    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_EQ(entry.duration, measured);
    EXPECT_EQ(fileBytes(), original);
}

TEST_F(ProtectionTest, AFullDiskLeavesTheFileAndTheEntryAsTheyWereInBothDirections)
{
    TmpfsMount disk(env.root() + QStringLiteral("full/"), 1 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    entry.folder = env.root() + QStringLiteral("full/");
    ASSERT_TRUE(AudioFixtures::writeFile(entry.filePath(), original));
    entry.keyWord = QStringLiteral("twelve chars");
    for (const bool protecting : {true, false}) {
        SCOPED_TRACE(protecting ? "protect" : "unprotect");
        // Room for half a copy: the write starts and then finds the disk full.
        ASSERT_TRUE(disk.fill(original.size() / 2));
        const auto before = state();
        EXPECT_FALSE(protecting ? Protection::Protect(entry, false)
                                : Protection::Unprotect(entry, false));
        EXPECT_EQ(state(), before);
        EXPECT_EQ(QDir(entry.folder).entryList(QDir::Files),
                  QStringList({entry.name + QStringLiteral(".mp3"), QStringLiteral("filler")}));
        disk.unfill();
        if (protecting) {
            ASSERT_TRUE(Protection::Protect(entry, false));
        }
    }
}

TEST_F(ProtectionTest, WrongKeyWordChangesNothingAndLeavesNoCopy)
{
    protectWith(QStringLiteral("correct horse"));
    for (const QString& wrong :
         {QStringLiteral("correct house"), QStringLiteral("correct horse "),
          QStringLiteral("correct hors"), QStringLiteral("Correct horse"),
          QStringLiteral("CORRECT HORSE"), QStringLiteral("***"), QString()}) {
        entry.keyWord = wrong;
        EXPECT_FALSE(Protection::Unprotect(entry, false)) << wrong.toStdString();
        EXPECT_FALSE(Protection::Unprotect(entry, true)) << wrong.toStdString();
        EXPECT_EQ(fileBytes(), protectedBytes);
        EXPECT_FALSE(outputExists());
        EXPECT_TRUE(entry.isProtected);
    }
}

TEST_F(ProtectionTest, FileCutShortIsAWrongKeyInsideItsCheckBlockAndUnlocksWhatAudioItHolds)
{
    const QString key = QStringLiteral("twelve chars");
    protectWith(key);
    // Every cut from the end of the tag to one byte short of the whole check block.
    for (qsizetype cut = 0; cut < 16; ++cut) {
        ASSERT_TRUE(AudioFixtures::writeFile(entry.filePath(), protectedBytes));
        ASSERT_TRUE(truncateFile(entry.filePath(), protectedTag.size() + cut));
        const QByteArray cutBytes = fileBytes();
        entry.keyWord = key;
        EXPECT_FALSE(Protection::Unprotect(entry, false)) << "cut at " << cut;
        EXPECT_FALSE(Protection::Unprotect(entry, true)) << "cut at " << cut;
        EXPECT_EQ(fileBytes(), cutBytes);
        EXPECT_FALSE(outputExists());
    }
    ASSERT_TRUE(AudioFixtures::writeFile(entry.filePath(), protectedBytes));
    ASSERT_TRUE(truncateFile(entry.filePath(), protectedTag.size() + 16 + 1000));
    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_EQ(afterTag(entry.filePath()), audio.left(1000));
}

TEST_F(ProtectionTest, CopiesForPlaybackOrToProtectLeaveTheRecordingAndEntryAlone)
{
    entry.keyWord = QStringLiteral("copy only");
    const QByteArray key = entry.keyWord.toUtf8();
    ASSERT_TRUE(Protection::Protect(entry, true));
    EXPECT_EQ(fileBytes(), original);
    EXPECT_FALSE(entry.isProtected);
    EXPECT_EQ(AudioFixtures::readFile(Protection::outputPath(entry)),
              tag + referenceScramble(Protection::checkBlock(key) + audio, key, 0));

    ASSERT_TRUE(QFile::remove(Protection::outputPath(entry)));
    protectWith(entry.keyWord);
    const RecordingEntry before = entry;
    ASSERT_TRUE(Protection::Unprotect(entry, true));
    EXPECT_EQ(fileBytes(), protectedBytes);
    EXPECT_EQ(AudioFixtures::readFile(Protection::outputPath(entry)), audio);
    EXPECT_TRUE(entry.isProtected);
    EXPECT_EQ(entry.tagSize, before.tagSize);
    EXPECT_EQ(entry.state, before.state);
}

TEST_F(ProtectionTest, ProtectRefusesKeyWordsTheDialogRefuses)
{
    for (const QString& key : {QStringLiteral("with*star"), QStringLiteral("short"), QString(),
                               QString(1000, u'k'), QString(500, QChar(0x00E9))}) {
        entry.keyWord = key;
        EXPECT_FALSE(Protection::Protect(entry, false)) << key.size();
        EXPECT_EQ(fileBytes(), original);
        EXPECT_FALSE(outputExists());
        EXPECT_FALSE(entry.isProtected);
    }
}

TEST_F(ProtectionTest, AnOutputThatCannotBeWrittenOrAMissingRecordingIsAFailure)
{
    // A folder in the output's place cannot be opened as a file.
    ASSERT_TRUE(QDir().mkpath(Protection::outputPath(entry)));
    entry.keyWord = QStringLiteral("blocked path");
    EXPECT_FALSE(Protection::Protect(entry, false));
    EXPECT_EQ(fileBytes(), original);
    EXPECT_FALSE(entry.isProtected);

    ASSERT_TRUE(QDir(Protection::outputPath(entry)).removeRecursively());
    QFile::remove(entry.filePath());
    EXPECT_FALSE(Protection::Protect(entry, false));
    EXPECT_FALSE(Protection::Unprotect(entry, false));
    EXPECT_FALSE(outputExists());
}

TEST(ProtectionScramble, MatchesTheKeyRepeatedFromAnyStartIndexAndLength)
{
    const QByteArray data = AudioFixtures::randomBytes(70000, 1);
    for (const QByteArray& key : {QByteArray("abcdef"), QByteArray("seven77"),
                                  QByteArray("twelve chars"), AudioFixtures::randomBytes(999, 2)}) {
        for (const qint64 start : {qint64(0), qint64(3), qint64(5000000001)}) {
            for (const qsizetype length :
                 {qsizetype(0), qsizetype(1), qsizetype(13), qsizetype(4099), data.size()}) {
                const QByteArray piece = data.left(length);
                EXPECT_EQ(Protection::scramble(piece, key, start),
                          referenceScramble(piece, key, start))
                    << "key " << key.size() << " start " << start << " length " << length;
            }
        }
    }
}

TEST(ProtectionScramble, KeyIndexRunsOnAcrossPieces)
{
    const QByteArray key("running key");
    const QByteArray data = AudioFixtures::randomBytes(20000, 3);
    const QByteArray whole = Protection::scramble(data, key, 0);
    for (const qsizetype split : {qsizetype(1), qsizetype(11), qsizetype(8191)}) {
        QByteArray pieces = data;
        Protection::scramble(pieces.data(), split, key, 0);
        Protection::scramble(pieces.data() + split, pieces.size() - split, key, split);
        EXPECT_EQ(pieces, whole) << split;
    }
    EXPECT_EQ(Protection::scramble(whole, key, 0), data);
}

TEST(ProtectionCheckBlock, RefusesLengthTextsThatAreNotTheKeyLength)
{
    const QByteArray key("abcdefgh");
    // "*" first (no digits), five digits, a letter among the digits, the closing "*" missing.
    for (const QByteArray& clear :
         {QByteArray("*abcdefgh*"), QByteArray("00008*abcdefgh*"), QByteArray("8x*abcdefgh*"),
          QByteArray("8*abcdefghX"), QByteArray("9*abcdefgh*"), QByteArray("7*abcdefgh*")}) {
        EXPECT_FALSE(Protection::checkBlockMatches(Protection::scramble(clear, key, 0), key))
            << clear.constData();
    }
}

TEST(ProtectionCheckBlock, ArbitraryBytesNeverMatchOrReadOutOfBounds)
{
    QRandomGenerator random(5);
    const QByteArray key("fuzzing key");
    for (int round = 0; round < 20000; ++round) {
        const QByteArray bytes = AudioFixtures::randomBytes(random.bounded(40), random.generate());
        // Heap copies of the exact size, so that a read past the end is caught by ASan.
        EXPECT_FALSE(
            Protection::checkBlockMatches(QByteArray(bytes.constData(), bytes.size()), key));
    }
}

} // namespace
