#include "ui/RecordingListView.h"

#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/OleDate.h"
#include "store/RecordingList.h"
#include "tests/support/AnswerDialog.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ControlIds.h"
#include "ui/MessagePresenter.h"
#include "ui/PropertiesDialog.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace {

class ListViewFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_audio = AudioFixtures::mpegStream(2.0); }

    void SetUp() override
    {
        ASSERT_FALSE(s_audio.isEmpty());
        folder = env.root() + QStringLiteral("rec/");
        QDir().mkpath(folder);
    }

    // A real recording of 75 seconds (as its tag says) started at 09:`minute` on 5 March 2024.
    void makeRecording(const QString& name, int minute, const QString& notes = QString(),
                       const QString& operatorName = QString())
    {
        RecordingEntry entry = TaggedRecording::entry(
            folder, name, OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(9, minute))));
        entry.notes = notes;
        entry.operatorName = operatorName;
        entry.duration = OleDate::fromSeconds(75);
        ASSERT_TRUE(TaggedRecording::write(entry, s_audio));
    }

    void makeThree()
    {
        makeRecording(QStringLiteral("Alpha"), 0, QStringLiteral("first\r\nline"));
        makeRecording(QStringLiteral("Bravo"), 10);
        makeRecording(QStringLiteral("Charlie"), 20, QString(), QStringLiteral("Anna"));
    }

    void open()
    {
        window = std::make_unique<QWidget>();
        layout = std::make_unique<RecorderLayout>(window.get());
        list = std::make_unique<RecordingList>();
        list->setFolder(folder);
        ASSERT_TRUE(list->LoadList());
        view = std::make_unique<RecordingListView>(
            *layout, *list, messages,
            [this](const QString& text) {
                questions << text;
                return answers.isEmpty() ? answer : answers.takeFirst();
            },
            window.get());
        window->show();
        view->FillRecordingList(QString(), 0);
    }

    QTreeView* tree() const { return layout->list(); }
    int rowCount() const { return tree()->model()->rowCount(); }
    QString cell(int row, int column) const
    {
        return tree()->model()->index(row, column).data().toString();
    }
    int image(int row) const
    {
        return tree()->model()->index(row, 0).data(RecordingTableModel::ImageRole).toInt();
    }
    QStringList rowNames() const
    {
        QStringList names;
        for (int row = 0; row < rowCount(); ++row)
            names << cell(row, RecordingListView::NameColumn);
        return names;
    }
    QStringList selectedNames() const
    {
        QStringList names;
        for (const RecordingEntry* entry : view->selectedRecordings())
            names << entry->name;
        return names;
    }
    void select(const QString& name,
                QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect)
    {
        const int row = view->FindRowByName(name);
        ASSERT_GE(row, 0);
        tree()->selectionModel()->setCurrentIndex(tree()->model()->index(row, 0),
                                                  how | QItemSelectionModel::Rows);
    }
    void clickHeader(int column)
    {
        QHeaderView* header = tree()->header();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    }
    bool exists(const QString& name) const { return QFileInfo::exists(folder + name + ".mp3"); }

    static inline QByteArray s_audio;
    TestEnvironment env;
    QString folder;
    RecordedMessages messages;
    QStringList questions;
    bool answer = false;
    QList<bool> answers; ///< the answers to the next questions, before `answer`
    std::unique_ptr<QWidget> window;
    std::unique_ptr<RecorderLayout> layout;
    std::unique_ptr<RecordingList> list;
    std::unique_ptr<RecordingListView> view;
};

// Three recordings: Alpha (notes on two lines), Bravo, Charlie (operator Anna), newest last.
class RecordingListViewTest : public ListViewFixture {
protected:
    void SetUp() override
    {
        ListViewFixture::SetUp();
        makeThree();
        open();
    }
};

TEST_F(RecordingListViewTest, FillShowsTheNewestRecordingFirstWithItsColumns)
{
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Bravo", "Alpha"}));
    EXPECT_EQ(layout->countLabel()->text(), QStringLiteral("3 Rec"));
    EXPECT_EQ(cell(0, RecordingListView::DateColumn), QStringLiteral("05/03/2024"));
    EXPECT_EQ(cell(0, RecordingListView::TimeColumn), QStringLiteral("09:20:00"));
    EXPECT_EQ(cell(0, RecordingListView::DurationColumn), QStringLiteral("01:15"));
    EXPECT_EQ(cell(0, RecordingListView::ProtectedColumn), QStringLiteral("No"));
    EXPECT_EQ(cell(0, RecordingListView::OperatorColumn), QStringLiteral("Anna"));
    EXPECT_EQ(cell(2, RecordingListView::NotesColumn), QStringLiteral("first  line"));
    const qint64 size = QFileInfo(folder + "Alpha.mp3").size();
    EXPECT_EQ(cell(2, RecordingListView::SizeColumn), RecordingTableModel::sizeText(size));
    EXPECT_EQ(image(0), RecordingListView::Ordinary);

    EXPECT_EQ(selectedNames(), QStringList{"Charlie"});
    ASSERT_NE(view->currentRecording(), nullptr);
    EXPECT_EQ(view->currentRecording()->name, QStringLiteral("Charlie"));
    EXPECT_EQ(layout->nameEdit()->text(), QStringLiteral("Charlie"));
    EXPECT_EQ(layout->dateField()->text(), QStringLiteral("Tue 05 Mar 2024 09:20"));
    EXPECT_EQ(layout->durationField()->text(), StringTable::text(172) + QStringLiteral(" 01:15"));
    EXPECT_TRUE(layout->button(ControlId::Play)->isEnabled());
    EXPECT_TRUE(layout->button(ControlId::Delete)->isEnabled());
    EXPECT_FALSE(layout->button(ControlId::SaveInfo)->isEnabled());
}

TEST_F(RecordingListViewTest, EveryLineBreakOfTheNotesShowsAsTwoSpacesInTheirColumn)
{
    const std::pair<QString, QString> cases[] = {
        {"first\r\nline", "first  line"},
        {"first\nline", "first  line"},
        {"first\rline", "first  line"},
        {"a\r\n\nb\rc\n", "a    b  c  "},
    };
    RecordingEntry* bravo = list->FindByName(QStringLiteral("Bravo"));
    ASSERT_NE(bravo, nullptr);
    for (const auto& [notes, shown] : cases) {
        bravo->notes = notes;
        view->UpdateListRow(bravo->name, *bravo, RecordingListView::ByRule);
        EXPECT_EQ(cell(1, RecordingListView::NotesColumn), shown) << notes.toStdString();
    }
}

TEST(RecordingTableModelSizeText, KeepsTheListsOwnFigures)
{
    EXPECT_EQ(RecordingTableModel::sizeText(0), QStringLiteral("0.0 Kb"));
    EXPECT_EQ(RecordingTableModel::sizeText(5119), QStringLiteral("4.10 Kb"));
    EXPECT_EQ(RecordingTableModel::sizeText(1048575), QStringLiteral("1023.10 Kb"));
    EXPECT_EQ(RecordingTableModel::sizeText(5242880), QStringLiteral("5.0 Mb"));
}

TEST_F(RecordingListViewTest, HeaderClicksSortByTheirColumnAndKeepTheSelectedRecording)
{
    // Every click flips the direction, whichever section it hits; Time sorts by the start,
    // Operator by the name, and equal keys keep the previous order.
    const std::pair<int, QStringList> clicks[] = {
        {RecordingListView::NameColumn, {"Alpha", "Bravo", "Charlie"}},
        {RecordingListView::NameColumn, {"Charlie", "Bravo", "Alpha"}},
        {RecordingListView::TimeColumn, {"Alpha", "Bravo", "Charlie"}},
        {RecordingListView::OperatorColumn, {"Charlie", "Bravo", "Alpha"}},
        {RecordingListView::DurationColumn, {"Charlie", "Bravo", "Alpha"}},
    };
    select(QStringLiteral("Bravo"));
    for (const auto& [column, order] : clicks) {
        clickHeader(column);
        EXPECT_EQ(rowNames(), order) << column;
        EXPECT_EQ(selectedNames(), QStringList{"Bravo"}) << column;
        EXPECT_EQ(layout->nameEdit()->text(), QStringLiteral("Bravo")) << column;
    }
    // A clicked row comes into view without the list scrolling sideways to its last column.
    ASSERT_GT(tree()->horizontalScrollBar()->maximum(), 0);
    const QModelIndex name = tree()->model()->index(2, RecordingListView::NameColumn);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualRect(name).center());
    EXPECT_EQ(selectedNames(), QStringList{"Alpha"});
    EXPECT_EQ(tree()->horizontalScrollBar()->value(), 0);
}

TEST_F(RecordingListViewTest, RowsFollowAnInsertedUpdatedAndRemovedRecording)
{
    RecordingEntry* added = list->NewEntry(QStringLiteral("Delta"), QString());
    view->InsertRecordingRow(*added, RecordingListView::InProgress, 0);
    EXPECT_EQ(rowNames(), (QStringList{"Delta", "Charlie", "Bravo", "Alpha"}));
    EXPECT_EQ(selectedNames(), QStringList{"Delta"});
    EXPECT_EQ(view->currentRecording(), added);
    EXPECT_EQ(image(0), RecordingListView::InProgress);
    EXPECT_EQ(layout->countLabel()->text(), QStringLiteral("4 Rec"));

    added->name = QStringLiteral("Delta call");
    added->state = RecordingEntry::Saved;
    view->UpdateListRow(QStringLiteral("Delta"), *added, RecordingListView::ByRule);
    EXPECT_EQ(cell(0, RecordingListView::NameColumn), QStringLiteral("Delta call"));
    EXPECT_EQ(image(0), RecordingListView::Ordinary);
    EXPECT_EQ(layout->nameEdit()->text(), QStringLiteral("Delta call"));

    // Gone from the list first, as a discarded recording goes.
    ASSERT_TRUE(list->DeleteRecordings({added->name}, RecordingList::Removal::KeepFiles));
    view->RemoveRows({QStringLiteral("Delta call")});
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Bravo", "Alpha"}));
    EXPECT_EQ(selectedNames(), QStringList{"Charlie"});
    EXPECT_EQ(layout->countLabel()->text(), QStringLiteral("3 Rec"));
}

TEST_F(ListViewFixture, AnEmptyFolderDisablesTheRecordingControls)
{
    open();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(layout->countLabel()->text(), QStringLiteral("0 Rec"));
    EXPECT_EQ(view->currentRecording(), nullptr);
    for (int id : {ControlId::Play, ControlId::Delete, ControlId::Find, ControlId::Send,
                   ControlId::SaveInfo})
        EXPECT_FALSE(layout->button(id)->isEnabled()) << id;
    EXPECT_FALSE(layout->nameEdit()->isEnabled());
    EXPECT_TRUE(layout->nameEdit()->text().isEmpty());
    EXPECT_TRUE(layout->notesEdit()->toPlainText().isEmpty());
    EXPECT_TRUE(layout->dateField()->text().isEmpty());
}

TEST_F(RecordingListViewTest, PlayFollowsTheRecorderModeAndThePlayingRowShowsItsImage)
{
    // Play is usable while no recording runs, armed or not.
    const std::pair<RecorderMode, bool> cases[] = {
        {RecorderMode(RecorderMode::Recording), false},
        {RecorderMode(RecorderMode::Armed, true), true},
        {RecorderMode(RecorderMode::AutoRecording), false},
        {RecorderMode(RecorderMode::Idle), true}};
    for (const auto& [mode, playable] : cases) {
        view->setRecorderMode(mode);
        view->UpdateRecordingControls();
        EXPECT_EQ(layout->button(ControlId::Play)->isEnabled(), playable) << mode.code();
    }

    view->setPlayingRecording(list->FindByName(QStringLiteral("Bravo")));
    EXPECT_EQ(image(1), RecordingListView::Playing);
    view->setPlayingRecording(nullptr);
    EXPECT_EQ(image(1), RecordingListView::Ordinary);
}

// A name is cut back at a forbidden character, a taken one refused, and a free one renames
// the file, its tag, its row and its index record.
TEST_F(RecordingListViewTest, SaveInformationRefusesBadNamesAndRenamesTheFileAndTheRow)
{
    select(QStringLiteral("Alpha"));
    layout->nameEdit()->setText(QStringLiteral("Al/pha"));
    EXPECT_EQ(layout->nameEdit()->text(), QStringLiteral("Al"));
    layout->nameEdit()->setText(QStringLiteral("bravo"));
    view->SaveRecordingInfo();
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(17)});
    EXPECT_EQ(layout->nameEdit()->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Bravo", "Alpha"}));
    messages.clear();

    layout->nameEdit()->setText(QStringLiteral("Renamed"));
    layout->notesEdit()->setPlainText(QStringLiteral("new notes"));
    EXPECT_TRUE(layout->button(ControlId::SaveInfo)->isEnabled());

    QTest::mouseClick(layout->button(ControlId::SaveInfo), Qt::LeftButton);

    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join("|").toStdString();
    EXPECT_TRUE(exists(QStringLiteral("Renamed")));
    EXPECT_FALSE(exists(QStringLiteral("Alpha")));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Bravo", "Renamed"}));
    EXPECT_EQ(cell(2, RecordingListView::NotesColumn), QStringLiteral("new notes"));
    ASSERT_NE(list->FindByName(QStringLiteral("Renamed")), nullptr);
    EXPECT_EQ(list->FindByName(QStringLiteral("Renamed"))->notes, QStringLiteral("new notes"));
    EXPECT_EQ(list->FindByName(QStringLiteral("Renamed"))->state, RecordingEntry::Saved);
    EXPECT_FALSE(layout->button(ControlId::SaveInfo)->isEnabled());
    const QString renamed = folder + QStringLiteral("Renamed.mp3");
    EXPECT_EQ(tagText(renamed, "TIT2"), QStringLiteral("Renamed"));
    EXPECT_EQ(tagText(renamed, "COMM"), QStringLiteral("new notes"));
    EXPECT_EQ(afterTag(renamed), s_audio);

    // The index carries the new name and notes to the next start.
    view.reset();
    list->Clear();
    ASSERT_TRUE(list->LoadList());
    ASSERT_EQ(list->Count(), 3);
    ASSERT_NE(list->FindByName(QStringLiteral("Renamed")), nullptr);
    EXPECT_EQ(list->FindByName(QStringLiteral("Renamed"))->notes, QStringLiteral("new notes"));
}

TEST_F(RecordingListViewTest, ModifyCommitsWhatThePropertiesDialogReturnsWithNotesKeptWhole)
{
    // Notes longer than the dialog lets anyone type, as another program may have stored.
    const QString longNotes = QString(280, u'x') + QStringLiteral(" the end");
    RecordingEntry* bravo = list->FindByName(QStringLiteral("Bravo"));
    bravo->notes = longNotes;
    bravo->state = RecordingEntry::Modified;
    ASSERT_TRUE(list->SaveModified());
    select(QStringLiteral("Bravo"));
    QString shownNotes;
    answerWhenShown<PropertiesDialog>([&](PropertiesDialog& dialog) {
        shownNotes = dialog.notes();
        dialog.nameEdit()->setText(QStringLiteral("Bravo two"));
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    });
    QTest::mouseClick(layout->button(ControlId::Modify), Qt::LeftButton);

    EXPECT_EQ(shownNotes, longNotes);
    EXPECT_TRUE(exists(QStringLiteral("Bravo two")));
    EXPECT_FALSE(exists(QStringLiteral("Bravo")));
    EXPECT_EQ(cell(1, RecordingListView::NameColumn), QStringLiteral("Bravo two"));
    EXPECT_EQ(tagText(folder + QStringLiteral("Bravo two.mp3"), "COMM"), longNotes);
}

TEST_F(RecordingListViewTest, ModifySavesNothingWhenItsRecordingWentWhileTheDialogWasOpen)
{
    select(QStringLiteral("Bravo"));
    answerWhenShown<PropertiesDialog>([this](PropertiesDialog& dialog) {
        EXPECT_TRUE(
            list->DeleteRecordings({QStringLiteral("Bravo")}, RecordingList::Removal::KeepFiles));
        view->RemoveRows({QStringLiteral("Bravo")});
        dialog.nameEdit()->setText(QStringLiteral("Bravo two"));
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    });
    QTest::mouseClick(layout->button(ControlId::Modify), Qt::LeftButton);

    EXPECT_EQ(messages.texts, QStringList{StringTable::text(607)});
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Alpha"}));
    EXPECT_TRUE(exists(QStringLiteral("Bravo")));
    EXPECT_FALSE(exists(QStringLiteral("Bravo two")));
}

// A recording in use is refused without a question; others go after a Yes, and the
// selection moves on.
TEST_F(RecordingListViewTest, DeleteRefusesARecordingInUseAndAsksBeforeDeletingOthers)
{
    list->FindByName(QStringLiteral("Charlie"))->state = RecordingEntry::Recording;
    select(QStringLiteral("Charlie"));
    answers = {true};
    view->DeleteSelected();
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(299)});
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(exists(QStringLiteral("Charlie")));
    list->FindByName(QStringLiteral("Charlie"))->state = RecordingEntry::Saved;
    answers.clear();

    select(QStringLiteral("Charlie"));
    select(QStringLiteral("Bravo"), QItemSelectionModel::Select);
    view->DeleteSelected(); // answered No: nothing changes
    EXPECT_EQ(questions, QStringList{StringTable::text(144) + "2" + StringTable::text(145)});
    EXPECT_EQ(rowNames().size(), 3);
    EXPECT_TRUE(exists(QStringLiteral("Charlie")));
    EXPECT_EQ(list->Count(), 3);

    answer = true;
    view->DeleteSelected();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(rowNames(), QStringList{"Alpha"});
    EXPECT_FALSE(exists(QStringLiteral("Charlie")));
    EXPECT_FALSE(exists(QStringLiteral("Bravo")));
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(layout->countLabel()->text(), QStringLiteral("1 Rec"));
    EXPECT_EQ(selectedNames(), QStringList{"Alpha"});
    EXPECT_EQ(view->currentRecording(), list->FindByName(QStringLiteral("Alpha")));

    questions.clear();
    view->DeleteSelected();
    EXPECT_EQ(questions, QStringList{StringTable::text(146) + "Alpha" + StringTable::text(147)});
    EXPECT_EQ(rowCount(), 0);
    EXPECT_FALSE(layout->button(ControlId::Delete)->isEnabled());
}

TEST_F(RecordingListViewTest, WhenTheTrashRefusesOnlyASecondYesDeletesForGood)
{
    // A plain file where the trash folder should be: nothing can be moved into it. Qt 6.4 then
    // moves a file into "files" under the current folder, which must be this test's own.
    ASSERT_TRUE(AudioFixtures::writeFile(env.root() + QStringLiteral("data/Trash"), "x"));
    const QString scratch = env.root() + QStringLiteral("cwd/");
    QDir().mkpath(scratch);
    const auto back = qScopeGuard([previous = QDir::currentPath()] { QDir::setCurrent(previous); });
    ASSERT_TRUE(QDir::setCurrent(scratch));
    const QString deleteBravo = StringTable::text(146) + "Bravo" + StringTable::text(147);
    const QString forGood = StringTable::text(605);

    select(QStringLiteral("Bravo"));
    answers = {true, false};
    view->DeleteSelected();
    EXPECT_EQ(questions, QStringList({deleteBravo, forGood}));
    EXPECT_TRUE(exists(QStringLiteral("Bravo")));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Bravo", "Alpha"}));
    EXPECT_NE(list->FindByName(QStringLiteral("Bravo")), nullptr);

    questions.clear();
    answers = {true, true};
    view->DeleteSelected();
    EXPECT_EQ(questions, QStringList({deleteBravo, forGood}));
    EXPECT_FALSE(exists(QStringLiteral("Bravo")));
    EXPECT_FALSE(QFileInfo::exists(scratch + QStringLiteral("files/Bravo.mp3")));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Alpha"}));
    EXPECT_EQ(list->FindByName(QStringLiteral("Bravo")), nullptr);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join("|").toStdString();

    // A folder that refuses the deletion too keeps its recordings, and says so.
    if (!env.makeReadOnly(folder))
        GTEST_SKIP() << "cannot make the folder read-only here";
    select(QStringLiteral("Alpha"));
    answers = {true, true};
    view->DeleteSelected();
    EXPECT_TRUE(exists(QStringLiteral("Alpha")));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "Alpha"}));
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(606)});
}

TEST_F(RecordingListViewTest, UnknownLengthsAreMeasuredAfterTheFillAndSkipAGoneRecording)
{
    // What happens to Alpha after its measuring has begun and before its length arrives.
    enum Meanwhile { Nothing, Removed, Renamed };
    for (const Meanwhile meanwhile : {Nothing, Renamed, Removed}) {
        for (const char* name : {"Alpha", "Bravo"}) {
            RecordingEntry* entry = list->FindByName(QString::fromLatin1(name));
            entry->duration = OleDate::kNoDuration;
            view->UpdateListRow(entry->name, *entry, RecordingListView::ByRule);
        }
        RecordingEntry* alpha = list->FindByName(QStringLiteral("Alpha"));
        const QByteArray alphaFile = AudioFixtures::readFile(alpha->filePath());
        EXPECT_EQ(cell(2, RecordingListView::DurationColumn), QStringLiteral("--:--"));

        view->FillRecordingList(QString(), 0);
        // Queued after the measuring's start, before any length can arrive.
        QTimer::singleShot(0, window.get(), [&] {
            if (meanwhile == Removed) {
                ASSERT_TRUE(
                    list->DeleteRecordings({alpha->name}, RecordingList::Removal::KeepFiles));
                view->RemoveRows({QStringLiteral("Alpha")});
            } else if (meanwhile == Renamed) {
                alpha->name = QStringLiteral("Alpha two");
            }
        });
        ASSERT_TRUE(waitFor([&] { return !view->measuringDurations(); }));

        RecordingEntry* bravo = list->FindByName(QStringLiteral("Bravo"));
        EXPECT_EQ(OleDate::toSeconds(bravo->duration), 2) << meanwhile;
        EXPECT_EQ(bravo->state, RecordingEntry::Saved) << meanwhile;
        EXPECT_EQ(tagText(bravo->filePath(), "TLEN"), QStringLiteral("00:00:02")) << meanwhile;
        EXPECT_EQ(
            cell(view->FindRowByName(QStringLiteral("Bravo")), RecordingListView::DurationColumn),
            QStringLiteral("00:02"))
            << meanwhile;
        if (meanwhile == Nothing) {
            EXPECT_EQ(OleDate::toSeconds(alpha->duration), 2);
            EXPECT_EQ(tagText(alpha->filePath(), "TLEN"), QStringLiteral("00:00:02"));
        } else {
            EXPECT_EQ(AudioFixtures::readFile(folder + "Alpha.mp3"), alphaFile) << meanwhile;
        }
        if (meanwhile == Renamed) {
            EXPECT_EQ(alpha->duration, OleDate::kNoDuration);
            alpha->name = QStringLiteral("Alpha");
        }
    }
}

} // namespace
