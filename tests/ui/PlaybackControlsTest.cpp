#include "ui/PlaybackControls.h"
#include "audio/CPlaySound.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ControlIds.h"
#include "ui/MessagePresenter.h"
#include "ui/PositionBar.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"
#include "ui/SkinStatic.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The window's playback on the real player and the private audio server.
class PlaybackControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
        folder = env.root() + QStringLiteral("recordings/");
        ASSERT_TRUE(QDir().mkpath(folder));
        layout = std::make_unique<RecorderLayout>(&window);
        controls = std::make_unique<PlaybackControls>(*layout, player, messages, &window,
                                                      [] { return false; });
        QObject::connect(controls.get(), &PlaybackControls::playbackRunning, controls.get(),
                         [this](bool playing) { running.push_back(playing); });
        QObject::connect(controls.get(), &PlaybackControls::playingChanged, controls.get(),
                         [this](RecordingEntry* entry) { changes.push_back(entry); });
    }

    RecordingEntry makeRecording(const QString& name, double seconds)
    {
        EXPECT_TRUE(AudioFixtures::writeFile(folder + name + QStringLiteral(".mp3"),
                                             AudioFixtures::mpegStream(seconds)));
        RecordingEntry entry;
        entry.name = name;
        entry.folder = folder;
        entry.duration = OleDate::fromSeconds(static_cast<qint64>(seconds));
        return entry;
    }

    long long position() const
    {
        long long length = 0;
        long long at = 0;
        player.GetLengthAndPosition(length, at);
        return at;
    }

    QString shownTime() const { return layout->label(ControlId::PlayPosition)->text(); }

    TestEnvironment env;
    QString folder;
    QWidget window;
    CPlaySound player;
    RecordedMessages messages;
    std::unique_ptr<RecorderLayout> layout;
    std::unique_ptr<PlaybackControls> controls;
    std::vector<bool> running;
    std::vector<RecordingEntry*> changes;
};

TEST_F(PlaybackControlsTest, PlayPauseResumeStepSeekAndStop)
{
    RecordingEntry entry = makeRecording(QStringLiteral("Call"), 10);
    controls->Play(&entry);
    ASSERT_TRUE(controls->isPlaying());
    EXPECT_EQ(controls->playingRecording(), &entry);
    ASSERT_EQ(changes, std::vector<RecordingEntry*>({&entry}));
    EXPECT_EQ(running, std::vector<bool>({true}));
    EXPECT_EQ(layout->positionBar()->maximum(), 10);
    EXPECT_TRUE(layout->positionBar()->isBarEnabled());
    EXPECT_EQ(layout->button(ControlId::Play)->bitmapName(0), QStringLiteral("PLAYRECDD"));
    EXPECT_EQ(layout->label(ControlId::ModeLabel)->text(), QStringLiteral("PLAY"));
    EXPECT_TRUE(layout->button(ControlId::Pause)->isEnabled());
    EXPECT_TRUE(layout->button(ControlId::StopPlay)->isEnabled());
    EXPECT_EQ(layout->label(ControlId::PlayTotal)->text(), QStringLiteral("00:10"));

    // The position advances and the timer shows it.
    ASSERT_TRUE(waitFor([&] { return position() >= 1200; }));
    ASSERT_TRUE(waitFor([&] { return shownTime() == QStringLiteral("00:01"); }));

    controls->Pause();
    ASSERT_TRUE(controls->isPaused());
    EXPECT_FALSE(controls->isPlaying());
    const long long paused = controls->pausePosition();
    EXPECT_GT(paused, 1000);
    EXPECT_EQ(layout->label(ControlId::ModeLabel)->text(), QStringLiteral("PAUSE"));
    EXPECT_EQ(layout->button(ControlId::Pause)->bitmapName(1), QStringLiteral("PAUSAD"));
    EXPECT_EQ(running, std::vector<bool>({true, false}));
    // Held: the position does not move over more than one timer period.
    EXPECT_FALSE(waitFor([&] { return position() > paused + 100; }, 700));

    // A step while paused moves only the pause position, by a 3-second step on a short file.
    QTest::mousePress(layout->button(ControlId::FastForward), Qt::LeftButton);
    QTest::mouseRelease(layout->button(ControlId::FastForward), Qt::LeftButton);
    EXPECT_EQ(controls->pausePosition(), paused + 3000);
    EXPECT_EQ(shownTime(), QString::asprintf("%02lld:%02lld", (paused + 3000) / 60000,
                                             (paused + 3000) / 1000 % 60));

    // Play resumes from the pause position.
    const long long resumeAt = controls->pausePosition();
    controls->Play(&entry);
    ASSERT_TRUE(controls->isPlaying());
    EXPECT_EQ(controls->pausePosition(), 0);
    EXPECT_GE(position(), resumeAt - 200);
    ASSERT_TRUE(waitFor([&] { return position() >= resumeAt + 500; }));
    EXPECT_EQ(changes.size(), 1u);

    // A step while playing seeks and plays on.
    const long long before = position();
    QTest::mousePress(layout->button(ControlId::FastRewind), Qt::LeftButton);
    QTest::mouseRelease(layout->button(ControlId::FastRewind), Qt::LeftButton);
    EXPECT_LE(position(), before - 2500);

    // The position bar's click jumps to 5 s.
    Q_EMIT layout->positionBar()->seekRequested(5);
    EXPECT_NEAR(static_cast<double>(position()), 5000.0, 400.0);
    EXPECT_EQ(shownTime(), QStringLiteral("00:05"));
    EXPECT_EQ(layout->positionBar()->position(), 5);

    controls->Stop();
    EXPECT_FALSE(controls->isPlaying());
    EXPECT_FALSE(controls->isPaused());
    EXPECT_EQ(controls->playingRecording(), nullptr);
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(layout->positionBar()->position(), 0);
    EXPECT_EQ(shownTime(), QStringLiteral("- -"));
    EXPECT_TRUE(layout->label(ControlId::ModeLabel)->text().isEmpty());
    EXPECT_EQ(layout->button(ControlId::Play)->bitmapName(0), QStringLiteral("PLAYRECU"));
    EXPECT_FALSE(layout->button(ControlId::Pause)->isEnabled());
    EXPECT_FALSE(layout->button(ControlId::StopPlay)->isEnabled());
    EXPECT_EQ(layout->label(ControlId::PlayTotal)->text(), QStringLiteral("00:00"));
    EXPECT_FALSE(layout->control(ControlId::PositionBar)->isVisibleTo(&window));
    EXPECT_EQ(changes, std::vector<RecordingEntry*>({&entry, nullptr}));
    EXPECT_EQ(running, std::vector<bool>({true, false, true, false}));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(PlaybackControlsTest, TheEndOfARecordingStopsByItself)
{
    RecordingEntry entry = makeRecording(QStringLiteral("Short"), 2);
    controls->Play(&entry);
    ASSERT_TRUE(controls->isPlaying());
    ASSERT_TRUE(waitFor([&] { return !controls->isPlaying(); }, 15000));
    EXPECT_EQ(controls->playingRecording(), nullptr);
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(changes, std::vector<RecordingEntry*>({&entry, nullptr}));
    EXPECT_EQ(running, std::vector<bool>({true, false}));
}

TEST_F(PlaybackControlsTest, AProtectedRecordingAsksForItsKeyWordAndAMissingFileStops)
{
    RecordingEntry locked = makeRecording(QStringLiteral("Locked"), 2);
    locked.isProtected = true;
    std::vector<RecordingEntry*> asked;
    QObject::connect(controls.get(), &PlaybackControls::protectedPlayRequested, controls.get(),
                     [&](RecordingEntry* entry) { asked.push_back(entry); });
    controls->Play(&locked);
    EXPECT_EQ(asked, std::vector<RecordingEntry*>({&locked}));
    EXPECT_FALSE(controls->isPlaying());

    RecordingEntry missing;
    missing.name = QStringLiteral("Gone");
    missing.folder = folder;
    controls->Play(&missing);
    EXPECT_FALSE(controls->isPlaying());
    EXPECT_EQ(controls->playingRecording(), nullptr);
    EXPECT_EQ(changes, std::vector<RecordingEntry*>({&missing, nullptr}));
}

} // namespace
