#include "audio/CControlloVolume.h"
#include "control/RecorderController.h"
#include "platform/InstanceLock.h"
#include "platform/SettingsKey.h"
#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/RecordingList.h"
#include "tests/support/AnswerDialog.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/FakeMixerServer.h"
#include "tests/support/MicrophoneFeeder.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CRecorderApp.h"
#include "ui/CRecorderDlg.h"
#include "ui/ControlIds.h"
#include "ui/FindDialog.h"
#include "ui/LevelMeter.h"
#include "ui/MessagePresenter.h"
#include "ui/RecorderMixer.h"
#include "ui/SkinButton.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class RecorderStartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts";
    }

    /// Runs the program; `whileRunning` sees the started window and must end it.
    int run(const std::function<void(CRecorderDlg&)>& whileRunning)
    {
        CRecorderApp app(messages, env.lockFile());
        QObject::connect(&app, &CRecorderApp::windowStarted, [&](CRecorderDlg* window) {
            started = true;
            whileRunning(*window);
        });
        return app.InitInstance();
    }

    TestEnvironment env;
    RecordedMessages messages;
    bool started = false;
};

// A normal run: title, stored threshold, keys and the close box never ending the window, one
// close however often asked, and the stale temporary file removed at exit.
TEST_F(RecorderStartupTest, NormalRunStoresTheThresholdEndsOnlyOnExitAndCleansUp)
{
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"Operatore=Anna"});
    QString title;
    bool stopEnabled = true;
    QStringList stored;
    int armedThreshold = 0;
    int sliderMaximum = 0;
    bool endedByKeys = true;
    bool endedByCloseBox = true;
    const int status = run([&](CRecorderDlg& window) {
        title = window.windowTitle();
        stopEnabled = window.findChild<QWidget*>(QStringLiteral("StopRecord"))->isEnabled();
        // A dragged threshold is stored; one edited in the file counts from the next arming.
        Q_EMIT window.findChild<LevelMeter*>()->thresholdChanged(4321);
        stored = TestEnvironment::settingsFileLines(env.userSettingsFile());
        if (auto key = SettingsKey::open(env.userSettingsFile(), SettingsKey::Access::ReadWrite))
            key->write(QStringLiteral("SogliaAttivazioneRegAuto"), QStringLiteral("5000"));
        window.controller()->ToggleAutoRecording();
        armedThreshold = window.capture()->threshold();
        window.controller()->ToggleAutoRecording();
        // The writer's temporary file of a crashed run goes at exit.
        QFile stale(window.settings().workingFolder + QStringLiteral("tmp_nome_reg.dtm"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.close();
        sliderMaximum = window.findChild<QSlider*>(QStringLiteral("VolumeSlider"))->maximum();
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Return);
        endedByKeys = window.isEnded();
        window.close();
        endedByCloseBox = window.isEnded();
        window.OnClose();
        window.OnClose(); // a second request changes nothing
    });
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(started);
    EXPECT_EQ(title, QStringLiteral("Lumacor Parlune (Anna)"));
    EXPECT_FALSE(stopEnabled);
    EXPECT_TRUE(stored.contains(QStringLiteral("SogliaAttivazioneRegAuto=4321")));
    EXPECT_EQ(armedThreshold, 5000);
    // The slider spans the speakers' whole range.
    EXPECT_EQ(sliderMaximum, 65535);
    EXPECT_FALSE(endedByKeys);
    EXPECT_FALSE(endedByCloseBox);
    EXPECT_EQ(env.logLines().count(QStringLiteral("Inizio chiusura applicazione")), 1);
    EXPECT_FALSE(QFile::exists(env.dataFolder() + "Recordings/tmp_nome_reg.dtm"));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(RecorderStartupTest, MissingEncoderLibraryShowsOneErrorAndStartsNothing)
{
    TestEnvironment bare(TestEnvironment::Encoder::Missing);
    CRecorderApp app(messages, bare.lockFile());
    QObject::connect(&app, &CRecorderApp::windowStarted, [&] { started = true; });
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_FALSE(started);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], StringTable::text(22));
    EXPECT_EQ(messages.icons[0], MessagePresenter::Icon::Error);
    EXPECT_FALSE(QFile::exists(bare.userSettingsFile()));
}

TEST_F(RecorderStartupTest, SecondInstanceEndsSilentlyWithoutAWindow)
{
    InstanceLock first;
    ASSERT_TRUE(first.tryAcquire(env.lockFile()));
    EXPECT_EQ(run([](CRecorderDlg& window) { window.OnClose(); }), 0);
    EXPECT_FALSE(started);
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_FALSE(QFile::exists(env.logFile()));
}

TEST_F(RecorderStartupTest, UpdateProgramRunsWithSilentAndEndsBeforeTheWindowShows)
{
    const QString marker = env.root() + QStringLiteral("updated");
    QFile updater(env.programFolder() + QStringLiteral("Renewix"));
    ASSERT_TRUE(updater.open(QIODevice::WriteOnly));
    updater.write(
        QStringLiteral("#!/bin/sh\nsleep 0.2\necho \"$1\" > '%1'\nexit 3\n").arg(marker).toUtf8());
    updater.close();
    updater.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArray seenAtStart;
    run([&](CRecorderDlg& window) {
        QFile file(marker);
        if (file.open(QIODevice::ReadOnly))
            seenAtStart = file.readAll();
        window.OnClose();
    });
    EXPECT_TRUE(started);
    EXPECT_EQ(seenAtStart, QByteArray("-SILENT\n"));
}

TEST_F(RecorderStartupTest, WithoutASoundCardTheRecordingCommandsAreOffAndTheListStillLoads)
{
    env.setVariable("PULSE_SERVER", env.root() + QStringLiteral("no-server.sock"));
    bool recordEnabled = true;
    bool soundCard = true;
    run([&](CRecorderDlg& window) {
        recordEnabled = window.findChild<QWidget*>(QStringLiteral("Record"))->isEnabled();
        soundCard = window.soundCard();
        window.OnClose();
    });
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], StringTable::text(30));
    EXPECT_EQ(messages.icons[0], MessagePresenter::Icon::Warning);
    EXPECT_FALSE(recordEnabled);
    EXPECT_FALSE(soundCard);
    EXPECT_TRUE(env.logLines().contains(QStringLiteral("[LoggaAlberoMixer]")));
}

// The Reduce button folds the list away under the transport bar and brings it back, from the
// mouse and from the keyboard alike.
TEST_F(RecorderStartupTest, ReduceCollapsesBelowTheRecordButtonAndExpandsToTheFormerHeight)
{
    struct Look {
        int height;
        bool listInside;
        QString tip;
        QStringList pictures;
    };
    QList<Look> looks;
    int fullHeight = 0;
    int recordBottom = 0;
    run([&](CRecorderDlg& window) {
        auto* reduce = window.findChild<SkinButton*>(QStringLiteral("Reduce"));
        const QWidget* list = window.findChild<QWidget*>(QStringLiteral("RecordingList"));
        const QWidget* record = window.findChild<QWidget*>(QStringLiteral("Record"));
        fullHeight = window.height();
        recordBottom = record->mapTo(&window, QPoint(0, record->height())).y();
        const auto look = [&] {
            QStringList pictures;
            for (int state = 0; state < 4; ++state)
                pictures << reduce->bitmapName(state);
            const QRect listArea(list->mapTo(&window, QPoint(0, 0)), list->size());
            looks.append(
                {window.height(), window.rect().intersects(listArea), reduce->toolTip(), pictures});
        };
        QTest::mouseClick(reduce, Qt::LeftButton);
        look();
        QTest::keyClick(reduce, Qt::Key_Space);
        look();
        // Collapsed, the keys leave the list that went out of sight.
        window.findChild<QWidget*>(QStringLiteral("RecordingList"))->setFocus();
        reduce->click();
        EXPECT_EQ(window.focusWidget(), reduce);
        window.OnClose();
    });
    ASSERT_EQ(looks.size(), 2);
    EXPECT_EQ(looks[0].height, recordBottom + 10);
    EXPECT_FALSE(looks[0].listInside);
    EXPECT_EQ(looks[0].tip, StringTable::text(446));
    EXPECT_EQ(looks[0].pictures, QStringList(4, QStringLiteral("DOWN")));
    EXPECT_EQ(looks[1].height, fullHeight);
    EXPECT_TRUE(looks[1].listInside);
    EXPECT_EQ(looks[1].tip, StringTable::text(445));
    EXPECT_EQ(looks[1].pictures, QStringList(4, QStringLiteral("UP")));
}

TEST_F(RecorderStartupTest, LostFolderIsToldAfterTwoSecondsAndItsReturnImportsFromTheFallback)
{
    const QString share = env.root() + QStringLiteral("share/");
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + share});
    bool toldAtOnce = true;
    run([&](CRecorderDlg& window) {
        toldAtOnce = !messages.texts.isEmpty();
        EXPECT_TRUE(waitFor([&] { return !messages.texts.isEmpty(); }));
        window.OnClose();
    });
    EXPECT_FALSE(toldAtOnce);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], StringTable::text(431));
    EXPECT_EQ(messages.icons[0], MessagePresenter::Icon::Warning);

    // Next start with the folder back: the return is told, the folder is used again and the
    // import opens in the fallback folder, so that a recording made meanwhile comes back.
    const QString fallback = env.dataFolder() + QStringLiteral("Recordings/");
    RecordingEntry stranded =
        TaggedRecording::entry(fallback, QStringLiteral("stranded"), OleDate::now());
    ASSERT_TRUE(TaggedRecording::write(stranded, AudioFixtures::mpegStream(1.0)));
    QDir().mkpath(share);
    messages.clear();
    QString folder;
    QString importShownIn;
    bool pending = true;
    answerWhenShown<QFileDialog>([&](QFileDialog& dialog) {
        importShownIn = dialog.directory().absolutePath() + u'/';
        dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("stranded.mp3"));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    run([&](CRecorderDlg& window) {
        EXPECT_TRUE(waitFor([&] {
            return window.recordingList()->FindByName(QStringLiteral("stranded")) != nullptr;
        }));
        folder = window.settings().workingFolder;
        pending = window.realignmentPending();
        window.OnClose();
    });
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], StringTable::text(432) + u'\n');
    EXPECT_EQ(folder, share);
    EXPECT_EQ(importShownIn, fallback);
    EXPECT_FALSE(pending);
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("stranded.mp3")));
}

TEST_F(RecorderStartupTest, FindButtonShowsOneFindWindowThatSelectsInTheList)
{
    const QString folder = env.root() + QStringLiteral("calls/");
    QDir().mkpath(folder);
    TestEnvironment::writeSettingsFile(env.userSettingsFile(), {"WorkDir=" + folder});
    for (const QString& name : {QStringLiteral("Budget"), QStringLiteral("Lunch")}) {
        RecordingEntry entry = TaggedRecording::entry(folder, name, OleDate::now());
        ASSERT_TRUE(TaggedRecording::write(entry, AudioFixtures::mpegStream(1.0)));
    }
    run([&](CRecorderDlg& window) {
        auto* find = window.findChild<QAbstractButton*>(QStringLiteral("Find"));
        EXPECT_TRUE(find->isEnabled());
        QTest::mouseClick(find, Qt::LeftButton);
        FindDialog* dialog = window.findDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(dialog->wasShown());
        for (const QString& name : {QStringLiteral("budget"), QStringLiteral("lunch")}) {
            dialog->textEdit()->setText(name);
            dialog->findButton()->click();
            EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("NameEdit"))->text().toLower(),
                      name);
        }
        dialog->cancelButton()->click();
        window.OnFind();
        EXPECT_EQ(window.findDialog(), dialog);
        EXPECT_TRUE(dialog->isVisible());
        window.OnClose();
    });
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(RecorderStartupTest, MicrophoneVolumeIsKeptAndStoredWhenNoneWasStoredElseApplied)
{
    if (!MicrophoneFeeder::prepare())
        GTEST_SKIP() << "needs the fake microphone of the private audio server";
    const auto microphoneVolume = [] {
        CControlloVolume line;
        uint32_t volume = 0;
        const bool read =
            line.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0, 0) &&
            line.GetCurrentVolume(volume);
        return read ? int(volume) : -1;
    };
    struct Case {
        QStringList settings;
        int volumeAfterStart;
        QString stored;
    };
    // Each start is a first start of a new user, with the microphone at 100 %; 0 stored
    // means "leave it as it is".
    const Case cases[] = {{{}, 65535, "65535"},
                          {{"VolumeRegistrazione=32768"}, 32768, "32768"},
                          {{"VolumeRegistrazione=0"}, 65535, "0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.join(u' ').toStdString());
        TestEnvironment user;
        if (!c.settings.isEmpty())
            TestEnvironment::writeSettingsFile(user.userSettingsFile(), c.settings);
        MicrophoneFeeder::prepare();
        run([](CRecorderDlg& window) { window.OnClose(); });
        EXPECT_EQ(microphoneVolume(), c.volumeAfterStart);
        const auto key = SettingsKey::open(user.userSettingsFile(), SettingsKey::Access::Read);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->read(QStringLiteral("VolumeRegistrazione")).value_or("<missing>"), c.stored);
    }
    MicrophoneFeeder::prepare(); // the next tests expect the microphone heard whole
}

TEST(RecorderMixerTest, OnlyASpeakerVolumeActuallyReadIsPutBackAtExit)
{
    struct Case {
        const char* name;
        int stateAnswers; ///< how often the server tells its state before it stops answering
        QStringList restoreCalls;
    };
    const Case cases[] = {{"read", -1, {"volume 0 20000"}},
                          {"line found, volume unreadable", 1, {}},
                          {"server never answers", 0, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEnvironment env;
        auto mixer = std::make_shared<FakeMixer>();
        MixerDevice sink;
        sink.name = QStringLiteral("speakers");
        sink.channels = 2;
        sink.volume = 20000;
        mixer->state.sinks.push_back(sink);
        mixer->state.defaultSink = sink.name;
        mixer->stateAnswers = c.stateAnswers;
        RecorderMixer lines([mixer] { return std::make_unique<FakeMixerServer>(mixer); });
        RecordedMessages messages;
        lines.setUp({}, nullptr, messages, nullptr);
        mixer->calls.clear();
        lines.restore();
        EXPECT_EQ(mixer->calls, c.restoreCalls);
    }
}

} // namespace
