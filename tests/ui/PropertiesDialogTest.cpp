#include "ui/PropertiesDialog.h"

#include "res/StringTable.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TestEnvironment.h"
#include "ui/MessagePresenter.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class PropertiesDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
        ASSERT_TRUE(AudioFixtures::writeFile(folder + "Mine.mp3", "x"));
        ASSERT_TRUE(AudioFixtures::writeFile(folder + "Taken.mp3", "x"));
        dialog = std::make_unique<PropertiesDialog>(QStringLiteral("Mine"), QStringLiteral("n"),
                                                    folder, messages);
        dialog->show();
    }

    /// Types `name` into the name field and clicks Save; true when the dialog accepted.
    bool save(const QString& name)
    {
        dialog->nameEdit()->setText(name);
        QTest::mouseClick(dialog->saveButton(), Qt::LeftButton);
        return dialog->result() == QDialog::Accepted && !dialog->isVisible();
    }

    TestEnvironment env;
    QString folder;
    RecordedMessages messages;
    std::unique_ptr<PropertiesDialog> dialog;
};

TEST_F(PropertiesDialogTest, ShowsTheTextsOfTheSaveDialog)
{
    EXPECT_EQ(dialog->windowTitle(), StringTable::text(207));
    EXPECT_EQ(dialog->saveButton()->text(), StringTable::text(210));
    EXPECT_EQ(dialog->cancelButton()->text(), StringTable::text(211));
    EXPECT_EQ(dialog->nameEdit()->text(), QStringLiteral("Mine"));
    EXPECT_EQ(dialog->notes(), QStringLiteral("n"));
}

TEST_F(PropertiesDialogTest, RefusesAnEmptyName)
{
    EXPECT_FALSE(save(QString()));
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(303)});
    EXPECT_EQ(messages.icons.first(), MessagePresenter::Icon::Warning);
}

TEST_F(PropertiesDialogTest, RefusesANameTooLongForTheFolder)
{
    EXPECT_FALSE(save(QString(261 - folder.toUtf8().size(), QLatin1Char('a'))));
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(304)});
}

TEST_F(PropertiesDialogTest, RefusesATakenName)
{
    EXPECT_FALSE(save(QStringLiteral("taken")));
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(17)});
    EXPECT_EQ(messages.icons.first(), MessagePresenter::Icon::Warning);
}

TEST_F(PropertiesDialogTest, RefusesAReservedName)
{
    EXPECT_FALSE(save(QStringLiteral("tagTemporary")));
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(18)});
    EXPECT_EQ(messages.icons.first(), MessagePresenter::Icon::Error);
}

TEST_F(PropertiesDialogTest, AcceptsAGoodNameAndItsNotes)
{
    dialog->notesEdit()->setPlainText(QStringLiteral("call with Bob"));
    EXPECT_TRUE(save(QStringLiteral("TagTemporary")));
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(dialog->name(), QStringLiteral("TagTemporary"));
    EXPECT_EQ(dialog->notes(), QStringLiteral("call with Bob"));
}

TEST_F(PropertiesDialogTest, AcceptsTheOpeningNameAndItsOwnCaseChange)
{
    EXPECT_TRUE(save(QStringLiteral("Mine")));
    dialog->show();
    EXPECT_TRUE(save(QStringLiteral("MINE")));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(PropertiesDialogTest, DropsForbiddenCharactersAndLimitsTheNotes)
{
    // The name starts selected, so typing replaces it.
    QTest::keyClicks(dialog->nameEdit(), QStringLiteral("a?b"));
    EXPECT_EQ(dialog->nameEdit()->text(), QStringLiteral("ab"));
    dialog->notesEdit()->setPlainText(QString(300, QLatin1Char('n')));
    EXPECT_EQ(dialog->notes().size(), PropertiesDialog::MaxNotesLength);
}

} // namespace
