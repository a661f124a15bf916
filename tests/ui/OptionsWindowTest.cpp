#include "tests/ui/RecorderWindowFixture.h"

namespace {

// The options taken by the running window, as after the Options sheet closes.
using OptionsWindowTest = RecorderWindowTest;

/// Keeps the capture thread busy while it lives, so that what it is sent meanwhile (the start
/// of an armed period, new values) waits for it.
struct CaptureHold {
    explicit CaptureHold(CRecordSound& capture)
    {
        QMetaObject::invokeMethod(
            &capture, [future = released] { future.wait(); }, Qt::QueuedConnection);
    }
    ~CaptureHold() { release.set_value(); }
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
};

TEST_F(OptionsWindowTest, ThresholdAndSilenceFromTheOptionsReachAnArmedCaptureAtOnce)
{
    // Two calls three seconds apart.
    const QString wav = env.root() + QStringLiteral("calls.wav");
    ASSERT_TRUE(AudioFixtures::writeWav(
        wav, {{1.0, false}, {2.0, true}, {3.0, false}, {2.0, true}, {4.0, false}}));
    struct Case {
        int armedThreshold, armedSilence, threshold, silence, rows;
    };
    // Only the applied values can split the calls (2 s of silence), or hear none (32767).
    for (const Case& c : {Case{32767, 5, 3000, 2, 2}, Case{3000, 2, 32767, 2, 0}}) {
        SCOPED_TRACE(c.threshold);
        writeSettings({"AvviaInAutoReg=0",
                       "SogliaAttivazioneRegAuto=" + QString::number(c.armedThreshold),
                       "TempoAttesaRegAuto=" + QString::number(c.armedSilence)});
        run(wav, [&](CRecorderDlg& window) {
            const int rowsBefore = rowCount(window);
            {
                const CaptureHold hold(*window.capture());
                QTest::mouseClick(button(window, "AutoRecord"), Qt::LeftButton);
                storeOptions(
                    window,
                    [&](Settings& values) {
                        values.threshold = c.threshold;
                        values.silenceSeconds = c.silence;
                    },
                    {SettingsNames::SogliaAttivazioneRegAuto, SettingsNames::TempoAttesaRegAuto});
                window.applyStoredOptions();
                EXPECT_EQ(window.findChild<LevelMeter*>()->threshold(), c.threshold);
            }
            EXPECT_TRUE(waitForKeptRows(window, rowsBefore + c.rows));
            EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        });
    }
}

TEST_F(OptionsWindowTest, TheOperatorAndTheWarningSoundApplyAtOnceAndUnchangedOptionsChangeNothing)
{
    writeSettings({"AvviaInAutoReg=1", "SogliaAttivazioneRegAuto=32767", "Operatore=Anna",
                   "AbilitaSegnaleAcustico=1"});
    const QString silence = prepareEarlierCallAndSilence();
    const int volumeBefore = speakerVolume();
    run(silence, [&](CRecorderDlg& window) {
        auto* slider = window.findChild<QSlider*>(QStringLiteral("VolumeSlider"));
        const QString title = StringTable::text(354) + QStringLiteral(" (Anna)");
        EXPECT_EQ(window.windowTitle(), title);
        EXPECT_FALSE(slider->isEnabled());
        // Cancel: the stored values again, nothing restarts, reloads or sounds.
        int modeChanges = 0;
        int listResets = 0;
        // Counting ends with this scope: the close that follows changes the mode again.
        QObject counting;
        QObject::connect(window.controller(), &RecorderController::modeChanged, &counting,
                         [&] { ++modeChanges; });
        QObject::connect(tree(window)->model(), &QAbstractItemModel::modelReset, &counting,
                         [&] { ++listResets; });
        window.applyStoredOptions();
        QCoreApplication::processEvents();
        EXPECT_EQ(modeChanges, 0);
        EXPECT_EQ(listResets, 0);
        EXPECT_EQ(window.windowTitle(), title);
        EXPECT_EQ(speakerVolume(), 0);
        EXPECT_FALSE(slider->isEnabled());

        // The warning sound switched off: the speakers sound again, then on: silent again.
        for (const bool warning : {false, true}) {
            storeOptions(window,
                         [&](Settings& values) {
                             values.warningEnabled = warning;
                             values.operatorName.clear();
                         },
                         {SettingsNames::AbilitaSegnaleAcustico, SettingsNames::Operatore});
            window.applyStoredOptions();
            EXPECT_EQ(slider->isEnabled(), !warning);
            EXPECT_EQ(speakerVolume(), warning ? 0 : volumeBefore);
        }
        EXPECT_EQ(window.windowTitle(), StringTable::text(354));
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));

        storeOptions(window,
                     [](Settings& values) {
                         values.bothSides = true;
                         values.startOnMicrophoneOpen = true;
                         values.preRollSeconds = 3;
                         values.ignoredPrograms = QStringLiteral("zoom, teams");
                     },
                     {SettingsNames::RecordBothSides, SettingsNames::StartOnMicrophoneOpen,
                      SettingsNames::PreRollSeconds, SettingsNames::IgnoredMicrophonePrograms});
        window.applyStoredOptions();
        const Settings& applied = window.settings();
        EXPECT_TRUE(applied.bothSides && applied.startOnMicrophoneOpen);
        EXPECT_EQ(applied.preRollSeconds, 3);
        EXPECT_EQ(applied.ignoredPrograms, QStringLiteral("zoom, teams"));
    });
}

TEST_F(OptionsWindowTest, RecreateIndexFromTheOptionsRereadsTheTagsButNeverUnderARecording)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    run(silence, [&](CRecorderDlg& window) {
        ASSERT_EQ(rowNames(window), QStringList{"Earlier call"});
        const auto recreateThenCancel = [&] {
            answerWhenShown<COpzionePropertySheet>([](COpzionePropertySheet& sheet) {
                sheet.findChild<QPushButton*>(QStringLiteral("1137"))->click();
                sheet.reject();
            });
            window.OnImpostazioni();
        };
        QFile::remove(folder + QStringLiteral("Index.txt"));
        recreateThenCancel();
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("Index.txt")));
        EXPECT_EQ(rowNames(window), QStringList{"Earlier call"});
        EXPECT_TRUE(messages.texts.isEmpty());

        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        ASSERT_TRUE(window.controller()->recordingInProgress());
        recreateThenCancel();
        EXPECT_EQ(messages.texts, QStringList{StringTable::text(610)});
        EXPECT_EQ(rowCount(window), 2);
        stopAndDiscard(window);
    });
}

TEST_F(OptionsWindowTest, SingleFileChosenWhileArmedCollectsTheNextCallsIntoOneRecording)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    writeSettings({"AvviaInAutoReg=1", "TempoAttesaRegAuto=2", "SogliaAttivazioneRegAuto=3000",
                   "RegAutoSalvaUnicoFile=0", "VolumeRegistrazione=65535"});
    const QString calls = env.root() + QStringLiteral("calls.wav");
    ASSERT_TRUE(AudioFixtures::writeWav(
        calls, {{1.0, false}, {2.0, true}, {3.0, false}, {2.0, true}, {3.0, false}}));
    MicrophoneFeeder feeder(false);
    run(QString(), [&](CRecorderDlg& window) {
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected));
        storeOptions(window, [](Settings& values) { values.singleFile = true; },
                     {SettingsNames::RegAutoSalvaUnicoFile});
        window.applyStoredOptions();
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected));
        ASSERT_TRUE(feeder.speak(calls, env.root()));
        // Both calls are collected by one entry, named when auto-recording is switched off.
        ASSERT_TRUE(waitFor(
            [&] {
                const RecordingEntry* collecting = window.controller()->recordingInProgress();
                return !feeder.speaking() && inMode(window, RecorderMode::Armed) && collecting &&
                       collecting->state == RecordingEntry::Collecting &&
                       OleDate::toSeconds(collecting->duration) >= 7;
            },
            30000));
        answerWhenShown<SaveRecordingDialog>(
            [](SaveRecordingDialog& dialog) { dialog.saveButton()->click(); });
        QTest::mouseClick(button(window, "AutoRecord"), Qt::LeftButton);
        EXPECT_EQ(rowNames(window), QStringList{"Recording 1"});
    });
    EXPECT_TRUE(exists(QStringLiteral("Recording 1")));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(OptionsWindowTest, AFolderChosenDuringACallTakesOnlyTheNextCall)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    writeSettings({"AvviaInAutoReg=1", "TempoAttesaRegAuto=2", "SogliaAttivazioneRegAuto=3000",
                   "VolumeRegistrazione=65535"});
    const QString newFolder = env.root() + QStringLiteral("new calls/");
    QDir().mkpath(newFolder);
    RecordingEntry earlier =
        TaggedRecording::entry(newFolder, QStringLiteral("Earlier call"), OleDate::now() - 1);
    ASSERT_TRUE(TaggedRecording::write(earlier, AudioFixtures::mpegStream(2.0)));
    const QString call = env.root() + QStringLiteral("call.wav");
    ASSERT_TRUE(AudioFixtures::writeWav(call, {{1.0, false}, {2.0, true}, {3.0, false}}));
    MicrophoneFeeder feeder(false);
    QStringList rowsInNewFolder;
    run(QString(), [&](CRecorderDlg& window) {
        RecordingList& list = *window.recordingList();
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected));
        ASSERT_TRUE(feeder.speak(call, env.root()));
        ASSERT_TRUE(waitFor([&] { return inMode(window, RecorderMode::AutoRecording); }, 20000));
        storeOptions(window, [&](Settings& values) { values.workingFolder = newFolder; },
                     {SettingsNames::WorkDir});
        window.applyStoredOptions();
        EXPECT_EQ(list.folder().toStdString(), folder.toStdString());
        // The call is kept in the old folder; then the list shows the new one, still armed.
        ASSERT_TRUE(waitFor([&] { return list.folder() == newFolder; }, 30000));
        EXPECT_TRUE(list.holdsFolder());
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        EXPECT_EQ(rowNames(window), QStringList{"Earlier call"});
        EXPECT_EQ(window.settings().workingFolder.toStdString(), newFolder.toStdString());
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected));
        ASSERT_TRUE(feeder.speak(call, env.root()));
        ASSERT_TRUE(waitFor(
            [&] {
                return !feeder.speaking() && rowCount(window) == 2 &&
                       window.controller()->recordingInProgress() == nullptr;
            },
            30000));
        rowsInNewFolder = rowNames(window);
    });
    const QStringList oldCalls = QDir(folder).entryList({"*.mp3"}, QDir::Files);
    ASSERT_EQ(oldCalls.size(), 1);
    ASSERT_EQ(rowsInNewFolder.removeAll(QStringLiteral("Earlier call")), 1);
    ASSERT_EQ(rowsInNewFolder.size(), 1);
    const QString newCall = newFolder + rowsInNewFolder[0] + QStringLiteral(".mp3");
    // The same call, whole in both places.
    EXPECT_GT(QFileInfo(folder + oldCalls[0]).size(), QFileInfo(newCall).size() * 3 / 4);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(QDir(newFolder).entryList({"*.prl", "*.dtm"}, QDir::Files).isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

TEST_F(OptionsWindowTest, AFolderChosenWhileAnotherProgramHoldsItIsReadOnlyUntilFree)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    const QString held = env.root() + QStringLiteral("held/");
    QDir().mkpath(held);
    FolderLock other;
    ASSERT_EQ(other.acquire(held, QStringLiteral("parlunectl 1 rename")), FolderLock::Result::Held);
    run(silence, [&](CRecorderDlg& window) {
        RecordingList& list = *window.recordingList();
        storeOptions(window, [&](Settings& values) { values.workingFolder = held; },
                     {SettingsNames::WorkDir});
        window.applyStoredOptions();
        EXPECT_EQ(list.folder().toStdString(), held.toStdString());
        EXPECT_FALSE(list.holdsFolder());
        EXPECT_EQ(rowCount(window), 0);
        // The old folder is given up at once.
        FolderLock old;
        EXPECT_EQ(old.acquire(folder, QStringLiteral("parlunectl 2 rename")),
                  FolderLock::Result::Held);
        other.release();
        EXPECT_TRUE(waitFor([&] { return list.holdsFolder(); }));
    });
}

} // namespace
