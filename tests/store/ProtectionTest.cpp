#include "store/Protection.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

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
        entry.duration = OleDate::fromSeconds(3);
        entry.notes = QStringLiteral("quarterly figures");
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
        original = fileBytes();
        tag = original.left(entry.tagSize);
    }

    QByteArray fileBytes() const { return AudioFixtures::readFile(entry.filePath()); }
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
    QByteArray protectedBytes;
};

TEST_F(ProtectionTest, ProtectThenUnprotectGivesTheAudioBackByteForByte)
{
    protectWith(QStringLiteral("open sesame"));
    EXPECT_TRUE(entry.isProtected);
    EXPECT_EQ(entry.state, RecordingEntry::Modified);
    EXPECT_NE(protectedBytes.mid(tag.size()), original.mid(tag.size()));
    EXPECT_FALSE(outputExists());

    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_FALSE(entry.isProtected);
    EXPECT_EQ(entry.state, RecordingEntry::Modified);
    EXPECT_EQ(entry.tagSize, 0u);
    // The unprotected file holds the bare audio until the tag is written again from the entry.
    EXPECT_EQ(fileBytes(), audio);
    EXPECT_FALSE(outputExists());

    ASSERT_TRUE(EntryTags::WriteEntryTag(entry));
    EXPECT_EQ(fileBytes(), original);
}

TEST_F(ProtectionTest, ProtectedFileIsTheClearTagThenCheckBlockAndAudioScrambledAsOneStream)
{
    const QByteArray key("twelve chars");
    ASSERT_EQ(key.size(), 12);
    EXPECT_EQ(Protection::checkBlock(key), QByteArray("12*twelve chars*"));
    EXPECT_EQ(Protection::checkBlock(key).size(), 16);

    protectWith(QString::fromUtf8(key));
    const QByteArray expected =
        tag + referenceScramble(Protection::checkBlock(key) + audio, key, 0);
    EXPECT_EQ(protectedBytes, expected);
    EXPECT_EQ(entry.tagSize, uint32_t(tag.size()));
}

TEST_F(ProtectionTest, EntryWithoutKnownTagSizeStillScramblesOnlyWhatFollowsTheTag)
{
    // Entries loaded from the index do not know their tag size.
    entry.tagSize = 0;
    protectWith(QStringLiteral("index-entry"));
    EXPECT_TRUE(protectedBytes.startsWith(tag));

    entry.tagSize = 0;
    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_EQ(fileBytes(), audio);
}

TEST_F(ProtectionTest, NonLatinKeyWordIsUsedAsItsUtf8Bytes)
{
    const QString key = QStringLiteral("пароль-ключ");
    protectWith(key);
    const QByteArray bytes = key.toUtf8();
    EXPECT_EQ(protectedBytes.mid(tag.size(), Protection::checkBlock(bytes).size()),
              referenceScramble(Protection::checkBlock(bytes), bytes, 0));
    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_EQ(fileBytes(), audio);
}

TEST_F(ProtectionTest, WrongKeyWordChangesNothingAndLeavesNoCopy)
{
    protectWith(QStringLiteral("correct horse"));
    for (const QString& wrong : {QStringLiteral("correct house"), QStringLiteral("correct horse "),
                                 QStringLiteral("correct hors"), QStringLiteral("***")}) {
        entry.keyWord = wrong;
        EXPECT_FALSE(Protection::Unprotect(entry, false)) << wrong.toStdString();
        EXPECT_FALSE(Protection::Unprotect(entry, true)) << wrong.toStdString();
        EXPECT_EQ(fileBytes(), protectedBytes);
        EXPECT_FALSE(outputExists());
        EXPECT_TRUE(entry.isProtected);
    }
}

TEST_F(ProtectionTest, KeyWordsDifferingOnlyInCaseDoNotUnlockEachOther)
{
    protectWith(QStringLiteral("Secret-Word"));
    entry.keyWord = QStringLiteral("secret-word");
    EXPECT_FALSE(Protection::Unprotect(entry, false));
    entry.keyWord = QStringLiteral("SECRET-WORD");
    EXPECT_FALSE(Protection::Unprotect(entry, false));
    EXPECT_EQ(fileBytes(), protectedBytes);
    EXPECT_FALSE(outputExists());
}

TEST_F(ProtectionTest, FileCutShortInsideItsCheckBlockIsAWrongKeyNotACrash)
{
    const QString key = QStringLiteral("twelve chars");
    protectWith(key);
    // Every cut from the end of the tag to one byte short of the whole check block.
    for (qsizetype cut = 0; cut < 16; ++cut) {
        ASSERT_TRUE(AudioFixtures::writeFile(entry.filePath(), protectedBytes));
        ASSERT_TRUE(truncateFile(entry.filePath(), tag.size() + cut));
        const QByteArray cutBytes = fileBytes();
        entry.keyWord = key;
        EXPECT_FALSE(Protection::Unprotect(entry, false)) << "cut at " << cut;
        EXPECT_FALSE(Protection::Unprotect(entry, true)) << "cut at " << cut;
        EXPECT_EQ(fileBytes(), cutBytes);
        EXPECT_FALSE(outputExists());
    }
}

TEST_F(ProtectionTest, FileCutShortInItsAudioUnlocksToTheAudioItStillHolds)
{
    const QString key = QStringLiteral("twelve chars");
    protectWith(key);
    ASSERT_TRUE(truncateFile(entry.filePath(), tag.size() + 16 + 1000));
    entry.keyWord = key;
    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_EQ(fileBytes(), audio.left(1000));
}

TEST_F(ProtectionTest, PlaybackCopyLeavesTheRecordingAndEntryAlone)
{
    const QString key = QStringLiteral("listen only");
    protectWith(key);
    const RecordingEntry before = entry;

    ASSERT_TRUE(Protection::Unprotect(entry, true));
    EXPECT_EQ(fileBytes(), protectedBytes);
    EXPECT_EQ(AudioFixtures::readFile(Protection::outputPath(entry)), audio);
    EXPECT_TRUE(entry.isProtected);
    EXPECT_EQ(entry.tagSize, before.tagSize);
    EXPECT_EQ(entry.state, before.state);
}

TEST_F(ProtectionTest, ProtectedCopyLeavesTheRecordingAlone)
{
    entry.keyWord = QStringLiteral("copy only");
    ASSERT_TRUE(Protection::Protect(entry, true));
    EXPECT_EQ(fileBytes(), original);
    EXPECT_FALSE(entry.isProtected);
    const QByteArray key = entry.keyWord.toUtf8();
    EXPECT_EQ(AudioFixtures::readFile(Protection::outputPath(entry)),
              tag + referenceScramble(Protection::checkBlock(key) + audio, key, 0));
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

TEST_F(ProtectionTest, LongestKeyWordStillUnlocks)
{
    const QString key(int(Protection::kMaxKeyBytes), u'k');
    protectWith(key);
    EXPECT_EQ(protectedBytes.size(), original.size() + 3 + 1 + 999 + 1);
    ASSERT_TRUE(Protection::Unprotect(entry, false));
    EXPECT_EQ(fileBytes(), audio);
}

TEST_F(ProtectionTest, FailureToWriteTheOutputLeavesTheRecordingUnchanged)
{
    // A folder in the output's place cannot be opened as a file.
    ASSERT_TRUE(QDir().mkpath(Protection::outputPath(entry)));
    entry.keyWord = QStringLiteral("blocked path");
    EXPECT_FALSE(Protection::Protect(entry, false));
    EXPECT_EQ(fileBytes(), original);
    EXPECT_FALSE(entry.isProtected);
}

TEST_F(ProtectionTest, MissingRecordingIsAFailure)
{
    QFile::remove(entry.filePath());
    entry.keyWord = QStringLiteral("nothing here");
    EXPECT_FALSE(Protection::Protect(entry, false));
    EXPECT_FALSE(Protection::Unprotect(entry, false));
    EXPECT_FALSE(outputExists());
}

TEST(ProtectionKeyRules, ProtectDialogRefusesStarShortMismatchedAndOverlongKeyWords)
{
    using P = Protection;
    EXPECT_EQ(P::checkNewKeyWord("abc*defgh", "abc*defgh", true), P::KeyHasStar);
    EXPECT_TRUE(StringTable::text(P::KeyHasStar).contains("cannot contain *"));
    EXPECT_EQ(P::checkNewKeyWord("abcde", "abcde", true), P::KeyTooShort);
    EXPECT_TRUE(StringTable::text(P::KeyTooShort).contains("at least 6 characters"));
    EXPECT_EQ(P::checkNewKeyWord("abcdef", "abcdeg", true), P::KeysDiffer);
    EXPECT_TRUE(StringTable::text(P::KeysDiffer).contains("do not match"));
    EXPECT_EQ(P::checkNewKeyWord("abcdef", "abcdef", true), P::KeyAccepted);
    // With the key word shown in clear the re-typed field is not used.
    EXPECT_EQ(P::checkNewKeyWord("abcdef", "", false), P::KeyAccepted);
    // A star is reported before the length.
    EXPECT_EQ(P::checkNewKeyWord("a*", "a*", true), P::KeyHasStar);
}

TEST(ProtectionKeyRules, KeyWordOfAThousandBytesIsRefusedWithItsOwnMessage)
{
    using P = Protection;
    EXPECT_EQ(P::checkNewKeyWord(QString(999, u'k'), QString(999, u'k'), true), P::KeyAccepted);
    EXPECT_EQ(P::checkNewKeyWord(QString(1000, u'k'), QString(1000, u'k'), true), P::KeyTooLong);
    // 500 characters of two UTF-8 bytes each.
    EXPECT_EQ(P::checkNewKeyWord(QString(500, QChar(0x00E9)), QString(), false), P::KeyTooLong);
    EXPECT_TRUE(StringTable::text(P::KeyTooLong).startsWith("Key word must be shorter"));
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

TEST(ProtectionCheckBlock, AcceptsOnlyTheWholeBlockOfTheSameKey)
{
    const QByteArray key("twelve chars");
    const QByteArray block = Protection::scramble(Protection::checkBlock(key), key, 0);
    const QByteArray afterTag = block + AudioFixtures::randomBytes(100, 4);
    qsizetype length = 0;
    EXPECT_TRUE(Protection::checkBlockMatches(afterTag, key, &length));
    EXPECT_EQ(length, 16);
    for (qsizetype cut = 0; cut < block.size(); ++cut)
        EXPECT_FALSE(Protection::checkBlockMatches(block.left(cut), key)) << cut;
    EXPECT_FALSE(Protection::checkBlockMatches(afterTag, "Twelve chars"));
    EXPECT_FALSE(Protection::checkBlockMatches(afterTag, "twelve char"));
    EXPECT_FALSE(Protection::checkBlockMatches(afterTag, ""));
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
