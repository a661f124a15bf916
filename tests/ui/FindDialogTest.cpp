#include "ui/FindDialog.h"

#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "ui/RecorderLayout.h"
#include "ui/RecordingListView.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Six real recordings, newest first in the list: row r is kRows[r].
struct Row {
    const char* name;
    const char* notes;
};
constexpr Row kRows[] = {{"Alpha", ""},        {"Bravo", "first line\r\nsecond line"},
                         {"Meeting Anna", ""}, {"Delta", "contract signed"},
                         {"Echo", ""},         {"Anna again", ""}};

class FindDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
        const QByteArray audio = AudioFixtures::mpegStream(1.0);
        for (int row = 0; row < 6; ++row) {
            RecordingEntry entry = TaggedRecording::entry(
                folder, QString::fromLatin1(kRows[row].name),
                OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(10, 50 - row * 10))));
            entry.notes = QString::fromLatin1(kRows[row].notes);
            ASSERT_TRUE(TaggedRecording::write(entry, audio));
        }
        layout = std::make_unique<RecorderLayout>(&window);
        list.setFolder(folder);
        ASSERT_TRUE(list.LoadList());
        view = std::make_unique<RecordingListView>(*layout, list, messages, nullptr, &window);
        view->FillRecordingList(QString(), 0);
        window.show();
        dialog = std::make_unique<FindDialog>(*view, messages, &window);
        dialog->show();
    }

    /// The selected row after a Find, or -1 when the "not found" message came instead.
    int find()
    {
        const qsizetype before = messages.texts.size();
        QTest::mouseClick(dialog->findButton(), Qt::LeftButton);
        if (messages.texts.size() > before)
            return -1;
        const QList<RecordingEntry*> selected = view->selectedRecordings();
        return selected.size() == 1 ? view->model()->rowOf(selected.first()) : -2;
    }

    TestEnvironment env;
    RecordedMessages messages;
    QWidget window;
    std::unique_ptr<RecorderLayout> layout;
    RecordingList list;
    std::unique_ptr<RecordingListView> view;
    std::unique_ptr<FindDialog> dialog;
};

TEST_F(FindDialogTest, FindsInNamesAndNotesIgnoringCaseWithoutWrappingByItself)
{
    struct Case {
        const char* text;
        bool inNotes;
        std::vector<int> rows; ///< row selected by each Find, -1 for "not found"
    };
    const Case cases[] = {
        {"BRAVO", true, {1}},          {"contract", false, {-1}}, {"CONTRACT", true, {3}},
        {"line  second", true, {1}},   // a line break is searched as the two spaces shown
        {"anna", true, {2, 5, -1, 2}}, // the rows before the start only after the message
        {"AGAIN", true, {5, 5, -1}},   // a first hit in the last row starts again at row 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        dialog = std::make_unique<FindDialog>(*view, messages, &window);
        dialog->show();
        dialog->notesBox()->setChecked(c.inNotes);
        QTest::keyClicks(dialog->textEdit(), QString::fromLatin1(c.text));
        messages.clear();
        for (int expected : c.rows) {
            const int row = find();
            EXPECT_EQ(row, expected);
            // A hit shows its recording in the property fields, as a click does.
            if (expected >= 0) {
                EXPECT_EQ(layout->nameEdit()->text(), QString::fromLatin1(kRows[row].name));
            }
        }
        for (int i = 0; i < messages.texts.size(); ++i) {
            EXPECT_EQ(messages.texts[i], StringTable::text(153));
            EXPECT_EQ(messages.captions[i], StringTable::text(157));
            EXPECT_EQ(messages.icons[i], MessagePresenter::Icon::Information);
        }
    }
}

TEST_F(FindDialogTest, FindNeedsATextAndTheStartRowSurvivesEditsAndHiding)
{
    EXPECT_TRUE(dialog->notesBox()->isChecked());
    EXPECT_FALSE(dialog->findButton()->isEnabled());
    EXPECT_TRUE(dialog->wasShown());
    QTest::keyClicks(dialog->textEdit(), QStringLiteral("anna"));
    EXPECT_TRUE(dialog->findButton()->isEnabled());
    QTest::keyClick(dialog->textEdit(), Qt::Key_Return); // the default button
    EXPECT_EQ(dialog->nextRow(), 3);

    dialog->textEdit()->clear();
    EXPECT_FALSE(dialog->findButton()->isEnabled());
    QTest::keyClick(dialog->textEdit(), Qt::Key_Return);
    QTest::keyClicks(dialog->textEdit(), QStringLiteral("echo"));
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    dialog->textEdit()->deselect();
    dialog->show();
    EXPECT_EQ(dialog->focusWidget(), dialog->textEdit());
    EXPECT_EQ(dialog->textEdit()->selectedText(), QStringLiteral("echo"));
    EXPECT_EQ(dialog->nextRow(), 3);
    EXPECT_EQ(find(), 4);
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
