#include "tests/ui/RecorderWindowFixture.h"
#include "ui/AboutDialog.h"
#include "ui/FindDialog.h"
#include "ui/WindowMenus.h"

#include <QMenu>
#include <QMenuBar>

namespace {

using M = WindowMenus;

QAction* actionFor(QMenu& menu, int command)
{
    for (QAction* action : menu.actions())
        if (action->data().toInt() == command)
            return action;
    return nullptr;
}

class WindowCommandsTest : public RecorderWindowTest {
protected:
    /// Where a key typed into `window` goes first.
    static QWidget* focused(CRecorderDlg& window)
    {
        return window.focusWidget() ? window.focusWidget() : &window;
    }
};

TEST_F(WindowCommandsTest, TheMenuBarOpensWithItsMnemonicsAndRunsTheChosenItem)
{
    writeSettings({"AvviaInAutoReg=0"});
    run(QString(), [&](CRecorderDlg& window) {
        QMenuBar* bar = window.menus()->menuBar();
        ASSERT_TRUE(bar->isVisible());
        // Mnemonics reach the active window only.
        QApplication::setActiveWindow(&window);
        // Alt+T opens Tools; its Options item opens the sheet once the menu has closed.
        bool optionsEnabled = false;
        answerWhenShown<QMenu>([&](QMenu& menu) {
            QAction* options = actionFor(menu, M::kOptions);
            ASSERT_NE(options, nullptr);
            optionsEnabled = options->isEnabled();
            menu.setActiveAction(options);
            QTest::keyClick(&menu, Qt::Key_Return);
        });
        bool sheetShown = false;
        answerWhenShown<COpzionePropertySheet>([&](COpzionePropertySheet& sheet) {
            sheetShown = true;
            sheet.reject();
        });
        QTest::keyClick(focused(window), Qt::Key_T, Qt::AltModifier);
        ASSERT_TRUE(waitFor([&] { return sheetShown; }));
        EXPECT_TRUE(optionsEnabled);

        // File > Exit ends the window.
        answerWhenShown<QMenu>([&](QMenu& menu) {
            menu.setActiveAction(actionFor(menu, M::kExit));
            QTest::keyClick(&menu, Qt::Key_Return);
        });
        QApplication::setActiveWindow(&window);
        QTest::keyClick(focused(window), Qt::Key_F, Qt::AltModifier);
        EXPECT_TRUE(waitFor([&] { return window.isEnded(); }));
    });
}

TEST_F(WindowCommandsTest, AButtonsPopupGivesTheFocusBackToItsButton)
{
    writeSettings({"AvviaInAutoReg=0"});
    run(QString(), [&](CRecorderDlg& window) {
        QStringList items;
        answerWhenShown<QMenu>([&](QMenu& menu) {
            for (QAction* action : menu.actions())
                if (!action->isSeparator())
                    items << action->text();
            menu.close();
        });
        QAbstractButton* tools = button(window, "Tools");
        QTest::mouseClick(tools, Qt::LeftButton);
        EXPECT_EQ(items, QStringList({StringTable::text(313), StringTable::text(312),
                                      StringTable::text(314)}));
        EXPECT_EQ(focused(window), tools);

        // The Info button's About item opens the About box over the window.
        answerWhenShown<QMenu>([&](QMenu& menu) {
            menu.setActiveAction(actionFor(menu, M::kAbout));
            QTest::keyClick(&menu, Qt::Key_Return);
        });
        bool aboutShown = false;
        answerWhenShown<AboutDialog>([&](AboutDialog& about) {
            aboutShown = true;
            about.accept();
        });
        QAbstractButton* info = button(window, "Info");
        QTest::mouseClick(info, Qt::LeftButton);
        EXPECT_TRUE(waitFor([&] { return aboutShown; }));
        EXPECT_EQ(focused(window), info);
    });
}

TEST_F(WindowCommandsTest, KeysActFromAnywhereInTheWindowAndEscNeverClosesIt)
{
    writeSettings({"AvviaInAutoReg=0"});
    const QString silence = prepareEarlierCallAndSilence();
    run(silence, [&](CRecorderDlg& window) {
        QAbstractButton* record = button(window, "Record");
        record->setFocus();
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_F1, Qt::Key_F3})
            QTest::keyClick(focused(window), key);
        EXPECT_FALSE(window.isEnded());
        EXPECT_TRUE(window.isVisible());
        // Esc in the Recorder window puts a shown Find window away.
        window.OnFind();
        ASSERT_TRUE(window.findDialog()->isVisible());
        record->setFocus();
        QTest::keyClick(focused(window), Qt::Key_Escape);
        EXPECT_FALSE(window.findDialog()->isVisible());

        // Enter on a button plays the selected recording, once.
        QTest::keyClick(focused(window), Qt::Key_Return);
        ASSERT_TRUE(waitFor([&] { return window.playback()->playingRecording() != nullptr; }));
        EXPECT_EQ(window.playback()->playingRecording()->name, QStringLiteral("Earlier call"));
        // While it plays F5 leaves the list alone.
        RecordingEntry added =
            TaggedRecording::entry(folder, QStringLiteral("Copied in"), OleDate::now() - 2);
        ASSERT_TRUE(TaggedRecording::write(added, AudioFixtures::mpegStream(1.0)));
        QTest::keyClick(focused(window), Qt::Key_F5);
        EXPECT_EQ(rowNames(window), QStringList({"Earlier call"}));
        window.playback()->Stop();

        // F5 finds what another program put in the folder and keeps the selection.
        QTest::keyClick(focused(window), Qt::Key_F5);
        EXPECT_EQ(rowNames(window), QStringList({"Earlier call", "Copied in"}));
        EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("NameEdit"))->text(),
                  QStringLiteral("Earlier call"));
    });
}

TEST_F(WindowCommandsTest,
       SendAsksAboutNotesOnlyIfAnyReportsAFailureAndTheRecordingBeingMadeIsNeitherSentNorJoined)
{
    writeSettings({"AvviaInAutoReg=0"});
    RecordingEntry noted = TaggedRecording::entry(folder, QStringLiteral("Noted"), OleDate::now());
    noted.notes = QStringLiteral("Call back on Monday");
    ASSERT_TRUE(TaggedRecording::write(noted, AudioFixtures::mpegStream(1.0)));
    RecordingEntry plain =
        TaggedRecording::entry(folder, QStringLiteral("Plain"), OleDate::now() - 1);
    ASSERT_TRUE(TaggedRecording::write(plain, AudioFixtures::mpegStream(1.0)));
    // The desktop's mail program cannot run here: a stand-in that succeeds or fails.
    const QString bin = env.root() + QStringLiteral("bin/");
    QDir().mkpath(bin);
    env.setVariable("PATH", bin + u':' + qEnvironmentVariable("PATH"));
    const auto mailProgramExits = [&](int code) {
        const QString path = bin + QStringLiteral("xdg-email");
        ASSERT_TRUE(AudioFixtures::writeFile(
            path, QStringLiteral("#!/bin/sh\nexit %1\n").arg(code).toUtf8()));
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
    };
    const struct {
        int row;
        int exitCode;
        QStringList questions;
        QStringList messages;
    } cases[] = {
        {1, 0, {}, {}},
        {0, 0, {StringTable::text(154)}, {}},
        {1, 1, {}, {StringTable::text(97)}},
    };
    const QString silence = env.root() + QStringLiteral("silence.wav");
    ASSERT_TRUE(AudioFixtures::writeWav(silence, QByteArray(64000, '\0'), 32000));
    run(silence, [&](CRecorderDlg& window) {
        ASSERT_EQ(rowNames(window), QStringList({"Noted", "Plain"}));
        for (const auto& c : cases) {
            mailProgramExits(c.exitCode);
            messages.clear();
            tree(window)->setCurrentIndex(tree(window)->model()->index(c.row, 1));
            QTest::mouseClick(button(window, "Send"), Qt::LeftButton);
            EXPECT_EQ(messages.questions, c.questions) << c.row << " " << c.exitCode;
            EXPECT_EQ(messages.texts, c.messages) << c.row << " " << c.exitCode;
        }
        // The recording being made is selected and cannot be sent yet.
        messages.clear();
        QTest::mouseClick(button(window, "Record"), Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return inputEnded; }, 60000));
        QTest::mouseClick(button(window, "Send"), Qt::LeftButton);
        // Nor joined: the wizard would hold an entry the call's end may take away.
        window.OnJoin();
        EXPECT_EQ(messages.texts, QStringList({StringTable::text(300), StringTable::text(302)}));
        stopAndDiscard(window);
    });
}

} // namespace
