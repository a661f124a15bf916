#include "tests/ui/RecorderWindowFixture.h"

namespace {

TEST_F(RecorderWindowTest, AManualRecordingSavedUnderItsNameLandsAtTheTopOfTheList)
{
    writeSettings({"AvviaInAutoReg=0", "Operatore=Anna"});
    const QString first =
        SpokenAudio::calls(env.root(), {"A first call, kept as it is."}, 0.5, "first.wav");
    const QString second = SpokenAudio::calls(
        env.root(), {"Hello, this is Anna calling about the delivery of the new chairs."}, 1.0,
        "second.wav");
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());

    // A first run keeps its recording under the default name, which carries the operator.
    run(first, [&](CRecorderDlg& window) {
        recordByHand(window, [](SaveRecordingDialog& dialog) { dialog.saveButton()->click(); });
        EXPECT_EQ(rowNames(window), QStringList({"Anna - Recording 1"}));
    });
    run(second, [&](CRecorderDlg& window) {
        EXPECT_EQ(rowNames(window), QStringList({"Anna - Recording 1"}));
        recordByHand(window, [](SaveRecordingDialog& dialog) {
            dialog.nameEdit()->clear();
            QTest::keyClicks(dialog.nameEdit(), QStringLiteral("Chairs delivery"));
            dialog.findChild<QPlainTextEdit*>(QStringLiteral("notesEdit"))
                ->setPlainText(QStringLiteral("Call back on Tuesday"));
            dialog.saveButton()->click();
        });
        EXPECT_EQ(rowNames(window), QStringList({"Chairs delivery", "Anna - Recording 1"}));
        EXPECT_EQ(cell(window, 0, RecordingListView::NotesColumn),
                  QStringLiteral("Call back on Tuesday"));
        // The spoken sentence of about four seconds between a second of silence on each side.
        const QString duration = cell(window, 0, RecordingListView::DurationColumn);
        EXPECT_GE(durationSeconds(duration), 4) << duration.toStdString();
        EXPECT_LE(durationSeconds(duration), 8) << duration.toStdString();
        EXPECT_TRUE(button(window, "Play")->isEnabled());
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
    });
    EXPECT_GT(QFileInfo(folder + QStringLiteral("Chairs delivery.mp3")).size(), 4000);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("Anna - Recording 1.mp3")));
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

TEST_F(RecorderWindowTest, AutoRecordingArmedAtStartKeepsEachCallAsARow)
{
    // Armed at start; both calls are kept under default names without asking.
    writeSettings({"AvviaInAutoReg=1", "TempoAttesaRegAuto=2", "SogliaAttivazioneRegAuto=3000"});
    const QString wav =
        SpokenAudio::calls(env.root(),
                           {"Good morning, I am calling about the invoice from last week.",
                            "Hello again, the delivery will arrive on Tuesday afternoon."},
                           4.0, "calls.wav");
    ASSERT_FALSE(wav.isEmpty());

    run(wav, [&](CRecorderDlg& window) {
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("LevelMeter"))->isVisible());
        EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("StatusIcon"))->isVisible());
        ASSERT_TRUE(waitForKeptRows(window, 2));
        EXPECT_EQ(rowNames(window), QStringList({"Recording 2", "Recording 1"}));
        for (int row = 0; row < 2; ++row) {
            // A sentence of about three seconds and the two seconds of silence that ended it.
            const QString duration = cell(window, row, RecordingListView::DurationColumn);
            EXPECT_GE(durationSeconds(duration), 4) << duration.toStdString();
            EXPECT_LE(durationSeconds(duration), 7) << duration.toStdString();
        }
    });
    EXPECT_TRUE(exists(QStringLiteral("Recording 1")));
    EXPECT_TRUE(exists(QStringLiteral("Recording 2")));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RecorderWindowTest, TheRecordingJustMadePlaysPausesAndStopsFromTheWindow)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString wav = SpokenAudio::calls(
        env.root(), {"One two three four five six seven eight nine ten eleven twelve."}, 1.0,
        "count.wav");
    ASSERT_FALSE(wav.isEmpty());

    run(wav, [&](CRecorderDlg& window) {
        recordByHand(window, [](SaveRecordingDialog& dialog) { dialog.saveButton()->click(); });
        PlaybackControls& playback = *window.playback();

        // Double-click plays the selected row; the mode follows play, pause and stop.
        QTreeView* list = tree(window);
        const QRect rowRect = list->visualRect(list->model()->index(0, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowRect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowRect.center());
        ASSERT_TRUE(playback.isPlaying());
        EXPECT_TRUE(inMode(window, RecorderMode::Idle, true));
        EXPECT_GE(playback.playLength(), 4);

        QTest::mouseClick(button(window, "Pause"), Qt::LeftButton);
        ASSERT_TRUE(playback.isPaused());
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
        QTest::mouseClick(button(window, "Pause"), Qt::LeftButton);
        EXPECT_TRUE(playback.isPlaying());
        EXPECT_TRUE(inMode(window, RecorderMode::Idle, true));

        // Stop ends the playback, and the mode follows.
        QTest::mouseClick(button(window, "StopRecord"), Qt::LeftButton);
        EXPECT_FALSE(playback.isPlaying());
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
        EXPECT_FALSE(button(window, "StopRecord")->isEnabled());
        EXPECT_TRUE(button(window, "Play")->isEnabled());
    });
}

TEST_F(RecorderWindowTest, RecordAndADetectedCallEndAPausedPlayback)
{
    writeSettings({"AvviaInAutoReg=0", "TempoAttesaRegAuto=2", "SogliaAttivazioneRegAuto=3000"});
    prepareEarlierCallAndSilence();
    const QString call = env.root() + QStringLiteral("call.wav");
    ASSERT_TRUE(AudioFixtures::writeWav(call, {{1.0, false}, {2.0, true}, {4.0, false}}));

    for (const char* command : {"Record", "AutoRecord"}) {
        SCOPED_TRACE(command);
        run(call, [&](CRecorderDlg& window) {
            PlaybackControls& playback = *window.playback();
            QTest::mouseClick(button(window, "Play"), Qt::LeftButton);
            ASSERT_TRUE(playback.isPlaying());
            QTest::mouseClick(button(window, "Pause"), Qt::LeftButton);
            ASSERT_TRUE(playback.isPaused());

            QTest::mouseClick(button(window, command), Qt::LeftButton);
            if (!inMode(window, RecorderMode::Recording)) {
                // Armed: the call in the input is heard, recorded and kept by itself.
                ASSERT_TRUE(waitForKeptRows(window, 2));
            }
            EXPECT_FALSE(playback.isPaused());
            EXPECT_EQ(playback.playingRecording(), nullptr);
            EXPECT_FALSE(button(window, "Pause")->isEnabled());
            if (inMode(window, RecorderMode::Recording)) {
                ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000));
                stopAndDiscard(window);
                EXPECT_TRUE(inMode(window, RecorderMode::Idle));
            }
        });
    }
    EXPECT_TRUE(exists(QStringLiteral("Recording 1")));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RecorderWindowTest, ALogOutWhileTheSaveDialogIsOpenKeepsTheRecordingUnderTheTypedName)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString wav =
        SpokenAudio::calls(env.root(), {"Nobody is left to press Save."}, 0.5, "logout.wav");
    ASSERT_FALSE(wav.isEmpty());
    bool ended = false;
    run(wav, [&](CRecorderDlg& window) {
        QObject::connect(&window, &CRecorderDlg::ended, [&] { ended = true; });
        recordByHand(window, [&](SaveRecordingDialog& dialog) {
            dialog.nameEdit()->clear();
            QTest::keyClicks(dialog.nameEdit(), QStringLiteral("Typed before log-out"));
            // The session ends while the dialog waits for its answer.
            window.closeUnattended();
            EXPECT_FALSE(ended);
        });
        EXPECT_TRUE(waitFor([&] { return ended; }));
    });
    EXPECT_TRUE(ended);
    EXPECT_GT(QFileInfo(folder + QStringLiteral("Typed before log-out.mp3")).size(), 4000);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RecorderWindowTest, AFirstStartRecordsASpokenCallFromTheMicrophoneWithoutAClick)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    // No settings at all: everything as a first start creates it, the microphone at 100 %.
    const QString spoken = SpokenAudio::calls(
        env.root(), {"Good morning, I would like to know where my parcel is."}, 0.5, "raw.wav");
    const QString call = env.root() + QStringLiteral("call.wav");
    ASSERT_TRUE(SpokenAudio::runTool("sox", {spoken, call, "norm", "-3"}));
    MicrophoneFeeder feeder(false);
    QString recorded;
    run(QString(), [&](CRecorderDlg& window) {
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected));
        ASSERT_TRUE(feeder.speak(call, env.root()));
        ASSERT_TRUE(waitFor([&] { return inMode(window, RecorderMode::AutoRecording); }, 20000));
        // The call ends after the created silence time; Exit then names the collected calls.
        ASSERT_TRUE(waitFor([&] { return inMode(window, RecorderMode::Armed); }, 40000));
        answerWhenShown<SaveRecordingDialog>(
            [](SaveRecordingDialog& dialog) { dialog.saveButton()->click(); });
        window.OnClose();
        recorded = window.settings().workingFolder + QStringLiteral("Recording 1.mp3");
    });
    // The desktop's microphone volume is kept, not turned down.
    EXPECT_EQ(TestEnvironment::settingsFileLines(env.userSettingsFile())
                  .filter(QStringLiteral("VolumeRegistrazione=")),
              QStringList{"VolumeRegistrazione=65535"});
    EXPECT_GT(QFileInfo(recorded).size(), 8000) << recorded.toStdString();
}

TEST_F(RecorderWindowTest, AnArmedWindowOnTheMicrophoneSurvivesAServerRestart)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    writeSettings({"AvviaInAutoReg=1", "TempoAttesaRegAuto=2", "SogliaAttivazioneRegAuto=3000",
                   "VolumeRegistrazione=65535"});
    const QString first = SpokenAudio::calls(
        env.root(), {"Good morning, this call is cut short by the audio server."}, 0.2,
        "first.wav");
    const QString second = SpokenAudio::calls(
        env.root(), {"Hello again, the server is back and so is the recorder."}, 0.2, "second.wav");
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    MicrophoneFeeder feeder(false);

    QStringList rows;
    run(QString(), [&](CRecorderDlg& window) {
        auto* status = window.findChild<SkinButton*>(QStringLiteral("StatusIcon"));
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected));
        ASSERT_TRUE(feeder.speak(first, env.root()));
        ASSERT_TRUE(waitFor([&] { return inMode(window, RecorderMode::AutoRecording); }, 20000));
        ASSERT_TRUE(
            waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() >= 4000; }, 20000));
        {
            PrivateAudioServer::SharedOutage outage;
            ASSERT_TRUE(outage.stopped());
            // The call heard so far becomes a row of its own; the window shows it hears nothing.
            ASSERT_TRUE(waitFor([&] {
                return rowCount(window) == 1 &&
                       window.controller()->recordingInProgress() == nullptr &&
                       !status->tip().isEmpty();
            }));
            EXPECT_EQ(status->tip(), StringTable::text(503));
            EXPECT_TRUE(inMode(window, RecorderMode::Armed));
            ASSERT_TRUE(outage.end());
        }
        // It reconnects by itself, still armed, and the next call is recorded.
        ASSERT_TRUE(waitFor(&MicrophoneFeeder::streamConnected, 20000));
        ASSERT_TRUE(waitFor([&] { return status->tip().isEmpty(); }));
        ASSERT_TRUE(feeder.speak(second, env.root()));
        ASSERT_TRUE(waitFor(
            [&] {
                return rowCount(window) == 2 && !feeder.speaking() &&
                       window.controller()->recordingInProgress() == nullptr;
            },
            30000));
        rows = rowNames(window);
    });
    EXPECT_EQ(rows, QStringList({"Recording 2", "Recording 1"}));
    for (const QString& name : rows)
        EXPECT_GT(QFileInfo(folder + name + QStringLiteral(".mp3")).size(), 2000)
            << name.toStdString();
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

TEST_F(RecorderWindowTest, ALostMicrophoneStaysShownAfterAPlaybackEnds)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    writeSettings({"AvviaInAutoReg=1"});
    ASSERT_TRUE(AudioFixtures::writeFile(folder + QStringLiteral("Earlier call.mp3"),
                                         AudioFixtures::mpegStream(3.0)));
    run(QString(), [&](CRecorderDlg& window) {
        auto* status = window.findChild<SkinButton*>(QStringLiteral("StatusIcon"));
        // The capture reports its microphone gone (unplugged with no other source to take).
        Q_EMIT window.capture()->inputLost(QStringLiteral("unplugged"));
        ASSERT_TRUE(waitFor([&] { return !status->tip().isEmpty(); }));
        const QImage lostLook = status->grab().toImage();
        window.playback()->Play(window.recordingList()->FindByName(QStringLiteral("Earlier call")));
        ASSERT_TRUE(window.playback()->isPlaying());
        window.playback()->Stop();
        EXPECT_EQ(status->grab().toImage(), lostLook);
    });
}

TEST_F(RecorderWindowTest, AManualRecordingIsKeptWhenTheAudioServerGoesAway)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    writeSettings({"AvviaInAutoReg=0", "VolumeRegistrazione=65535"});
    MicrophoneFeeder feeder(true);
    run(QString(), [&](CRecorderDlg& window) {
        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        ASSERT_TRUE(
            waitFor([&] { return QFileInfo(folder + "tmp_nome_reg.dtm").size() >= 6000; }, 20000));
        PrivateAudioServer::SharedOutage outage;
        ASSERT_TRUE(outage.stopped());
        // Nobody is asked: the recording keeps its default name.
        ASSERT_TRUE(waitFor([&] { return !messages.texts.isEmpty(); }));
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
    });
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(StringTable::text(502).section(u'(', 0, 0)))
        << messages.texts[0].toStdString();
    EXPECT_GT(QFileInfo(folder + QStringLiteral("Recording 1.mp3")).size(), 4000);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RecorderWindowTest, ACallStartingWhileThePropertiesAreOpenLeavesThemToTheirRecording)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    run(silence, [&](CRecorderDlg& window) {
        answerWhenShown<PropertiesDialog>([&](PropertiesDialog& dialog) {
            // A call starts: its row comes first and takes the selection.
            button(window, "Record")->click();
            dialog.nameEdit()->setText(QStringLiteral("Supplier call"));
            dialog.notesEdit()->setPlainText(QStringLiteral("Prices agreed"));
            dialog.saveButton()->click();
        });
        QTest::mouseClick(button(window, "Modify"), Qt::LeftButton);
        EXPECT_EQ(rowNames(window), QStringList({"Recording 1", "Supplier call"}));
        ASSERT_NE(window.controller()->recordingInProgress(), nullptr);
        EXPECT_EQ(window.controller()->recordingInProgress()->name, QStringLiteral("Recording 1"));
        ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000));
        stopAndDiscard(window);
    });
    EXPECT_FALSE(exists(QStringLiteral("Earlier call")));
    EXPECT_EQ(tagText(folder + QStringLiteral("Supplier call.mp3"), "COMM"),
              QStringLiteral("Prices agreed"));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

// The duration field follows the recording clock only while it shows that recording; a
// cancelled save leaves no file, row or leftover; a new playback shows what its file now holds.
TEST_F(RecorderWindowTest, TheDurationFieldFollowsTheClockACancelLeavesNothingAndPlayRereads)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    QString shownAtTwo;
    QString earlierShown;
    QString earlierListed;
    QString earlierLater;
    QStringList rowsAfterCancel;
    RecordingEntry changed =
        TaggedRecording::entry(folder, QStringLiteral("Earlier call"), OleDate::now() - 1);
    changed.notes = QStringLiteral("Changed elsewhere");
    QString notes;
    QString duration;
    int playLength = -1;
    run(silence, [&](CRecorderDlg& window) {
        auto* field = window.findChild<QLineEdit*>(QStringLiteral("DurationField"));
        auto* seconds = window.findChild<SkinStatic*>(QStringLiteral("ClockSeconds"));
        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return seconds->text() == QStringLiteral("02"); }));
        shownAtTwo = field->text();
        QTest::mouseClick(tree(window)->viewport(), Qt::LeftButton, {},
                          tree(window)->visualRect(tree(window)->model()->index(1, 1)).center());
        earlierShown = field->text();
        earlierListed = cell(window, 1, RecordingListView::DurationColumn);
        ASSERT_TRUE(waitFor([&] { return seconds->text() == QStringLiteral("04"); }));
        earlierLater = field->text();
        stopAndDiscard(window);
        rowsAfterCancel = rowNames(window);

        // Another program replaces the recording after the list was read.
        ASSERT_TRUE(TaggedRecording::write(changed, AudioFixtures::mpegStream(6.0)));
        QTest::mouseClick(button(window, "Play"), Qt::LeftButton);
        ASSERT_TRUE(window.playback()->isPlaying());
        notes = cell(window, 0, RecordingListView::NotesColumn);
        duration = cell(window, 0, RecordingListView::DurationColumn);
        playLength = window.playback()->playLength();
    });
    EXPECT_EQ(shownAtTwo, StringTable::text(172) + QStringLiteral(" 00:02"));
    EXPECT_EQ(earlierShown, StringTable::text(172) + u' ' + earlierListed);
    EXPECT_EQ(earlierLater, earlierShown);
    EXPECT_EQ(rowsAfterCancel, QStringList{"Earlier call"});
    EXPECT_EQ(QDir(folder).entryList({"*.mp3"}, QDir::Files), QStringList{"Earlier call.mp3"});
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_EQ(notes, QStringLiteral("Changed elsewhere"));
    EXPECT_EQ(duration, OleDate::durationText(changed.duration));
    EXPECT_EQ(playLength, OleDate::toSeconds(changed.duration));
}

TEST_F(RecorderWindowTest, AnUnplayableWarningSoundShowsOneMessageAtATime)
{
    writeSettings({"AvviaInAutoReg=0", "AbilitaSegnaleAcustico=1", "SegnaleAcusticoInviaDopo=0",
                   "SegnaleAcusticoInviaOgni=1", "SegnaleAcusticoInviaOgniValore=1",
                   "SegnaleAcusticoFile=" + env.root() + "missing.wav"});
    const QString silence = prepareEarlierCallAndSilence();
    int open = 0;
    int mostOpen = 0;
    run(silence, [&](CRecorderDlg& window) {
        auto* seconds = window.findChild<SkinStatic*>(QStringLiteral("ClockSeconds"));
        messages.whileShown = [&] {
            ++open;
            mostOpen = std::max(mostOpen, open);
            if (open == 1 && messages.texts.size() == 1) {
                // The first box is read slowly: the warning comes round twice meanwhile.
                const int shownAt = seconds->text().toInt();
                EXPECT_TRUE(waitFor([&] { return seconds->text().toInt() >= shownAt + 2; }));
            }
            --open;
        };
        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        // Once the first box is closed, a later warning shows the next one.
        EXPECT_TRUE(waitFor([&] { return messages.texts.size() >= 2; }));
        messages.whileShown = {};
        stopAndDiscard(window);
    });
    EXPECT_EQ(mostOpen, 1);
    ASSERT_FALSE(messages.texts.isEmpty());
    for (const QString& text : messages.texts)
        EXPECT_EQ(text, StringTable::text(298));
}

TEST_F(RecorderWindowTest, WhileArmedPlayStaysUsableAndTheAutoRecTooltipFollowsTheState)
{
    // Armed at start, with a threshold silence never reaches.
    writeSettings({"AvviaInAutoReg=1", "SogliaAttivazioneRegAuto=32767"});
    const QString silence = prepareEarlierCallAndSilence();
    run(silence, [&](CRecorderDlg& window) {
        auto* autoRecord = window.findChild<SkinButton*>(QStringLiteral("AutoRecord"));
        EXPECT_EQ(autoRecord->tip(), StringTable::text(36));
        QTest::mouseClick(button(window, "Play"), Qt::LeftButton);
        ASSERT_TRUE(window.playback()->isPlaying());
        EXPECT_TRUE(inMode(window, RecorderMode::Armed, true));
        // The recording of two seconds plays to its end.
        ASSERT_TRUE(waitFor([&] { return !window.playback()->isPlaying(); }));
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        EXPECT_TRUE(button(window, "Play")->isEnabled());

        QTest::mouseClick(autoRecord, Qt::LeftButton);
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
        EXPECT_EQ(autoRecord->tip(), StringTable::text(35));
        QTest::mouseClick(autoRecord, Qt::LeftButton);
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
    });
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

TEST_F(RecorderWindowTest, WhileAnotherProgramHoldsTheFolderNothingChangesAndACallWaitsForIt)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    FolderLock other;
    ASSERT_EQ(other.acquire(folder, QStringLiteral("parlunectl 1 rename")),
              FolderLock::Result::Held);
    const QString busy = StringTable::text(602);
    const QString temporary = folder + QStringLiteral("tmp_nome_reg.dtm");
    QStringList rowsAfter;
    QStringList dialogs;
    run(silence, [&](CRecorderDlg& window) {
        RecordingList& list = *window.recordingList();
        EXPECT_FALSE(list.holdsFolder());
        ASSERT_EQ(rowNames(window), QStringList{"Earlier call"});
        // No dialog may open while the folder is held; one that does is noted and closed.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialogs << QString::fromLatin1(dialog->metaObject()->className());
                dialog->reject();
            }
        });
        closer.start(20);
        auto* nameEdit = window.findChild<QLineEdit*>(QStringLiteral("NameEdit"));
        const auto rename = [&](const QString& name) {
            nameEdit->setText(name);
            QTest::mouseClick(button(window, "SaveInfo"), Qt::LeftButton);
        };
        rename(QStringLiteral("Renamed call"));
        QTest::mouseClick(button(window, "Delete"), Qt::LeftButton);
        QTest::mouseClick(button(window, "Protect"), Qt::LeftButton);
        // A call recorded meanwhile cannot be saved: its audio waits in the temporary file.
        recordByHand(window, {});
        EXPECT_EQ(messages.texts,
                  QStringList({busy, busy, busy, StringTable::text(604, {temporary})}));
        EXPECT_TRUE(messages.questions.isEmpty());
        EXPECT_EQ(QDir(folder).entryList({"*.mp3"}, QDir::Files), QStringList{"Earlier call.mp3"});
        EXPECT_TRUE(LeftoverRecovery::holdsAudio(temporary));
        closer.stop();

        // The other program is done: the window takes the folder and reads it again.
        other.release();
        ASSERT_TRUE(waitFor([&] { return list.holdsFolder() && rowCount(window) == 2; }));
        // The call's audio became a recording of its own; the selection stayed where it was.
        rowsAfter = rowNames(window);
        EXPECT_EQ(rowsAfter.count(QStringLiteral("Earlier call")), 1);
        EXPECT_EQ(nameEdit->text(), QStringLiteral("Earlier call"));
        messages.clear();
        rename(QStringLiteral("Renamed call"));
        EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    });
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(u' ').toStdString();
    ASSERT_EQ(rowsAfter.size(), 2);
    EXPECT_TRUE(exists(QStringLiteral("Renamed call")));
    EXPECT_FALSE(exists(QStringLiteral("Earlier call")));
    for (const QString& name : rowsAfter)
        EXPECT_TRUE(name == QStringLiteral("Earlier call") || exists(name)) << name.toStdString();
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RecorderWindowTest, TheVolumeSliderFollowsTheSpeakersSetElsewhereExceptWhileHeld)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    const int volumeBefore = speakerVolume();
    ASSERT_GT(volumeBefore, 0);
    const auto onSlider = [](int serverVolume) {
        return static_cast<int>(
            PulseMixerServer::toMixerVolume(static_cast<uint32_t>(serverVolume)));
    };
    run(silence, [&](CRecorderDlg& window) {
        auto* slider = window.findChild<QSlider*>(QStringLiteral("VolumeSlider"));
        ASSERT_TRUE(setSpeakerVolume(13107));
        ASSERT_TRUE(waitFor([&] { return slider->value() == onSlider(13107); }));
        // Following the speakers does not set their volume again.
        EXPECT_EQ(speakerVolume(), 13107);

        // The user drags the slider: the speakers take its value once, at the release, and
        // their changes meanwhile do not move it.
        CControlloVolume& speaker = window.mixer()->speaker();
        bool changeSeen = false;
        const auto seen =
            QObject::connect(&speaker, &CControlloVolume::mixerControlChange, slider, [&] {
                changeSeen = changeSeen || speaker.reportedVolume() == uint32_t(onSlider(26214));
            });
        slider->setSliderDown(true);
        slider->setValue(30000);
        slider->setValue(40000);
        EXPECT_EQ(speakerVolume(), 13107);
        ASSERT_TRUE(setSpeakerVolume(26214));
        ASSERT_TRUE(waitFor([&] { return changeSeen; }));
        EXPECT_EQ(slider->value(), 40000);
        QObject::disconnect(seen);
        slider->setSliderDown(false);
        EXPECT_EQ(speakerVolume(), static_cast<int>(PulseMixerServer::toServerVolume(40000)));

        // Keys move it a step at a time, each step heard at once.
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_PageDown);
        EXPECT_EQ(speakerVolume(),
                  static_cast<int>(PulseMixerServer::toServerVolume(uint32_t(slider->value()))));
        EXPECT_NE(slider->value(), 40000);

        ASSERT_TRUE(setSpeakerVolume(19661));
        EXPECT_TRUE(waitFor([&] { return slider->value() == onSlider(19661); }));
    });
    // The window gives the speakers back the volume it found.
    EXPECT_EQ(speakerVolume(), volumeBefore);
}

TEST_F(RecorderWindowTest,
       TheWarningSoundMutesTheSpeakersWhileArmedUnlessBothSidesAreRecordedAndSoundsDuringARecording)
{
    const QString beep = env.root() + QStringLiteral("beep.wav");
    ASSERT_TRUE(SpokenAudio::runTool(
        "sox", {"-n", "-r", "32000", "-c", "1", "-b", "16", beep, "synth", "0.5", "sine", "880"}));
    const QStringList warning = {"AbilitaSegnaleAcustico=1", "SegnaleAcusticoInviaDopo=1",
                                 "SegnaleAcusticoInviaDopoValore=1", "SegnaleAcusticoFile=" + beep};
    const QString wav =
        SpokenAudio::calls(env.root(), {"A call with a warning beep."}, 0.5, "call.wav");
    ASSERT_FALSE(wav.isEmpty());
    const int volumeBefore = speakerVolume();
    ASSERT_GT(volumeBefore, 0);

    // Armed at start: the speakers are silent and their slider locked until disarmed.
    writeSettings(QStringList{"AvviaInAutoReg=1", "SogliaAttivazioneRegAuto=32767"} + warning);
    run(wav, [&](CRecorderDlg& window) {
        auto* slider = window.findChild<QSlider*>(QStringLiteral("VolumeSlider"));
        EXPECT_EQ(speakerVolume(), 0);
        EXPECT_FALSE(slider->isEnabled());
        EXPECT_EQ(slider->value(), 0);
        QTest::mouseClick(button(window, "AutoRecord"), Qt::LeftButton);
        EXPECT_EQ(speakerVolume(), volumeBefore);
        EXPECT_FALSE(window.findChild<QWidget*>(QStringLiteral("LevelMeter"))->isVisible());
        // The slider's scale ends at 65535, one below the server's full volume.
        EXPECT_TRUE(slider->isEnabled());
        EXPECT_LE(std::abs(slider->value() - volumeBefore), 1);
    });
    EXPECT_EQ(speakerVolume(), volumeBefore);
    // Recording both sides, the speakers carry the far side: silenced, it would be lost.
    writeSettings(
        QStringList{"AvviaInAutoReg=1", "SogliaAttivazioneRegAuto=32767", "RecordBothSides=1"} +
        warning);
    run(wav, [&](CRecorderDlg&) { EXPECT_EQ(speakerVolume(), volumeBefore); });

    // A manual recording: the beep sounds a second after the start.
    writeSettings(QStringList{"AvviaInAutoReg=0"} + warning);
    run(wav, [&](CRecorderDlg& window) {
        const int streams = playbackStreams();
        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        EXPECT_TRUE(waitFor([&] { return playbackStreams() > streams; }, 20000));
        stopAndDiscard(window);
    });
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace
