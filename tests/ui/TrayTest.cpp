#include "tests/ui/RecorderWindowFixture.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenuRules.h"

#include <QMenu>
#include <QShowEvent>

namespace {

using R = TrayMenuRules;

// The window's own icon has no tray host here; this one is told there is one.
class TrayTest : public RecorderWindowTest {
protected:
    static std::unique_ptr<TrayIcon> hostedTray(CRecorderDlg& window)
    {
        return std::make_unique<TrayIcon>(window, *window.controller(), window.soundCard(),
                                          TrayIcon::Commands{[] {}, [] {}}, true);
    }
    static bool hidden(CRecorderDlg& window, TrayIcon& tray)
    {
        return !window.isVisible() && tray.trayMode() == 2 && tray.iconVisible();
    }
};

TEST_F(TrayTest, TheTrayCommandsReachTheRecorderAndTheIconFollowsItsMode)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    run(silence, [&](CRecorderDlg& window) {
        auto tray = hostedTray(window);
        tray->hideWindow();
        EXPECT_TRUE(hidden(window, *tray));
        EXPECT_EQ(tray->iconId(), 271);
        // The restore hint comes above the icon and goes at any click on it.
        EXPECT_TRUE(waitFor([&] { return tray->balloon().isVisible(); }));
        EXPECT_EQ(tray->balloon().text(), StringTable::text(89));
        tray->onActivated(QSystemTrayIcon::DoubleClick);
        EXPECT_FALSE(tray->balloon().isVisible());

        tray->runCommand(R::kNewRecording);
        EXPECT_TRUE(inMode(window, RecorderMode::Recording));
        EXPECT_EQ(tray->iconId(), 242);
        ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000));
        answerWhenShown<SaveRecordingDialog>(
            [](SaveRecordingDialog& dialog) { dialog.saveButton()->click(); });
        tray->runCommand(R::kStop);
        ASSERT_TRUE(waitForKeptRows(window, 2));
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
        EXPECT_EQ(tray->iconId(), 271);
        EXPECT_TRUE(hidden(window, *tray));

        // Armed last: the file in the microphone's place is read once, by the first to open it.
        tray->runCommand(R::kAutoRecording);
        EXPECT_TRUE(inMode(window, RecorderMode::Armed));
        EXPECT_EQ(tray->iconId(), 241);
        tray->runCommand(R::kAutoRecording);
        EXPECT_TRUE(inMode(window, RecorderMode::Idle));
        EXPECT_EQ(tray->iconId(), 271);

        tray->runCommand(R::kOpen);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(tray->trayMode(), 0);
        EXPECT_FALSE(tray->iconVisible());
    });
}

TEST_F(TrayTest, TheRightClickMenuShowsTheModeAndRunsTheChoice)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    run(silence, [&](CRecorderDlg& window) {
        auto tray = hostedTray(window);
        tray->hideWindow();
        QStringList enabled;
        answerWhenShown<QMenu>([&](QMenu& menu) {
            QAction* chosen = nullptr;
            for (QAction* action : menu.actions()) {
                if (action->isEnabled() && !action->isSeparator())
                    enabled << action->text();
                if (action->data().toInt() == R::kNewRecording)
                    chosen = action;
            }
            QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(chosen).center());
        });
        tray->onActivated(QSystemTrayIcon::Context);
        EXPECT_EQ(enabled,
                  QStringList({StringTable::text(78), StringTable::text(79), StringTable::text(80),
                               StringTable::text(81), StringTable::text(83)}));
        EXPECT_TRUE(inMode(window, RecorderMode::Recording));
        // A recording stopped before it heard anything asks nothing.
        ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000));
        stopAndDiscard(window);
    });
}

TEST_F(TrayTest, ClicksOnTheIconDoNothingWhileARecordingIsBeingNamed)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    bool menuShown = false;
    run(silence, [&](CRecorderDlg& window) {
        auto tray = hostedTray(window);
        tray->hideWindow();
        tray->runCommand(R::kNewRecording);
        ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000));
        bool answered = false;
        answerWhenShown<SaveRecordingDialog>([&](SaveRecordingDialog& dialog) {
            tray->onActivated(QSystemTrayIcon::Trigger);
            // A menu that opened would be closed by this and counted.
            QTimer::singleShot(0, &window, [&] {
                if (QWidget* popup = QApplication::activePopupWidget()) {
                    menuShown = true;
                    popup->close();
                }
            });
            tray->onActivated(QSystemTrayIcon::Context);
            EXPECT_TRUE(hidden(window, *tray));
            EXPECT_FALSE(menuShown);
            answered = true;
            dialog.cancelButton()->click();
        });
        tray->runCommand(R::kStop);
        ASSERT_TRUE(waitFor([&] { return answered && !window.controller()->inRound(); }));
        tray->onActivated(QSystemTrayIcon::Trigger);
        EXPECT_TRUE(window.isVisible());
    });
}

TEST_F(TrayTest, WithoutATrayHostTheWindowIsMinimisedAndStaysRestoredAndTheCloseBoxKeepsItRunning)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "a tray host is present";
    writeSettings({"AvviaInAutoReg=0", "AvvioTaskBar=1"});
    run(QString(), [&](CRecorderDlg& window) {
        ASSERT_TRUE(waitFor([&] { return window.isMinimized(); }));
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.trayIcon()->trayMode(), 0);

        // The task bar restores a minimised window with a fresh show.
        window.showNormal();
        QShowEvent shown;
        QCoreApplication::sendEvent(&window, &shown);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_FALSE(window.isMinimized());

        window.close();
        EXPECT_FALSE(window.isEnded());
        ASSERT_TRUE(waitFor([&] { return window.isMinimized(); }));
        EXPECT_TRUE(window.isVisible());
    });
}

} // namespace
