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

using namespace Qt::StringLiterals;

namespace {

class SaveRecordingDialogTest : public ::testing::Test {
protected:
    SaveRecordingDialogTest()
        : folder(env.root()),
          dialog(u"Recording 1"_s, QString(), folder, QString(), messages, false)
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

TEST_F(SaveRecordingDialogTest, OpensOnTopWithTheNameAnEmptyNameDisablesSaveAndCancelRejects)
{
    EXPECT_EQ(dialog.nameEdit()->text(), u"Recording 1"_s);
    EXPECT_EQ(dialog.temporaryFile(), folder + u"tmp_nome_reg.dtm"_s);
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(dialog.saveButton()->isEnabled());
    dialog.nameEdit()->selectAll();
    QTest::keyClick(dialog.nameEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(dialog.nameEdit()->text().isEmpty());
    EXPECT_FALSE(dialog.saveButton()->isEnabled());
    QTest::keyClicks(dialog.nameEdit(), u"x"_s);
    EXPECT_TRUE(dialog.saveButton()->isEnabled());
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SaveRecordingDialogTest, AForbiddenCharacterOrALeadingSpaceIsTakenBackAtOnce)
{
    retype(u"a?b"_s);
    EXPECT_EQ(dialog.nameEdit()->text(), u"ab"_s);
    EXPECT_EQ(dialog.nameEdit()->cursorPosition(), 2);
    retype(u" call"_s);
    EXPECT_EQ(dialog.nameEdit()->text(), u"call"_s);
}

TEST_F(SaveRecordingDialogTest, ANameTooLongForTheFolderLosesItsLastCharacter)
{
    const int room = 260 - static_cast<int>(folder.toUtf8().size());
    ASSERT_GT(room, 10);
    const int allowed = std::min(room, 255 - 4);
    dialog.nameEdit()->setText(QString(allowed, u'n'));
    EXPECT_EQ(dialog.nameEdit()->text().size(), allowed);
    dialog.nameEdit()->end(false);
    QTest::keyClicks(dialog.nameEdit(), u"m"_s);
    EXPECT_EQ(dialog.nameEdit()->text(), QString(allowed, u'n'));
}

TEST_F(SaveRecordingDialogTest, AReservedNameShowsMessage18AndStays)
{
    retype(u"tagTemporary"_s);
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(18)});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    // The same word with a capital T is a name like any other.
    retype(u"TagTemporary"_s);
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.name(), u"TagTemporary"_s);
}

TEST_F(SaveRecordingDialogTest, AGoodNameAcceptsWithTrimmedNameAndNotes)
{
    retype(u"Call with Anna  "_s);
    dialog.notesEdit()->setPlainText(u"  \n about the order \n"_s);
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.name(), u"Call with Anna"_s);
    EXPECT_EQ(dialog.notes(), u"about the order \n"_s);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(SaveRecordingDialogTest, PlayWithoutAFileShowsMessage92)
{
    QTest::mouseClick(dialog.playButton(), Qt::LeftButton);
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(92)});
    EXPECT_FALSE(dialog.isPreviewPlaying());
}

TEST_F(SaveRecordingDialogTest, ThePreviewPlaysTheTemporaryFileReturnsToPlayAtItsEndAndSaveStopsIt)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
    ASSERT_TRUE(AudioFixtures::writeFile(dialog.temporaryFile(), AudioFixtures::mpegStream(1)));
    QTest::mouseClick(dialog.playButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.isPreviewPlaying());
    EXPECT_EQ(dialog.playButton()->bitmapName(0), u"STOPPLAYU"_s);
    ASSERT_TRUE(waitFor([&] { return !dialog.isPreviewPlaying(); }, 10000));
    EXPECT_EQ(dialog.playButton()->bitmapName(0), u"PLAYRECU"_s);

    ASSERT_TRUE(AudioFixtures::writeFile(dialog.temporaryFile(), AudioFixtures::mpegStream(3)));
    QTest::mouseClick(dialog.playButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.isPreviewPlaying());
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isPreviewPlaying());
    EXPECT_EQ(dialog.playButton()->bitmapName(0), u"PLAYRECU"_s);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace
