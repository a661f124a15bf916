#include "ui/SaveRecordingDialog.h"
#include "res/StringTable.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TestEnvironment.h"
#include "ui/MessagePresenter.h"
#include "ui/SkinButton.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

class SaveRecordingDialogTest : public ::testing::Test {
protected:
    SaveRecordingDialogTest()
        : folder(env.root()),
          dialog(QStringLiteral("Recording 1"), QString(), folder, QString(), messages, false)
    {
        dialog.show();
    }

    void retype(const QString& text)
    {
        dialog.nameEdit()->clear();
        QTest::keyClicks(dialog.nameEdit(), text);
    }

    TestEnvironment env;
    QString folder;
    RecordedMessages messages;
    SaveRecordingDialog dialog;
};

TEST_F(SaveRecordingDialogTest, OpensOnTopWithTheNameAndTheTemporaryFileAndAnEmptyNameDisablesSave)
{
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("Recording 1"));
    EXPECT_EQ(dialog.temporaryFile(), folder + QStringLiteral("tmp_nome_reg.dtm"));
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(dialog.saveButton()->isEnabled());
    dialog.nameEdit()->selectAll();
    QTest::keyClick(dialog.nameEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(dialog.nameEdit()->text().isEmpty());
    EXPECT_FALSE(dialog.saveButton()->isEnabled());
    QTest::keyClicks(dialog.nameEdit(), QStringLiteral("x"));
    EXPECT_TRUE(dialog.saveButton()->isEnabled());
}

TEST_F(SaveRecordingDialogTest, AForbiddenCharacterOrALeadingSpaceIsTakenBackAtOnce)
{
    retype(QStringLiteral("a?b"));
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("ab"));
    EXPECT_EQ(dialog.nameEdit()->cursorPosition(), 2);
    retype(QStringLiteral(" call"));
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("call"));
}

TEST_F(SaveRecordingDialogTest, ANameTooLongForTheFolderLosesItsLastCharacter)
{
    const int room = 260 - static_cast<int>(folder.toUtf8().size());
    ASSERT_GT(room, 10);
    const int allowed = std::min(room, 255 - 4);
    dialog.nameEdit()->setText(QString(allowed, u'n'));
    EXPECT_EQ(dialog.nameEdit()->text().size(), allowed);
    dialog.nameEdit()->end(false);
    QTest::keyClicks(dialog.nameEdit(), QStringLiteral("m"));
    EXPECT_EQ(dialog.nameEdit()->text(), QString(allowed, u'n'));
}

TEST_F(SaveRecordingDialogTest, AReservedNameShowsMessage18AndStays)
{
    retype(QStringLiteral("tagTemporary"));
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], StringTable::text(18));
    EXPECT_EQ(messages.icons[0], MessagePresenter::Icon::Warning);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    // The same word with a capital T is a name like any other.
    retype(QStringLiteral("TagTemporary"));
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.name(), QStringLiteral("TagTemporary"));
}

TEST_F(SaveRecordingDialogTest, AGoodNameAcceptsWithTrimmedNameAndNotes)
{
    retype(QStringLiteral("Call with Anna  "));
    dialog.notesEdit()->setPlainText(QStringLiteral("  \n about the order \n"));
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.name(), QStringLiteral("Call with Anna"));
    EXPECT_EQ(dialog.notes(), QStringLiteral("about the order \n"));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(SaveRecordingDialogTest, CancelRejects)
{
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SaveRecordingDialogTest, PlayWithoutAFileShowsMessage92)
{
    QTest::mouseClick(dialog.playButton(), Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], StringTable::text(92));
    EXPECT_EQ(messages.icons[0], MessagePresenter::Icon::Error);
    EXPECT_FALSE(dialog.isPreviewPlaying());
}

TEST_F(SaveRecordingDialogTest, ThePreviewPlaysTheTemporaryFileReturnsToPlayAtItsEndAndSaveStopsIt)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
    ASSERT_TRUE(AudioFixtures::writeFile(dialog.temporaryFile(), AudioFixtures::mpegStream(1)));
    QTest::mouseClick(dialog.playButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.isPreviewPlaying());
    EXPECT_EQ(dialog.playButton()->bitmapName(0), QStringLiteral("STOPPLAYU"));
    ASSERT_TRUE(waitFor([&] { return !dialog.isPreviewPlaying(); }, 10000));
    EXPECT_EQ(dialog.playButton()->bitmapName(0), QStringLiteral("PLAYRECU"));

    ASSERT_TRUE(AudioFixtures::writeFile(dialog.temporaryFile(), AudioFixtures::mpegStream(3)));
    QTest::mouseClick(dialog.playButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.isPreviewPlaying());
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isPreviewPlaying());
    EXPECT_EQ(dialog.playButton()->bitmapName(0), QStringLiteral("PLAYRECU"));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace
