#include "audio/CWriteSoundFile.h"
#include "audio/MpegDuration.h"
#include "audio/ThreadMessages.h"
#include "platform/LockedFile.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using namespace Qt::StringLiterals;

using namespace ThreadMessages;

namespace {

constexpr int kChunkMs = 36;
// Chunks the encoder may still hold before its final flush.
constexpr int kHeldChunks = 7;

std::vector<int16_t> toneChunk(size_t index)
{
    std::vector<int16_t> chunk(1152);
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<int16_t>(
            8000 * std::sin(2 * std::numbers::pi * 440 * double(index * 1152 + i) / 32000));
    return chunk;
}

long long durationMs(const QString& path)
{
    return MpegDuration::milliseconds(path, 0).value_or(-1);
}

/// A running writer on a throwaway working folder, with the signals it emitted.
struct WriterRig {
    TestEnvironment env;
    QString work;
    CWriteSoundFile writer;
    std::vector<std::pair<QString, bool>> ready;
    std::vector<int> errors;
    std::vector<int> fatals;
    size_t chunks = 0;

    explicit WriterRig(TestEnvironment::Encoder encoder = TestEnvironment::Encoder::Present)
        : env(encoder), work(env.root() + u"work/"_s)
    {
        QDir().mkpath(work);
        writer.setWriterFolders(env.programFolder(), work);
        QObject::connect(
            &writer, &CWriteSoundFile::fileReady, qApp,
            [this](const QString& path, bool discard) { ready.emplace_back(path, discard); });
        QObject::connect(&writer, &CWriteSoundFile::writeError, qApp,
                         [this](int id) { errors.push_back(id); });
        QObject::connect(&writer, &CWriteSoundFile::fatalError, qApp,
                         [this](int id) { fatals.push_back(id); });
        writer.startThread();
    }
    ~WriterRig()
    {
        writer.postMessage(UWM_THREAD_END);
        writer.waitForEnd(10000);
    }
    void data(size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            writer.postData(toneChunk(chunks++));
    }
    /// Waits until the writer has handled everything posted so far and its signals arrived.
    bool settle()
    {
        auto done = std::make_shared<std::atomic<bool>>(false);
        writer.postBarrier([done] { *done = true; });
        if (!waitFor([&] { return done->load(); }))
            return false;
        // Signals emitted before the barrier are already queued to this thread.
        QCoreApplication::processEvents();
        return true;
    }
    QString temporary() const { return work + u"tmp_nome_reg.dtm"_s; }
    QStringList handOvers() const
    {
        return QDir(work).entryList({u"*.prl"_s}, QDir::Files, QDir::Name);
    }
};

TEST(CWriteSoundFileRecording, CreateDataCloseGivesATemporaryFileOfTheRightLength)
{
    WriterRig rig;
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(100);
    ASSERT_TRUE(rig.settle());
    EXPECT_FALSE(rig.writer.isWriterIdle());
    // Before any close, all the encoder gave out is in the file; it holds a few frames back.
    EXPECT_GE(QFileInfo(rig.temporary()).size(), (100 - kHeldChunks) * 144);
    EXPECT_NEAR(durationMs(rig.temporary()), 100 * kChunkMs, kHeldChunks * kChunkMs);
    rig.writer.postMessage(UWM_WRITER_CLOSE);
    ASSERT_TRUE(rig.settle());
    EXPECT_TRUE(rig.writer.isWriterIdle());
    EXPECT_NEAR(durationMs(rig.temporary()), 100 * kChunkMs, 2 * kChunkMs);
    EXPECT_TRUE(rig.errors.empty());
    // Closed, it stays locked against leftover recovery until the Save round has taken it.
    LockedFile probe;
    EXPECT_EQ(probe.open(rig.temporary()), LockedFile::OpenResult::LockedByOther);
    rig.writer.releaseHandOver(rig.temporary());
    EXPECT_EQ(probe.open(rig.temporary()), LockedFile::OpenResult::Opened);
}

TEST(CWriteSoundFileHandOver, NextFileHandsTheCallOverAsPrlAndGoesOnInAFreshFile)
{
    WriterRig rig;
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(80);
    rig.writer.postMessage(UWM_WRITER_NEXT_FILE, 1);
    rig.writer.postMessage(UWM_WRITER_CLOSE);
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(30);
    rig.writer.postMessage(UWM_WRITER_NEXT_FILE, 0);
    rig.writer.postMessage(UWM_WRITER_CLOSE);
    ASSERT_TRUE(rig.settle());

    ASSERT_EQ(rig.ready.size(), 2u);
    EXPECT_TRUE(rig.ready[0].second);
    EXPECT_FALSE(rig.ready[1].second);
    for (const auto& [path, discard] : rig.ready) {
        EXPECT_TRUE(path.startsWith(rig.work + u"TEM"_s));
        EXPECT_TRUE(path.endsWith(u".prl"_s));
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_NEAR(durationMs(rig.ready[0].first), 80 * kChunkMs, 2 * kChunkMs);
    EXPECT_NEAR(durationMs(rig.ready[1].first), 30 * kChunkMs, 2 * kChunkMs);
    // The fresh temporary file holds nothing of the calls handed over.
    EXPECT_EQ(QFileInfo(rig.temporary()).size(), 0);
    EXPECT_EQ(rig.handOvers().size(), 2);
    // Every finished file stays locked against leftover recovery until its receiver lets go.
    for (const QString& path : {rig.ready[0].first, rig.ready[1].first}) {
        LockedFile probe;
        EXPECT_EQ(probe.open(path, LockedFile::Creation::ExistingOnly),
                  LockedFile::OpenResult::LockedByOther);
        rig.writer.releaseHandOver(path);
        EXPECT_EQ(probe.open(path, LockedFile::Creation::ExistingOnly),
                  LockedFile::OpenResult::Opened);
    }
}

TEST(CWriteSoundFileHandOver, SingleFileCollectsEveryCallOfThePeriodInOneFile)
{
    WriterRig rig;
    rig.writer.setSingleFile(1);
    rig.writer.postMessage(UWM_WRITER_CREATE);
    // Three calls, each followed by the capture's restart (close, create).
    for (int call = 0; call < 3; ++call) {
        rig.data(40);
        rig.writer.postMessage(UWM_WRITER_NEXT_FILE, 0);
        rig.writer.postMessage(UWM_WRITER_CLOSE);
        ASSERT_TRUE(rig.settle());
        // The receiver lets go of the call's notification within the restart: the file goes
        // on collecting, so it stays locked against leftover recovery.
        rig.writer.releaseHandOver(rig.temporary());
        LockedFile probe;
        EXPECT_EQ(probe.open(rig.temporary()), LockedFile::OpenResult::LockedByOther);
        probe.close();
        rig.writer.postMessage(UWM_WRITER_CREATE);
    }
    rig.writer.postMessage(UWM_WRITER_CLOSE);
    ASSERT_TRUE(rig.settle());

    ASSERT_EQ(rig.ready.size(), 3u);
    for (const auto& [path, discard] : rig.ready) {
        EXPECT_EQ(path, rig.temporary());
        EXPECT_FALSE(discard);
    }
    EXPECT_TRUE(rig.handOvers().isEmpty());
    EXPECT_NEAR(durationMs(rig.temporary()), 120 * kChunkMs, 4 * kChunkMs);
}

TEST(CWriteSoundFileLeftovers, TemporaryFileWithAudioFromACrashIsMovedAsideNotTruncated)
{
    WriterRig rig;
    const QByteArray old = AudioFixtures::mpegStream(2.0);
    ASSERT_TRUE(AudioFixtures::writeFile(rig.temporary(), old));
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(20);
    rig.writer.postMessage(UWM_WRITER_CLOSE);
    ASSERT_TRUE(rig.settle());

    const QStringList aside = rig.handOvers();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(AudioFixtures::readFile(rig.work + aside[0]), old);
    EXPECT_NEAR(durationMs(rig.temporary()), 20 * kChunkMs, 2 * kChunkMs);
}

TEST(CWriteSoundFileLeftovers, TemporaryFileLockedByALiveRecorderIsLeftAlone)
{
    WriterRig rig;
    const QByteArray old = AudioFixtures::mpegStream(1.0);
    ASSERT_TRUE(AudioFixtures::writeFile(rig.temporary(), old));
    LockedFile other;
    ASSERT_EQ(other.open(rig.temporary()), LockedFile::OpenResult::Opened);
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(5);
    ASSERT_TRUE(rig.settle());

    EXPECT_EQ(rig.errors, std::vector<int>{CWriteSoundFile::kTemporaryFileString});
    EXPECT_TRUE(rig.writer.isWriterIdle());
    EXPECT_EQ(AudioFixtures::readFile(rig.temporary()), old);
    EXPECT_TRUE(rig.handOvers().isEmpty());
}

TEST(CWriteSoundFileFailures, FailedOpenOfTheTemporaryFileIsReported)
{
    WriterRig rig;
    rig.writer.setTempFolder(rig.work + u"missing/"_s);
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(3);
    rig.writer.postMessage(UWM_WRITER_CLOSE);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.errors, std::vector<int>{CWriteSoundFile::kTemporaryFileString});
}

TEST(CWriteSoundFileFailures, MissingLibraryIsReportedWithString24WithoutAWindowHandle)
{
    WriterRig rig(TestEnvironment::Encoder::Missing);
    rig.writer.postMessage(UWM_WRITER_CREATE);
    rig.data(3);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.fatals, std::vector<int>{CWriteSoundFile::kLibraryMissingString});
    EXPECT_TRUE(rig.writer.isWriterIdle());
    EXPECT_FALSE(QFile::exists(rig.temporary()));
}

// The child side of the crash test: records until told, then waits to be killed.
TEST(CWriteSoundFileCrashChild, RecordsThenWaitsToBeKilled)
{
    const QString work = qEnvironmentVariable("PARLUNE_CRASH_CHILD_WORK");
    if (work.isEmpty())
        GTEST_SKIP() << "runs only as the child of the crash test";
    auto* writer = new CWriteSoundFile; // never freed: the process is killed
    writer->setWriterFolders(QStringLiteral(PARLUNE_BIN_DIR "/"), work);
    writer->startThread();
    writer->postMessage(UWM_WRITER_CREATE);
    for (size_t i = 0; i < 150; ++i)
        writer->postData(toneChunk(i));
    writer->postBarrier([work] {
        QFile marker(work + u"written"_s);
        (void)marker.open(QIODevice::WriteOnly);
    });
    waitFor([] { return false; }, 60000);
}

TEST(CWriteSoundFileDurability, KilledRecorderLeavesAFileThatDecodesToNearlyAllItWrote)
{
    TestEnvironment env;
    const QString work = env.root() + u"work/"_s;
    QDir().mkpath(work);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PARLUNE_CRASH_CHILD_WORK"_s, work);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {u"--gtest_filter=CWriteSoundFileCrashChild.*"_s});
    ASSERT_TRUE(child.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(work + u"written"_s); }, 60000));
    child.kill(); // SIGKILL
    ASSERT_TRUE(child.waitForFinished(10000));

    // Only what the encoder still held is missing.
    const long long decoded = durationMs(work + u"tmp_nome_reg.dtm"_s);
    EXPECT_GE(decoded, (150 - kHeldChunks) * kChunkMs);
    EXPECT_LE(decoded, 150 * kChunkMs);

    // The dead process's lock is gone: the next recording moves its audio aside.
    CWriteSoundFile writer;
    writer.setWriterFolders(env.programFolder(), work);
    writer.startThread();
    writer.postMessage(UWM_WRITER_CREATE);
    writer.postMessage(UWM_WRITER_CLOSE);
    writer.postMessage(UWM_THREAD_END);
    ASSERT_TRUE(writer.waitForEnd(10000));
    EXPECT_EQ(QDir(work).entryList({u"*.prl"_s}, QDir::Files).size(), 1);
}

} // namespace
