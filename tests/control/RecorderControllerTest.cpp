#include "control/RecorderController.h"
#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "audio/EncoderLibrary.h"
#include "control/LeftoverRecovery.h"
#include "control/RecorderView.h"
#include "control/WarningSound.h"
#include "platform/FileOps.h"
#include "platform/LockedFile.h"
#include "store/EntryTags.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Piece = AudioFixtures::Piece;

/// The window as the test plays it: answers the save dialog from a script and records what it
/// was shown and the warning sounds played.
class ScriptedView : public RecorderView, public WarningSound {
public:
    std::optional<SaveAnswer> askRecordingName(const RecordingEntry& entry, const QString&,
                                               const SaveAnswer& proposed) override
    {
        asked.push_back(entry.name);
        proposals.push_back(proposed.name);
        if (whileAsking)
            std::exchange(whileAsking, {})();
        if (answers.empty())
            return SaveAnswer{entry.name, QString()};
        const std::optional<SaveAnswer> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void reportMessage(int stringId, const QString&, Severity) override
    {
        messages.push_back(stringId);
    }
    void reportFatal(int stringId) override { fatal.push_back(stringId); }
    void insertRecordingRow(RecordingEntry& entry, RowImage) override
    {
        rows.push_back(entry.name);
        if (rowInserted)
            rowInserted(entry.name);
    }
    void removeRecordingRow(const QString& name) override { removedRows.push_back(name); }
    void showThreshold(int threshold) override { shownThreshold = threshold; }
    void play(Outcome outcome) override
    {
        ++warnings;
        outcome(0);
    }
    void stop() override {}

    std::deque<std::optional<SaveAnswer>> answers;
    std::vector<QString> asked;
    std::vector<QString> proposals;
    /// Runs at each new row, while its call is recorded.
    std::function<void(const QString&)> rowInserted;
    /// Runs once inside the next question, as the dialog's event loop would run other work.
    std::function<void()> whileAsking;
    int warnings = 0;
    std::vector<int> messages;
    std::vector<int> fatal;
    std::vector<QString> rows;
    std::vector<QString> removedRows;
    int shownThreshold = -1;
};

/// The recorder as the window builds it, on a WAV file instead of the microphone.
class RecorderRig {
public:
    explicit RecorderRig(const std::vector<Piece>& pieces,
                         const std::function<void(RecorderRig&)>& prepare = {})
        : work(env.root() + QStringLiteral("work/")), wav(env.root() + QStringLiteral("in.wav"))
    {
        QDir().mkpath(work);
        EXPECT_TRUE(AudioFixtures::writeWav(wav, pieces));
        settings.workingFolder = work;
        settings.silenceSeconds = 2;
        settings.threshold = 3000;
        settings.antiBump = true;
        if (prepare)
            prepare(*this);
        list.setFolder(work);
        list.LoadList();
        capture = std::make_unique<CRecordSound>(CRecordSound::wavFile(wav), env.dataFolder());
        QObject::connect(capture.get(), &CRecordSound::inputEnded, qApp, [this] { ended = true; });
        RecorderController::Config config;
        config.programFolder = env.programFolder();
        controller =
            std::make_unique<RecorderController>(view, list, settings, *capture, writer, config,
                                                 RecorderServices{&view, nullptr, nullptr});
        QObject::connect(controller.get(), &RecorderController::recordingKept, qApp,
                         [this](const QString& name) { kept.push_back(name); });
        QObject::connect(controller.get(), &RecorderController::recordingFailed, qApp,
                         [this](int id) { failures.push_back(id); });
        controller->setMoveRetry(10, 10);
    }
    ~RecorderRig()
    {
        controller.reset();
        capture.reset();
    }

    /// Runs the whole file through, then stops as the Stop button does.
    void recordToTheEnd(bool autoRecord)
    {
        controller->start();
        if (autoRecord)
            controller->ToggleAutoRecording();
        else
            controller->StartRecording();
        ASSERT_TRUE(waitFor([this] { return ended; }, 60000));
        controller->StopRecording(true);
    }
    /// Waits until the recorder has said something and gone back to idle.
    bool waitForIdleAfterAMessage(int timeoutMs)
    {
        return waitFor(
            [this] {
                return !view.messages.empty() &&
                       controller->mode() == RecorderMode(RecorderMode::Idle);
            },
            timeoutMs);
    }
    QStringList mp3Files() const
    {
        return QDir(work).entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name);
    }
    QStringList leftovers() const
    {
        return QDir(work).entryList({QStringLiteral("*.prl"), QStringLiteral("*.dtm")},
                                    QDir::Files);
    }
    /// The entry the file's tag describes.
    RecordingEntry tagOf(const QString& name) const
    {
        RecordingEntry entry;
        EXPECT_TRUE(EntryTags::LoadEntryFromFile(work + name + ".mp3", entry, work, true));
        return entry;
    }
    bool indexed(const QString& name) const
    {
        return AudioFixtures::readFile(work + RecordingList::indexFileName())
            .contains(name.toUtf8());
    }

    TestEnvironment env;
    QString work;
    QString wav;
    Settings settings;
    RecordingList list;
    ScriptedView view;
    CWriteSoundFile writer;
    std::unique_ptr<CRecordSound> capture;
    std::unique_ptr<RecorderController> controller;
    std::vector<QString> kept;
    std::vector<int> failures;
    bool ended = false;
};

qint64 seconds(const RecordingEntry& entry)
{
    return OleDate::toSeconds(entry.duration);
}

} // namespace

// A manual recording is kept once, under the operator's default name, with tag and record.
TEST(RecorderControllerManual, StartAndStopKeepOneRecordingWithTagAndIndexRecord)
{
    RecorderRig rig({{3.0, true}}, [](RecorderRig& r) { r.settings.operatorName = "Anna"; });
    const QString name = QStringLiteral("Anna - Recording 1");
    rig.controller->start();
    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Idle));
    rig.controller->StartRecording();
    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Recording));
    ASSERT_NE(rig.controller->recordingInProgress(), nullptr);
    EXPECT_EQ(rig.view.rows, std::vector<QString>{name});
    ASSERT_TRUE(waitFor([&] { return rig.ended; }, 60000));
    rig.controller->StopRecording();

    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Idle));
    EXPECT_EQ(rig.controller->recordingInProgress(), nullptr);
    EXPECT_EQ(rig.view.asked, std::vector<QString>{name});
    EXPECT_EQ(rig.kept, std::vector<QString>{name});
    EXPECT_EQ(rig.mp3Files(), QStringList{name + ".mp3"});
    EXPECT_TRUE(rig.leftovers().isEmpty());
    const RecordingEntry tag = rig.tagOf(name);
    EXPECT_EQ(tag.name, name);
    EXPECT_EQ(tag.operatorName, QStringLiteral("Anna"));
    EXPECT_NEAR(seconds(tag), 3, 1);
    EXPECT_TRUE(rig.indexed(name));
    EXPECT_TRUE(rig.view.messages.empty());
}

// Calls apart by more than the silence become one recording each, kept without asking; in
// single-file mode every call of the armed period goes into one recording, named at the end.
TEST(RecorderControllerAuto, CallsBecomeOneRecordingEachOrOneForTheArmedPeriod)
{
    struct Case {
        bool singleFile;
        std::vector<Piece> pieces;
        std::vector<QString> kept;
        std::vector<qint64> seconds; ///< each call with the silence that ended it
        std::vector<QString> asked;
    };
    const Case cases[] = {
        {false,
         {{1.0, false}, {3.0, true}, {4.0, false}, {2.0, true}, {4.0, false}},
         {"Recording 1", "Recording 2"},
         {5, 4},
         {}},
        {true,
         {{1.0, false},
          {3.0, true},
          {4.0, false},
          {2.0, true},
          {4.0, false},
          {2.0, true},
          {4.0, false}},
         {"Recording 1"},
         {13},
         {"Recording 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.singleFile ? "single file" : "one file per call");
        RecorderRig rig(c.pieces, [&](RecorderRig& r) { r.settings.singleFile = c.singleFile; });
        rig.recordToTheEnd(true);
        EXPECT_EQ(rig.kept, c.kept);
        for (size_t i = 0; i < c.kept.size(); ++i) {
            EXPECT_NEAR(seconds(rig.tagOf(c.kept[i])), c.seconds[i], c.singleFile ? 2 : 1);
            EXPECT_TRUE(rig.indexed(c.kept[i]));
        }
        EXPECT_EQ(rig.mp3Files().size(), qsizetype(c.kept.size()));
        EXPECT_TRUE(rig.leftovers().isEmpty());
        EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Idle));
        EXPECT_EQ(rig.view.asked, c.asked);
    }
}

TEST(RecorderControllerAuto, AnArrivedCallWhoseNameIsBlockedIsRetriedWithoutBlockingThenKept)
{
    // Each call's name is taken by a foreign file while it is recorded: the first one's
    // blocker goes away during the retries, the second one's stays until they run out.
    RecorderRig rig({{1.0, false}, {3.0, true}, {4.0, false}, {2.0, true}, {4.0, false}});
    rig.controller->setMoveRetry(40, 20);
    rig.view.rowInserted = [&](const QString& name) {
        EXPECT_TRUE(AudioFixtures::writeFile(rig.work + name + ".mp3", "other"));
    };
    rig.controller->start();
    rig.controller->ToggleAutoRecording();
    // The retries wait on a timer: this loop keeps running meanwhile.
    ASSERT_TRUE(waitFor([&] { return rig.controller->inRound(); }, 60000));
    ASSERT_TRUE(QFile::remove(rig.work + "Recording 1.mp3"));
    ASSERT_TRUE(waitFor([&] { return rig.kept.size() == 1; }));
    ASSERT_TRUE(waitFor([&] { return rig.ended; }, 60000));
    ASSERT_TRUE(waitFor([&] { return rig.view.messages == std::vector<int>{69}; }));
    rig.controller->StopRecording(true);
    EXPECT_EQ(rig.kept, std::vector<QString>{"Recording 1"});
    EXPECT_NEAR(seconds(rig.tagOf("Recording 1")), 5, 1);
    EXPECT_EQ(AudioFixtures::readFile(rig.work + "Recording 2.mp3"), "other");
    EXPECT_EQ(rig.list.Count(), 1);
    // The second call's audio waits for the next opening of the folder.
    ASSERT_EQ(rig.leftovers().size(), 1);
    EXPECT_TRUE(LeftoverRecovery::holdsAudio(rig.work + rig.leftovers().front()));
}

TEST(RecorderControllerAuto, BumpUnderASecondIsDiscardedWithAntiBump)
{
    RecorderRig rig({{1.0, false}, {0.4, true}, {4.0, false}, {3.0, true}, {4.0, false}});
    rig.recordToTheEnd(true);
    EXPECT_EQ(rig.mp3Files().size(), 1);
    EXPECT_EQ(rig.kept.size(), 1u);
    EXPECT_EQ(rig.list.Count(), 1);
    EXPECT_TRUE(rig.leftovers().isEmpty());
    EXPECT_EQ(rig.view.removedRows.size(), 1u);
}

TEST(RecorderControllerAuto, ConfirmationAsksUntilANameIsAcceptedAndSavesUnderIt)
{
    RecorderRig rig({{1.0, false}, {3.0, true}, {4.0, false}},
                    [](RecorderRig& r) { r.settings.askConfirmation = true; });
    for (int refused = 0; refused < 4; ++refused)
        rig.view.answers.push_back(RecorderView::SaveAnswer{"tmp_nome_reg", "typed notes"});
    rig.view.answers.push_back(RecorderView::SaveAnswer{"Invoice call  ", "  to be paid"});
    rig.recordToTheEnd(true);
    EXPECT_EQ(rig.view.messages, std::vector<int>(4, 18));
    EXPECT_EQ(rig.view.proposals,
              (std::vector<QString>{"Recording 1", "tmp_nome_reg", "tmp_nome_reg", "tmp_nome_reg",
                                    "tmp_nome_reg"}));
    EXPECT_EQ(rig.kept, std::vector<QString>{"Invoice call"});
    EXPECT_EQ(rig.tagOf("Invoice call").notes, QStringLiteral("to be paid"));
    EXPECT_TRUE(rig.indexed("Invoice call"));
    EXPECT_TRUE(rig.leftovers().isEmpty());
}

TEST(RecorderControllerAuto, AStopArrivingWhileTheSaveDialogIsOpenWaitsForTheDialog)
{
    RecorderRig rig({{1.0, false}, {3.0, true}, {4.0, false}},
                    [](RecorderRig& r) { r.settings.askConfirmation = true; });
    rig.view.answers.push_back(RecorderView::SaveAnswer{"Named in the dialog", ""});
    // A writer error or a termination reaches the controller from the dialog's event loop.
    rig.view.whileAsking = [&] { rig.controller->StopRecording(true); };
    rig.controller->start();
    rig.controller->ToggleAutoRecording();
    ASSERT_TRUE(waitFor([&] { return !rig.kept.empty(); }, 60000));
    EXPECT_EQ(rig.kept, std::vector<QString>{"Named in the dialog"});
    // The stop comes once the dialog's recording is settled: the recorder is disarmed.
    ASSERT_TRUE(
        waitFor([&] { return rig.controller->mode() == RecorderMode(RecorderMode::Idle); }));
    EXPECT_EQ(rig.view.asked.size(), 1u);
    EXPECT_EQ(rig.mp3Files(), QStringList{"Named in the dialog.mp3"});
    EXPECT_TRUE(rig.view.messages.empty());
}

TEST(RecorderControllerAuto, TheFileOfACallArrivingAfterTheNextCallBeganKeepsThatCallsWarning)
{
    RecorderRig rig({{30.0, false}}, [](RecorderRig& r) {
        r.settings.warningEnabled = true;
        r.settings.warningAfter = true;
        r.settings.warningAfterSeconds = 1;
    });
    rig.controller->start();
    rig.controller->ToggleAutoRecording();
    // A file input runs ahead of the writer: the second call is heard before the first one's
    // file is handed over.
    Q_EMIT rig.capture->voiceDetected(0);
    Q_EMIT rig.capture->voiceDetected(0);
    const QString firstFile = rig.work + QStringLiteral("first call.prl");
    ASSERT_TRUE(AudioFixtures::writeFile(firstFile, AudioFixtures::mpegStream(2.0)));
    Q_EMIT rig.writer.fileReady(firstFile, false);
    ASSERT_TRUE(waitFor([&] { return rig.kept.size() == 1u; }));
    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::AutoRecording));

    EXPECT_TRUE(waitFor([&] { return rig.view.warnings == 1; }, 5000));
}

TEST(RecorderControllerAuto, ACallStartsWithTheAudioKeptFromBeforeItsVoice)
{
    RecorderRig rig({{30.0, false}});
    rig.controller->start();
    rig.controller->ToggleAutoRecording();
    const double heard = OleDate::now();
    Q_EMIT rig.capture->voiceDetected(1500);
    ASSERT_TRUE(waitFor([&] { return rig.list.Count() == 1; }));
    const double secondsBefore = (heard - rig.list.entries().front()->startTime) * 86400;
    EXPECT_GT(secondsBefore, 1.4);
    EXPECT_LT(secondsBefore, 1.8);
}

// A save cancelled in the dialog, after a call or a manual recording, leaves nothing behind.
TEST(RecorderControllerAuto, CancelledConfirmationDiscardsTheCallOrRecording)
{
    for (const bool autoRecord : {true, false}) {
        SCOPED_TRACE(autoRecord ? "call" : "manual");
        RecorderRig rig({{1.0, false}, {3.0, true}, {4.0, false}},
                        [](RecorderRig& r) { r.settings.askConfirmation = true; });
        rig.view.answers.push_back(std::nullopt);
        rig.recordToTheEnd(autoRecord);
        EXPECT_EQ(rig.view.asked.size(), 1u);
        EXPECT_TRUE(rig.kept.empty());
        EXPECT_TRUE(rig.mp3Files().isEmpty());
        EXPECT_EQ(rig.list.Count(), 0);
        EXPECT_TRUE(rig.leftovers().isEmpty());
    }
}

TEST(RecorderControllerSettings, SettingsGivenWhenArmingOrDraggedReachTheCaptureAtOnce)
{
    RecorderRig rig({{1.0, false}, {3.0, true}, {4.0, false}});
    // The window brings in what was stored meanwhile as arming begins.
    QObject::connect(rig.controller.get(), &RecorderController::aboutToArm, qApp, [&] {
        Settings stored = rig.settings;
        stored.silenceSeconds = 3;
        stored.threshold = 20000;
        stored.antiBump = false;
        rig.controller->applySettings(stored);
    });
    rig.controller->start();
    rig.controller->ToggleAutoRecording();
    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Armed));
    EXPECT_EQ(rig.view.shownThreshold, 20000);
    EXPECT_EQ(rig.capture->threshold(), 20000);
    EXPECT_EQ(rig.capture->silenceSeconds(), 3);
    EXPECT_FALSE(rig.capture->antiBump());
    ASSERT_TRUE(waitFor([&] { return rig.ended; }, 60000));
    rig.controller->ToggleAutoRecording();
    // The tone peaks at 12000, under the threshold given when arming: no call.
    EXPECT_TRUE(rig.kept.empty());
    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Idle));
    EXPECT_TRUE(rig.leftovers().isEmpty());

    rig.controller->OnThresholdDragged(4321);
    EXPECT_EQ(rig.capture->threshold(), 4321);
}

// A recording that cannot start (its temporary file held by another recorder, an input that
// cannot be opened) ends at once, says why and keeps nothing.
TEST(RecorderControllerFailures, ARecordingThatCannotStartEndsVisiblyAndKeepsNothing)
{
    for (const bool heldFile : {true, false}) {
        SCOPED_TRACE(heldFile ? "temporary file held" : "input unreadable");
        LockedFile other;
        RecorderRig rig({{2.0, true}}, [&](RecorderRig& r) {
            if (heldFile)
                EXPECT_EQ(other.open(r.work + "tmp_nome_reg.dtm"), LockedFile::OpenResult::Opened);
            else
                AudioFixtures::writeFile(r.wav, QByteArray(4000, '\x5a'));
        });
        const int reason = heldFile ? CWriteSoundFile::kTemporaryFileString
                                    : RecorderController::kNothingHeardString;
        rig.controller->start();
        rig.controller->StartRecording();
        ASSERT_TRUE(rig.waitForIdleAfterAMessage(20000));
        EXPECT_EQ(rig.view.messages, std::vector<int>{reason});
        EXPECT_EQ(rig.failures, std::vector<int>{reason});
        EXPECT_TRUE(rig.kept.empty());
        EXPECT_EQ(rig.list.Count(), 0);
        EXPECT_TRUE(rig.view.asked.empty());
    }
}

TEST(RecorderControllerFailures, ASaveTheDiskRefusesKeepsTheAudioWithoutAskingAgain)
{
    RecorderRig rig({{2.0, true}});
    rig.controller->start();
    rig.controller->StartRecording();
    ASSERT_TRUE(waitFor([&] { return rig.ended; }, 60000));
    if (!rig.env.makeReadOnly(rig.work))
        GTEST_SKIP() << "a folder refusing the superuser's writes cannot be made here";
    // No other name can mend a read-only disk: asking again would go on for ever.
    rig.controller->StopRecording();
    EXPECT_EQ(rig.view.asked.size(), 1u);
    EXPECT_EQ(rig.view.messages, std::vector<int>{69});
    EXPECT_TRUE(rig.kept.empty());
    EXPECT_TRUE(LeftoverRecovery::holdsAudio(rig.work + "tmp_nome_reg.dtm"));
}

TEST(RecorderControllerFailures, FolderTurnedReadOnlyDuringACallIsReportedOnceAndLosesNothing)
{
    RecorderRig rig({{1.0, false}, {3.0, true}, {4.0, false}, {3.0, true}, {4.0, false}});
    if (TmpfsMount probe(rig.env.root() + "probe/", 1 << 16); !probe.mounted())
        GTEST_SKIP() << probe.whyNot().toStdString();
    // A read-only disk laid over the folder once the first call is heard: the file being
    // written stays where it is, every new file meets the read-only folder.
    std::unique_ptr<TmpfsMount> readOnly;
    QObject::connect(
        rig.capture.get(), &CRecordSound::voiceDetected, rig.capture.get(),
        [&] {
            if (!readOnly) {
                // The capture may run ahead of the writer: the call's file must be open first.
                for (int waited = 0; rig.writer.isWriterIdle() && waited < 5000; ++waited)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                readOnly = std::make_unique<TmpfsMount>(rig.work, 1 << 16);
                readOnly->setReadOnly(true);
            }
        },
        Qt::DirectConnection);
    rig.controller->start();
    rig.controller->ToggleAutoRecording();
    ASSERT_TRUE(rig.waitForIdleAfterAMessage(60000));
    rig.controller->shutdown();
    EXPECT_EQ(rig.view.messages, std::vector<int>{CWriteSoundFile::kTemporaryFileString});
    EXPECT_TRUE(rig.kept.empty());
    EXPECT_LT(rig.env.logLines().size(), 200);

    // The call is still on the disk under the read-only one, for a later recovery to take: in
    // the temporary file, or in its hand-over when the call ended before the disk turned.
    readOnly.reset();
    const QStringList left = rig.leftovers();
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [&](const QString& name) {
        return LeftoverRecovery::holdsAudio(rig.work + name);
    })) << left.join(u' ').toStdString();
}

TEST(RecorderControllerFailures, MissingEncoderLibraryIsFatal)
{
    RecorderRig rig({{2.0, true}});
    ASSERT_TRUE(QFile::remove(rig.env.programFolder() + EncoderLibrary::fileName()));
    rig.controller->start();
    rig.controller->StartRecording();
    ASSERT_TRUE(waitFor([&] { return !rig.view.fatal.empty(); }, 20000));
    EXPECT_EQ(rig.view.fatal, std::vector<int>{CWriteSoundFile::kLibraryMissingString});
    EXPECT_EQ(rig.controller->mode(), RecorderMode(RecorderMode::Idle));
    EXPECT_EQ(rig.list.Count(), 0);
}

TEST(RecorderControllerRecovery, LeftoversWithAudioBecomeRecordingsAndJunkGoesAtStart)
{
    const QByteArray audio = AudioFixtures::mpegStream(3.0);
    LockedFile liveImport;
    RecorderRig rig({{1.0, false}}, [&](RecorderRig& r) {
        AudioFixtures::writeFile(r.work + "tmp_nome_reg.dtm", audio);
        AudioFixtures::writeFile(r.work + "TEM1A2B.prl", audio);
        // Copies whose audio their recordings or import sources still hold.
        AudioFixtures::writeFile(r.work + "TEM0C1D.tmp", audio);
        AudioFixtures::writeFile(r.work + "Kept.mp3", audio);
        for (const char* junk : {"Kept.prl", "tagTemporary.dtm", "tagTemporary-0123abcd.dtm",
                                 "Join_Temporary-89abcdef.dtm"})
            AudioFixtures::writeFile(r.work + junk, audio);
        AudioFixtures::writeFile(r.work + "TEM0E2F.tmp", QByteArray());
        // Left alone: a hand-over without audio, one named like a recording (it cannot be told
        // from that recording's copy), and a file a live process holds.
        AudioFixtures::writeFile(r.work + "Empty.prl", QByteArray());
        AudioFixtures::writeFile(r.work + "TEM5A5A.mp3", audio);
        AudioFixtures::writeFile(r.work + "TEM5A5A.prl", audio);
        AudioFixtures::writeFile(r.work + "TEM7777.tmp", audio);
        ASSERT_EQ(liveImport.open(r.work + "TEM7777.tmp"), LockedFile::OpenResult::Opened);
        // Listed as 00:00 although its file holds audio, as a kill during its tag write leaves it.
        RecordingEntry unmeasured = TaggedRecording::entry(r.work, "Unmeasured", OleDate::now());
        unmeasured.duration = 0;
        TaggedRecording::write(unmeasured, audio);
    });
    rig.controller->start();
    EXPECT_EQ(rig.mp3Files(), (QStringList{"Kept.mp3", "Recording 1.mp3", "Recording 2.mp3",
                                           "TEM5A5A.mp3", "Unmeasured.mp3"}));
    EXPECT_EQ(rig.leftovers(), (QStringList{"Empty.prl", "TEM5A5A.prl"}));
    EXPECT_EQ(QDir(rig.work).entryList({"*.tmp"}, QDir::Files), QStringList{"TEM7777.tmp"});
    EXPECT_EQ(AudioFixtures::readFile(rig.work + "TEM7777.tmp"), audio);
    EXPECT_NEAR(seconds(rig.tagOf("Recording 1")), 3, 1);
    EXPECT_TRUE(rig.indexed("Recording 2"));
    ASSERT_NE(rig.list.FindByName("Unmeasured"), nullptr);
    EXPECT_NEAR(seconds(*rig.list.FindByName("Unmeasured")), 3, 1);
    EXPECT_NE(tagText(rig.work + "Unmeasured.mp3", "TLEN"), QStringLiteral("00:00:00"));
}

TEST(RecorderControllerRecovery, FileLockedByALiveRecorderIsLeftAlone)
{
    for (const QString leftover : {"tmp_nome_reg.dtm", "TEM1A2B.prl"}) {
        TestEnvironment env;
        const QString work = env.root() + "work/";
        QDir().mkpath(work);
        const QByteArray audio = AudioFixtures::mpegStream(2.0);
        AudioFixtures::writeFile(work + leftover, audio);
        LockedFile liveRecorder;
        ASSERT_EQ(liveRecorder.open(work + leftover), LockedFile::OpenResult::Opened);
        RecordingList list;
        list.setFolder(work);
        ASSERT_TRUE(list.LoadList());
        EXPECT_TRUE(LeftoverRecovery::recover(list, work).isEmpty());
        EXPECT_EQ(AudioFixtures::readFile(work + leftover), audio);
        liveRecorder.close();
        EXPECT_EQ(LeftoverRecovery::recover(list, work), QStringList{"Recording 1"});
        EXPECT_FALSE(QFile::exists(work + leftover));
    }
}

TEST(RecorderControllerRecovery, HandOverRenamedAwayMeanwhileIsNeverMadeAgain)
{
    TestEnvironment env;
    const QString work = env.root() + "work/";
    QDir().mkpath(work);
    const QString handOver = work + "TEM1A2B.prl";
    const QString moved = work + "Call.mp3.part";
    AudioFixtures::writeFile(handOver, AudioFixtures::mpegStream(1.0));
    // Its recorder holds it and keeps moving it, as a recorder takes its hand-overs away.
    LockedFile liveRecorder;
    ASSERT_EQ(liveRecorder.open(handOver), LockedFile::OpenResult::Opened);
    std::atomic<bool> stop{false};
    const QByteArray from = QFile::encodeName(handOver);
    // Moved as the recorder moves files: never over another one.
    std::thread mover([&] {
        while (!stop) {
            FileOps::renameNoReplace(handOver, moved);
            FileOps::renameNoReplace(moved, handOver);
        }
    });
    RecordingList list;
    list.setFolder(work);
    ASSERT_TRUE(list.LoadList());
    bool madeAgain = false;
    for (int round = 0; round < 300 && !madeAgain; ++round) {
        EXPECT_TRUE(LeftoverRecovery::recover(list, work).isEmpty());
        // An empty file of the name would keep the recorder's file from coming back. One stat:
        // QFileInfo may stat twice and read a size of 0 for a file renamed away in between.
        struct stat found {};
        madeAgain = ::stat(from.constData(), &found) == 0 && found.st_size == 0;
    }
    stop = true;
    mover.join();
    EXPECT_FALSE(madeAgain);
    EXPECT_EQ(QDir(work).entryList({"*.prl", "*.part"}, QDir::Files), QStringList{"TEM1A2B.prl"});
}
