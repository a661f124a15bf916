#pragma once

#include "app/SettingsNames.h"
#include "app/SettingsStore.h"
#include "audio/CRecordSound.h"
#include "control/LeftoverRecovery.h"
#include "control/RecorderController.h"
#include "platform/FolderLock.h"
#include "platform/PulseMixerServer.h"
#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/RecordingList.h"
#include "tests/support/AnswerDialog.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/MicrophoneFeeder.h"
#include "tests/support/PrivateAudioServer.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "ui/COpzionePropertySheet.h"
#include "ui/CRecorderApp.h"
#include "ui/CRecorderDlg.h"
#include "ui/LevelMeter.h"
#include "ui/MessagePresenter.h"
#include "ui/PlaybackControls.h"
#include "ui/PropertiesDialog.h"
#include "ui/RecorderMixer.h"
#include "ui/RecordingListView.h"
#include "ui/SaveRecordingDialog.h"
#include "ui/SkinButton.h"
#include "ui/SkinStatic.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>

// The whole window on the private audio server, with a WAV file in the microphone's place and
// the Save recording dialog answered by the test.
class RecorderWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts";
        ASSERT_TRUE(SpokenAudio::toolsPresent());
        folder = env.root() + QStringLiteral("calls/");
        QDir().mkpath(folder);
    }

    void writeSettings(const QStringList& extra)
    {
        TestEnvironment::writeSettingsFile(env.userSettingsFile(),
                                           QStringList{"WorkDir=" + folder} + extra);
    }

    /// Runs the program with `wav` as its microphone (empty: the audio server's microphone);
    /// `whileRunning` sees the started window, which is closed afterwards.
    void run(const QString& wav, const std::function<void(CRecorderDlg&)>& whileRunning)
    {
        CRecorderApp app(messages, env.lockFile(),
                         wav.isEmpty() ? CRecordSound::InputFactory{} : CRecordSound::wavFile(wav));
        QObject::connect(&app, &CRecorderApp::windowStarted, [&](CRecorderDlg* window) {
            inputEnded = false;
            QObject::connect(window->capture(), &CRecordSound::inputEnded, window,
                             [this] { inputEnded = true; });
            whileRunning(*window);
            window->OnClose();
        });
        app.InitInstance();
    }

    static QAbstractButton* button(CRecorderDlg& window, const char* name)
    {
        return window.findChild<QAbstractButton*>(QString::fromLatin1(name));
    }
    static QTreeView* tree(CRecorderDlg& window)
    {
        return window.findChild<QTreeView*>(QStringLiteral("RecordingList"));
    }
    static int rowCount(CRecorderDlg& window) { return tree(window)->model()->rowCount(); }
    static bool inMode(CRecorderDlg& window, RecorderMode::Kind kind, bool playing = false)
    {
        return window.controller()->mode() == RecorderMode(kind, playing);
    }
    /// Waits until the input has ended and `rows` recordings are kept.
    bool waitForKeptRows(CRecorderDlg& window, int rows) const
    {
        return waitFor(
            [&] {
                return inputEnded && window.controller()->recordingInProgress() == nullptr &&
                       rowCount(window) == rows;
            },
            60000);
    }
    static QString cell(CRecorderDlg& window, int row, int column)
    {
        return tree(window)->model()->index(row, column).data().toString();
    }
    static QStringList rowNames(CRecorderDlg& window)
    {
        QStringList names;
        for (int row = 0; row < rowCount(window); ++row)
            names << cell(window, row, RecordingListView::NameColumn);
        return names;
    }
    static int durationSeconds(const QString& text)
    {
        const QStringList parts = text.split(u':');
        int seconds = 0;
        for (const QString& part : parts)
            seconds = seconds * 60 + part.toInt();
        return seconds;
    }
    QStringList leftovers() const
    {
        return QDir(folder).entryList({"*.prl", "*.dtm"}, QDir::Files);
    }

    /// Records `wav` by hand: Record, the whole input, then Stop with the dialog answered
    /// (`answer` empty: no dialog is expected).
    void recordByHand(CRecorderDlg& window, std::function<void(SaveRecordingDialog&)> answer)
    {
        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        EXPECT_TRUE(inMode(window, RecorderMode::Recording));
        ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000))
            << env.logLines().join(u'\n').toStdString();
        if (answer)
            answerWhenShown<SaveRecordingDialog>(std::move(answer));
        QTest::mouseClick(button(window, "StopRecord"), Qt::LeftButton);
    }

    /// "Earlier call" in the folder, and a second of silence in the microphone's place.
    QString prepareEarlierCallAndSilence()
    {
        RecordingEntry earlier =
            TaggedRecording::entry(folder, QStringLiteral("Earlier call"), OleDate::now() - 1);
        EXPECT_TRUE(TaggedRecording::write(earlier, AudioFixtures::mpegStream(2.0)));
        const QString silence = env.root() + QStringLiteral("silence.wav");
        EXPECT_TRUE(AudioFixtures::writeWav(silence, QByteArray(64000, '\0'), 32000));
        return silence;
    }
    bool exists(const QString& name) const
    {
        return QFileInfo::exists(folder + name + QStringLiteral(".mp3"));
    }

    /// Stops the recording and cancels its Save dialog.
    static void stopAndDiscard(CRecorderDlg& window)
    {
        answerWhenShown<SaveRecordingDialog>(
            [](SaveRecordingDialog& dialog) { dialog.cancelButton()->click(); });
        QTest::mouseClick(button(window, "StopRecord"), Qt::LeftButton);
    }

    /// Stores options as the Options sheet's OK does: `change` edits the window's values and
    /// `names` are written.
    void storeOptions(CRecorderDlg& window, const std::function<void(Settings&)>& change,
                      const QStringList& names)
    {
        Settings values = window.settings();
        change(values);
        ASSERT_TRUE(SettingsStore(env.userSettingsFile(), window.programFolder(), folder)
                        .save(values, names));
    }

    TestEnvironment env;
    RecordedMessages messages;
    QString folder;
    bool inputEnded = false; ///< the current run's input has been read to its end
};

/// What pactl prints for `arguments`.
inline QString pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

/// The null sink's first channel volume as the server reports it, or -1.
inline int speakerVolume()
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("front-left: (\\d+)"))
                                              .match(pactl({"get-sink-volume", "nullsink"}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline int playbackStreams()
{
    return int(pactl({"list", "short", "sink-inputs"}).split(u'\n', Qt::SkipEmptyParts).size());
}

/// Sets the null sink's volume (server units) as another program would.
inline bool setSpeakerVolume(int volume)
{
    return QProcess::execute(QStringLiteral("pactl"),
                             {"set-sink-volume", "nullsink", QString::number(volume)}) == 0;
}
