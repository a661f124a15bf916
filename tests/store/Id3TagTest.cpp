#include "store/Id3Tag.h"
#include "store/EntryTags.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray frame(const char* id, const QByteArray& body)
{
    QByteArray out(id, 4);
    const auto n = static_cast<uint32_t>(body.size());
    out += char(n >> 24);
    out += char(n >> 16);
    out += char(n >> 8);
    out += char(n);
    out += QByteArray(2, '\0');
    return out + body;
}

QByteArray text(const QByteArray& value)
{
    return QByteArray(1, '\0') + value;
}

QByteArray tagOf(const QByteArray& frames, int extraSize = 0)
{
    return QByteArray("ID3\x03\x00\x00", 6) + Id3Tag::synchsafe(10 + frames.size() + extraSize) +
           frames;
}

class Id3TagTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
        audio = AudioFixtures::mpegStream(3.0);
        ASSERT_FALSE(audio.isEmpty());
    }
    RecordingEntry entryNamed(const QString& name) const
    {
        RecordingEntry entry = TaggedRecording::entry(
            folder, name, OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))));
        entry.duration = OleDate::fromSeconds(75);
        return entry;
    }

    TestEnvironment env;
    QString folder;
    QByteArray audio;
};

TEST_F(Id3TagTest, WritesTheElevenFramesByteForByteInFrontOfTheAudio)
{
    RecordingEntry entry = entryNamed(QStringLiteral("a"));
    ASSERT_TRUE(AudioFixtures::writeFile(entry.filePath(), audio));
    // Another rewrite's file under the name every rewrite once used: never written nor removed.
    const QString other = folder + QStringLiteral("tagTemporary.dtm");
    ASSERT_TRUE(AudioFixtures::writeFile(other, "another rewrite"));
    entry.state = RecordingEntry::Modified;
    ASSERT_TRUE(EntryTags::WriteEntryTag(entry));

    const QByteArray frames = frame("TDAT", text("0503")) + frame("TYER", text("2024")) +
                              frame("TIME", text("14:07:09")) + frame("TLEN", text("00:01:15")) +
                              frame("TIT2", text("a")) + frame("COMM", QByteArray(5, '\0')) +
                              frame("TRCK", text("0")) + frame("TALB", text("")) +
                              frame("TCON", text("(24)Soundtrack")) +
                              frame("TPE1", text("Parlune")) + frame("TXXX", text("Non Protetta"));
    const QByteArray expected = tagOf(frames);
    ASSERT_EQ(expected.size(), 194);
    EXPECT_EQ(expected.mid(6, 4), QByteArray("\x00\x00\x01\x42", 4));
    EXPECT_EQ(AudioFixtures::readFile(entry.filePath()), expected + audio);
    EXPECT_EQ(entry.tagSize, 194u);
    EXPECT_EQ(entry.state, RecordingEntry::Saved);
    EXPECT_EQ(QDir(folder).entryList({Id3Tag::temporaryPattern()}, QDir::Files),
              QStringList{QStringLiteral("tagTemporary.dtm")});
    EXPECT_EQ(AudioFixtures::readFile(other), QByteArray("another rewrite"));
}

TEST_F(Id3TagTest, WrittenEntryLoadsBackUnchanged)
{
    RecordingEntry entry = entryNamed(QStringLiteral("Desk 2 - Recording 3"));
    entry.notes = QStringLiteral("Call back\r\nbefore noon — café");
    entry.operatorName = QStringLiteral("Zoë Ωmega");
    entry.isProtected = true;
    ASSERT_TRUE(AudioFixtures::writeFile(entry.filePath(), audio));
    ASSERT_TRUE(EntryTags::WriteEntryTag(entry));

    RecordingEntry loaded;
    ASSERT_TRUE(EntryTags::LoadEntryFromFile(entry.filePath(), loaded, folder, false));
    EXPECT_EQ(loaded.name, entry.name);
    EXPECT_EQ(OleDate::toDateTime(loaded.startTime), OleDate::toDateTime(entry.startTime));
    EXPECT_EQ(OleDate::toSeconds(loaded.duration), 75);
    EXPECT_EQ(loaded.notes, entry.notes);
    EXPECT_EQ(loaded.operatorName, entry.operatorName);
    EXPECT_TRUE(loaded.isProtected);
    EXPECT_EQ(loaded.state, RecordingEntry::Saved);
    EXPECT_EQ(loaded.tagSize, entry.tagSize);
    EXPECT_EQ(loaded.fileSize, uint32_t(entry.tagSize + audio.size()));
    EXPECT_EQ(AudioFixtures::readFile(entry.filePath()).mid(int(entry.tagSize)), audio);
}

TEST_F(Id3TagTest, LoadRepairsNameDateAndTimeAndMeasuresAMissingDuration)
{
    const QByteArray frames = frame("TIT2", text("old name")) + frame("TDAT", text("3102")) +
                              frame("TYER", text("2023")) + frame("TIME", text("1:2")) +
                              frame("COMM", QByteArray(5, '\0') + "kept") +
                              frame("TXXX", text("Non Protetta")) + frame("TPE1", text("Parlune")) +
                              frame("TCON", text("x"));
    const QString path = folder + "renamed.mp3";
    ASSERT_TRUE(AudioFixtures::writeFile(path, tagOf(frames) + audio));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    RecordingEntry entry;
    ASSERT_TRUE(EntryTags::LoadEntryFromFile(path, entry, folder, false));
    EXPECT_EQ(entry.name, QStringLiteral("renamed"));
    EXPECT_EQ(entry.state, RecordingEntry::Modified);
    EXPECT_GE(OleDate::toDateTime(entry.startTime), before);
    EXPECT_EQ(entry.notes, QStringLiteral("kept"));
    // Three seconds of audio, measured because the tag tells no length.
    EXPECT_NEAR(double(OleDate::toSeconds(entry.duration)), 3.0, 1.0);
}

TEST_F(Id3TagTest, AFileWithoutATagGetsAWholeOneAndKeepsItsAudio)
{
    const QString path = folder + "plain.mp3";
    ASSERT_TRUE(AudioFixtures::writeFile(path, audio));
    RecordingEntry entry;
    EXPECT_FALSE(EntryTags::LoadEntryFromFile(path, entry, folder, false));
    EXPECT_EQ(entry.name, QStringLiteral("plain"));
    EXPECT_EQ(entry.state, RecordingEntry::Saved);
    const QByteArray bytes = AudioFixtures::readFile(path);
    ASSERT_TRUE(bytes.startsWith("ID3"));
    EXPECT_EQ(bytes.mid(int(entry.tagSize)), audio);
    EXPECT_NEAR(double(OleDate::toSeconds(entry.duration)), 3.0, 1.0);
}

TEST_F(Id3TagTest, TheLaterOfTwoFramesWithOneIdWinsAndIsTheOneChanged)
{
    const QByteArray frames = frame("TIT2", text("first")) + frame("COMM", QByteArray(5, '\0')) +
                              frame("TIT2", text("second"));
    const QString path = folder + "dup.mp3";
    ASSERT_TRUE(AudioFixtures::writeFile(path, tagOf(frames) + audio));
    Id3Tag tag;
    ASSERT_TRUE(tag.Open(path));
    ASSERT_EQ(tag.ReadTag(), Id3Tag::TagRead);
    EXPECT_EQ(tag.FindFrame("TIT2")->value, QStringLiteral("second"));
    tag.SetText("TIT2", QStringLiteral("third"));
    EXPECT_EQ(tag.frames().front().value, QStringLiteral("first"));
    ASSERT_TRUE(tag.WriteTag());
    ASSERT_EQ(tag.ReadTag(), Id3Tag::TagRead);
    ASSERT_EQ(tag.frames().size(), 3u);
    EXPECT_EQ(tag.frames()[2].value, QStringLiteral("third"));
}

TEST_F(Id3TagTest, ASizeFieldThatLeavesOutTheHeaderKeepsTenTagBytesInFrontOfTheAudio)
{
    const QByteArray frames = frame("TIT2", text("other")) + frame("TPE1", text("Someone"));
    // Another program's header counts only the frames: ten bytes short of this system's rule.
    QByteArray foreign = tagOf(frames, -10);
    const QString path = folder + "foreign.mp3";
    ASSERT_TRUE(AudioFixtures::writeFile(path, foreign + audio));
    RecordingEntry entry;
    EntryTags::LoadEntryFromFile(path, entry, folder, false);
    ASSERT_TRUE(EntryTags::WriteEntryTag(entry));
    const QByteArray bytes = AudioFixtures::readFile(path);
    EXPECT_EQ(bytes.mid(int(entry.tagSize)), foreign.right(10) + audio);
}

TEST_F(Id3TagTest, DamagedSizesGiveNoUsableTagAndNeverLoseTheFile)
{
    const QByteArray body = frame("TIT2", text("x"));
    QByteArray frameTooLong = body;
    frameTooLong[7] = char(0x7F); // the frame claims more than the tag holds
    const std::vector<QByteArray> damaged = {
        tagOf(frameTooLong),
        QByteArray("ID3\x03\x00\x00\x7f\x7f\x7f\x7f", 10), // 256 MiB in a tiny file
        QByteArray("ID3\x03\x00\x00\x00\x00\x00\x03", 10), // smaller than its own header
        QByteArray("ID3\x03"),                             // cut inside the header
    };
    int n = 0;
    for (const QByteArray& head : damaged) {
        const QString path = folder + QStringLiteral("damaged%1.mp3").arg(n++);
        ASSERT_TRUE(AudioFixtures::writeFile(path, head + audio));
        Id3Tag tag;
        ASSERT_TRUE(tag.Open(path));
        EXPECT_NE(tag.ReadTag(), Id3Tag::TagRead) << n;
        tag.Close();
        RecordingEntry entry;
        EXPECT_FALSE(EntryTags::LoadEntryFromFile(path, entry, folder, false)) << n;
        const QByteArray bytes = AudioFixtures::readFile(path);
        EXPECT_TRUE(bytes.endsWith(audio)) << n;
        EXPECT_TRUE(bytes.startsWith("ID3")) << n;
    }
}

TEST(OleDateTest, DatesAndSpansConvertBothWays)
{
    const QDateTime moment(QDate(2026, 12, 6), QTime(23, 59, 59));
    EXPECT_EQ(OleDate::toDateTime(OleDate::fromDateTime(moment)), moment);
    EXPECT_DOUBLE_EQ(OleDate::fromDateTime(QDateTime(QDate(1899, 12, 31), QTime(6, 0))), 1.25);
    EXPECT_EQ(OleDate::durationText(OleDate::fromSeconds(3725)), QStringLiteral("62:05"));
    EXPECT_EQ(OleDate::durationText(OleDate::kNoDuration), QStringLiteral("--:--"));
    EXPECT_FALSE(OleDate::toDateTime(1e300).isValid());
}

} // namespace
