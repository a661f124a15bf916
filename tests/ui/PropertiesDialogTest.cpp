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
#include <QTextCursor>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class PropertiesDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + u"rec/"_s;
        QDir().mkpath(folder);
        ASSERT_TRUE(AudioFixtures::writeFile(folder + "Mine.mp3", "x"));
        ASSERT_TRUE(AudioFixtures::writeFile(folder + "Taken.mp3", "x"));
        dialog = std::make_unique<PropertiesDialog>(u"Mine"_s, u"n"_s, folder, messages);
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

TEST_F(PropertiesDialogTest, RefusesEmptyTooLongTakenAndReservedNamesWithTheirMessages)
{
    const std::vector<std::pair<QString, int>> cases = {
        {QString(), 303},
        {QString(261 - folder.toUtf8().size(), QLatin1Char('a')), 304},
        {u"taken"_s, 17},
        {u"tagTemporary"_s, 18},
    };
    for (const auto& [name, message] : cases) {
        SCOPED_TRACE(message);
        messages.clear();
        EXPECT_FALSE(save(name));
        EXPECT_EQ(messages.texts, QStringList{StringTable::text(message)});
    }
}

TEST_F(PropertiesDialogTest, AcceptsAGoodNameTheOpeningOneAndItsOwnCaseChangeWithTheNotes)
{
    EXPECT_EQ(dialog->nameEdit()->text(), u"Mine"_s);
    EXPECT_EQ(dialog->notes(), u"n"_s);
    EXPECT_TRUE(save(u"Mine"_s));
    dialog->show();
    EXPECT_TRUE(save(u"MINE"_s));
    dialog->show();
    dialog->notesEdit()->setPlainText(u"call with Bob"_s);
    EXPECT_TRUE(save(u"TagTemporary"_s));
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(dialog->name(), u"TagTemporary"_s);
    EXPECT_EQ(dialog->notes(), u"call with Bob"_s);
}

TEST_F(PropertiesDialogTest, DropsForbiddenCharactersFromTheName)
{
    // The name starts selected, so typing replaces it.
    QTest::keyClicks(dialog->nameEdit(), u"a?b"_s);
    EXPECT_EQ(dialog->nameEdit()->text(), u"ab"_s);
}

TEST_F(PropertiesDialogTest, NotesShowWholeAndOnlyWhatIsTypedStopsAtTheLimit)
{
    const QString stored(300, u'a');
    const QString nearlyFull = QString(247, u'n') + u"END"_s;
    struct Case {
        const char* what;
        QString notes;
        QTextCursor::MoveOperation caret;
        QString typed;
        bool pasted;
        QString expected;
    };
    const Case cases[] = {
        {"stored beyond the limit", stored, QTextCursor::End, "xyz", false, stored},
        {"typed at the start", nearlyFull, QTextCursor::Start, "abcdefghij", false,
         "abcde" + nearlyFull},
        {"pasted", "n", QTextCursor::End, QString(300, u'p'), true, "n" + QString(254, u'p')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PropertiesDialog notesDialog(u"Mine"_s, c.notes, folder, messages);
        notesDialog.show();
        EXPECT_EQ(notesDialog.notes(), c.notes);
        QPlainTextEdit* edit = notesDialog.notesEdit();
        edit->moveCursor(c.caret);
        if (c.pasted)
            edit->insertPlainText(c.typed);
        else
            QTest::keyClicks(edit, c.typed);
        EXPECT_EQ(notesDialog.notes(), c.expected);
        QTest::mouseClick(notesDialog.saveButton(), Qt::LeftButton);
        EXPECT_EQ(notesDialog.result(), QDialog::Accepted);
        EXPECT_EQ(notesDialog.notes(), c.expected);
    }
}

} // namespace
