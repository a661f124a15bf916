#include "ui/JoinWizard.h"
#include "res/StringTable.h"
#include "store/Id3Tag.h"
#include "store/OleDate.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "store/RecordingNames.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/RecorderWindowFixture.h"
#include "ui/KeyWordDialog.h"
#include "ui/RecordingTableModel.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

class JoinWizardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_audio = AudioFixtures::mpegStream(2.0); }

    void SetUp() override
    {
        ASSERT_FALSE(s_audio.isEmpty());
        folder = env.root() + u"calls/"_s;
        ASSERT_TRUE(QDir().mkpath(folder));
    }

    // A recording starting at 09:mm:ss on a fixed day, `seconds` long.
    void make(const QString& name, int minute, int second, int seconds, const QByteArray& audio,
              const QString& notes = QString())
    {
        RecordingEntry entry = TaggedRecording::entry(
            folder, name,
            OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(9, minute, second))));
        entry.duration = OleDate::fromSeconds(seconds);
        entry.notes = notes;
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
    }
    void make(const QString& name, int minute) { make(name, minute, 0, 2, s_audio); }

    // Loads the folder and opens the wizard on it, `current` being the window's current one.
    void open(const QString& current = QString())
    {
        list.setFolder(folder);
        ASSERT_TRUE(list.LoadList());
        list.Sort(RecordingList::SortKey::Date, true);
        rows = std::make_unique<RecordingTableModel>(list);
        rows->reload();
        wizard =
            std::make_unique<JoinWizard>(list, *rows, list.FindByName(current), messages, nullptr,
                                         [this](QDialog& dialog) { return answerKeyWord(dialog); });
        QObject::connect(wizard.get(), &JoinWizard::recordingsJoined, wizard.get(),
                         [this](const QStringList& removed, const QString&) {
                             removedNames = removed;
                             rows->reload();
                         });
        wizard->show();
    }

    int answerKeyWord(QDialog& dialog)
    {
        auto* keyWord = qobject_cast<KeyWordDialog*>(&dialog);
        if (keyWord == nullptr || keyWords.isEmpty()) {
            ADD_FAILURE() << "unexpected dialog";
            return QDialog::Rejected;
        }
        dialog.show();
        QTest::keyClicks(keyWord->keyEdit(), keyWords.takeFirst());
        keyWord->okButton()->click();
        return dialog.result();
    }

    void tick(const QString& name, bool on = true)
    {
        QTreeWidgetItem* row = wizard->rowOf(list.FindByName(name));
        ASSERT_NE(row, nullptr) << name.toStdString();
        row->setCheckState(JoinWizard::NameColumn, on ? Qt::Checked : Qt::Unchecked);
    }
    // Ticks `names` and goes on to page 3.
    void describe(const QStringList& names)
    {
        for (const QString& name : names)
            tick(name);
        QTest::mouseClick(wizard->nextButton(), Qt::LeftButton);
        QTest::mouseClick(wizard->nextButton(), Qt::LeftButton);
        ASSERT_EQ(wizard->page(), JoinWizard::DescribePage);
    }
    void joinAs(const QString& name)
    {
        wizard->nameEdit()->clear();
        QTest::keyClicks(wizard->nameEdit(), name);
        QTest::mouseClick(wizard->joinButton(), Qt::LeftButton);
    }
    QStringList names(const std::vector<RecordingEntry*>& entries) const
    {
        QStringList result;
        for (const RecordingEntry* entry : entries)
            result << entry->name;
        return result;
    }
    QString path(const QString& name) const { return folder + name + u".mp3"_s; }
    static QByteArray audioOf(const QString& file)
    {
        return AudioFixtures::readFile(file).mid(Id3Tag::audioOffset(file).value_or(0));
    }

    static inline QByteArray s_audio;
    TestEnvironment env;
    QString folder;
    RecordingList list;
    std::unique_ptr<RecordingTableModel> rows;
    RecordedMessages messages;
    std::unique_ptr<JoinWizard> wizard;
    QStringList keyWords;
    QStringList removedNames;
};

TEST_F(JoinWizardTest, TheJoinedFileHoldsTheSourcesAudioInOrderBehindANewTag)
{
    const QByteArray a = s_audio.left(10000);
    const QByteArray b = AudioFixtures::mpegStream(1.0).left(5000);
    make(u"A"_s, 0, 0, 3, a);
    make(u"B"_s, 1, 0, 2, b);
    open();
    describe({u"A"_s, u"B"_s});
    ASSERT_EQ(names(wizard->joiningOrder()), QStringList({u"A"_s, u"B"_s}));
    joinAs(u"Call"_s);

    EXPECT_EQ(wizard->result(), QDialog::Accepted);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    EXPECT_EQ(audioOf(path(u"Call"_s)), a + b);
    EXPECT_FALSE(QFileInfo::exists(path(u"A"_s)));
    EXPECT_FALSE(QFileInfo::exists(path(u"B"_s)));
    EXPECT_EQ(removedNames, QStringList({u"A"_s, u"B"_s}));
    ASSERT_EQ(list.Count(), 1);
    const RecordingEntry* joined = list.FindByName(u"Call"_s);
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(OleDate::toSeconds(joined->duration), 5);
    EXPECT_EQ(joined->fileSize, QFileInfo(path(u"Call"_s)).size());
    EXPECT_TRUE(QDir(folder).entryList({u"Join_Temporary*"_s}).isEmpty());
    EXPECT_EQ(wizard->progressDialog(), nullptr);
}

TEST_F(JoinWizardTest, ALongJoinShowsItsProgressToTheEnd)
{
    const QByteArray half(JoinWizard::kLongJoinBytes / 2 + 1000, '\x55');
    make(u"A"_s, 0, 0, 600, half);
    make(u"B"_s, 10, 0, 600, half);
    open();
    describe({u"A"_s, u"B"_s});
    joinAs(u"Long"_s);

    ASSERT_NE(wizard->progressDialog(), nullptr);
    EXPECT_EQ(wizard->progressDialog()->value(), wizard->progressDialog()->maximum());
    EXPECT_EQ(audioOf(path(u"Long"_s)), half + half);
    EXPECT_EQ(OleDate::toSeconds(list.FindByName(u"Long"_s)->duration), 1200);
}

// What a name like a source, like an unrelated recording, or a reserved name asks and does.
TEST_F(JoinWizardTest, NamingTheResultAsksOnlyWhenAnUnrelatedRecordingWouldBeReplaced)
{
    struct Case {
        QString name;
        bool yes;
        int questions;
        QString message; ///< shown, and the wizard stays open
        bool joined;
    };
    const Case cases[] = {
        {u"Alpha"_s, false, 0, QString(), true},
        {u"charlie"_s, false, 1, QString(), false},
        {u"Charlie"_s, true, 1, QString(), true},
        {u"Join_Temporary"_s, true, 0, StringTable::text(18), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        list.Clear();
        for (const QString& file : QDir(folder).entryList(QDir::Files))
            QFile::remove(folder + file);
        make(u"Alpha"_s, 0);
        make(u"Bravo"_s, 1);
        make(u"Charlie"_s, 2, 0, 2, AudioFixtures::mpegStream(1.0));
        const QByteArray charlie = AudioFixtures::readFile(path(u"Charlie"_s));
        messages.clear();
        messages.answerYes = c.yes;
        open();
        describe({u"Alpha"_s, u"Bravo"_s});
        joinAs(c.name);

        EXPECT_EQ(messages.questions.size(), c.questions);
        EXPECT_EQ(messages.texts, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(wizard->isVisible(), !c.joined);
        if (!c.joined) {
            EXPECT_EQ(wizard->page(), JoinWizard::DescribePage);
            EXPECT_EQ(list.Count(), 3);
            EXPECT_EQ(audioOf(path(u"Alpha"_s)), s_audio);
            EXPECT_EQ(AudioFixtures::readFile(path(u"Charlie"_s)), charlie);
            continue;
        }
        EXPECT_EQ(audioOf(path(c.name)), s_audio + s_audio);
        EXPECT_FALSE(QFileInfo::exists(path(u"Bravo"_s)));
        EXPECT_EQ(list.Count(), c.name == u"Alpha"_s ? 2 : 1);
        EXPECT_NE(list.FindByName(c.name), nullptr);
        EXPECT_EQ(QDir(folder).entryList({u"*.mp3"_s}).size(), list.Count());
    }
}

TEST_F(JoinWizardTest, FollowersAreListedOnlyWhileEachStartsWithinTenSecondsOfThePreviousEnd)
{
    make(u"First"_s, 0, 0, 60, s_audio);
    make(u"Second"_s, 1, 10, 60, s_audio); // 10 s after First ended
    make(u"Third"_s, 2, 25, 60, s_audio);  // 15 s after Second ended
    make(u"Fourth"_s, 3, 30, 60, s_audio);
    open(u"First"_s);
    RecordingEntry* inProgress = list.NewEntry(QString(), QString());
    rows->reload();
    wizard = std::make_unique<JoinWizard>(list, *rows, list.FindByName(u"First"_s), messages);

    const QStringList all = {u"First"_s, u"Second"_s, u"Third"_s, u"Fourth"_s};
    EXPECT_EQ(names(wizard->listedRecordings()), all);
    EXPECT_TRUE(wizard->followersBox()->text().contains(u"'First'"_s));
    wizard->followersBox()->setChecked(true);
    EXPECT_EQ(names(wizard->listedRecordings()), QStringList({u"First"_s, u"Second"_s}));
    wizard->followersBox()->setChecked(false);
    EXPECT_EQ(names(wizard->listedRecordings()), all);

    // Following the recording being made is refused and ends the wizard.
    JoinWizard busy(list, *rows, inProgress, messages);
    busy.show();
    busy.followersBox()->setChecked(true);
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(302)});
    EXPECT_FALSE(busy.isVisible());
}

TEST_F(JoinWizardTest, NextNeedsTwoTickedRowsAndTheTotalsFollowTheTicks)
{
    make(u"Alpha"_s, 0, 0, 70, s_audio);
    make(u"Bravo"_s, 1, 0, 3600, s_audio);
    make(u"Charlie"_s, 2, 0, 5, s_audio);
    open();
    const qint64 size = QFileInfo(path(u"Alpha"_s)).size();
    QPushButton* next = wizard->nextButton();
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(wizard->backButton()->isEnabled());

    // A click in the first column ticks the row as the check box does.
    QTreeWidget* tree = wizard->selectionList();
    QTreeWidgetItem* alpha = wizard->rowOf(list.FindByName(u"Alpha"_s));
    const QRect cell = tree->visualItemRect(alpha);
    const QPoint inName(tree->columnViewportPosition(0) + tree->columnWidth(0) - 4,
                        cell.center().y());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, inName);
    EXPECT_EQ(alpha->checkState(0), Qt::Checked);
    EXPECT_FALSE(next->isEnabled());
    EXPECT_EQ(wizard->totalDurationLabel()->text(), u"00:01:10"_s);

    tick(u"Bravo"_s);
    EXPECT_TRUE(next->isEnabled());
    EXPECT_EQ(wizard->totalDurationLabel()->text(), u"01:01:10"_s);
    EXPECT_EQ(wizard->spaceUsedLabel()->text(), RecordingNames::SizeText(2 * size));

    wizard->selectAllBox()->setChecked(true);
    EXPECT_TRUE(next->isEnabled());
    EXPECT_EQ(wizard->spaceUsedLabel()->text(), RecordingNames::SizeText(3 * size));
    wizard->selectAllBox()->setChecked(false);
    EXPECT_FALSE(next->isEnabled());
    EXPECT_EQ(wizard->totalDurationLabel()->text(), u"00:00:00"_s);
}

TEST_F(JoinWizardTest, ThirdPageIsPrefilledAndTheOrderCanBeChanged)
{
    make(u"rec1"_s, 0, 0, 70, s_audio, u"first"_s);
    make(u"rec2"_s, 1, 0, 65, s_audio, u"second"_s);
    make(u"rec3"_s, 2, 0, 1, s_audio);
    open();
    tick(u"rec1"_s);
    tick(u"rec2"_s);
    tick(u"rec3"_s);
    const QString space = wizard->spaceUsedLabel()->text();
    QTest::mouseClick(wizard->nextButton(), Qt::LeftButton);
    QTreeWidget* order = wizard->orderList();
    QTest::mouseClick(wizard->upButton(), Qt::LeftButton); // at the top: nothing
    order->setCurrentItem(order->topLevelItem(2));
    QTest::mouseClick(wizard->downButton(), Qt::LeftButton); // at the bottom: nothing
    QTest::mouseClick(wizard->upButton(), Qt::LeftButton);
    QTest::mouseClick(wizard->upButton(), Qt::LeftButton);
    EXPECT_EQ(names(wizard->joiningOrder()), QStringList({u"rec3"_s, u"rec1"_s, u"rec2"_s}));
    QTest::mouseClick(wizard->downButton(), Qt::LeftButton);
    EXPECT_EQ(names(wizard->joiningOrder()), QStringList({u"rec1"_s, u"rec3"_s, u"rec2"_s}));
    EXPECT_EQ(order->currentItem()->text(0), u"rec3"_s);
    QTest::mouseClick(wizard->downButton(), Qt::LeftButton);

    QTest::mouseClick(wizard->nextButton(), Qt::LeftButton);
    EXPECT_EQ(wizard->nameEdit()->text(), u"rec1 rec2 rec3 "_s);
    EXPECT_EQ(wizard->notesEdit()->toPlainText(), u"first second  "_s);
    EXPECT_EQ(wizard->durationLabel()->text(), u"02:16"_s);
    EXPECT_EQ(wizard->sizeLabel()->text(), space);
    EXPECT_EQ(wizard->protectedLabel()->text(), rows->index(rows->rowOf(list.FindByName(u"rec1"_s)),
                                                            RecordingTableModel::ProtectedColumn)
                                                    .data()
                                                    .toString());
    EXPECT_EQ(wizard->dateEdit()->date(), QDate::currentDate());

    // The name filter: no leading space, no forbidden character, nothing empty.
    wizard->nameEdit()->clear();
    EXPECT_FALSE(wizard->joinButton()->isEnabled());
    QTest::keyClicks(wizard->nameEdit(), u" a:b?\"c"_s);
    EXPECT_EQ(wizard->nameEdit()->text(), u"abc"_s);
    EXPECT_TRUE(wizard->joinButton()->isEnabled());
    QTest::keyClicks(wizard->nameEdit(), QString(300, u'x'));
    EXPECT_EQ(RecordingNames::check(wizard->nameEdit()->text(), folder, RecordingNames::FitsPath),
              RecordingNames::Accepted);

    QTest::mouseClick(wizard->backButton(), Qt::LeftButton);
    QTest::mouseClick(wizard->backButton(), Qt::LeftButton);
    EXPECT_EQ(wizard->page(), JoinWizard::SelectPage);
    EXPECT_EQ(wizard->tickedRecordings().size(), 3u);
}

TEST_F(JoinWizardTest, AProtectedRowCannotBeTickedUntilItsKeyWordRemovesTheProtection)
{
    make(u"Alpha"_s, 0);
    make(u"Bravo"_s, 1);
    {
        RecordingList loaded;
        loaded.setFolder(folder);
        ASSERT_TRUE(loaded.LoadList());
        RecordingEntry* bravo = loaded.FindByName(u"Bravo"_s);
        bravo->keyWord = u"Secret7"_s;
        ASSERT_TRUE(Protection::Protect(*bravo, false));
        loaded.UpdateRecord(*bravo);
    }
    open();
    RecordingEntry* bravo = list.FindByName(u"Bravo"_s);
    ASSERT_TRUE(bravo->isProtected);
    QTreeWidgetItem* row = wizard->rowOf(bravo);
    const QString protectedText = row->text(JoinWizard::ProtectedColumn);
    tick(u"Bravo"_s);
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    wizard->selectAllBox()->setChecked(true);
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(wizard->nextButton()->isEnabled());

    QTreeWidget* tree = wizard->selectionList();
    const QPoint inNotes = tree->visualItemRect(row).center();
    keyWords = {u"Wrong77"_s, u"Secret7"_s};
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, inNotes);
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(68)});
    EXPECT_TRUE(bravo->isProtected);

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, inNotes);
    EXPECT_TRUE(keyWords.isEmpty());
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(bravo->isProtected);
    EXPECT_EQ(audioOf(path(u"Bravo"_s)), s_audio);
    EXPECT_NE(row->text(JoinWizard::ProtectedColumn), protectedText);
    EXPECT_EQ(
        rows->index(rows->rowOf(bravo), RecordingTableModel::ProtectedColumn).data().toString(),
        row->text(JoinWizard::ProtectedColumn));
    tick(u"Bravo"_s);
    EXPECT_TRUE(wizard->nextButton()->isEnabled());
}

TEST_F(JoinWizardTest, AFailedJoinKeepsEverySourceAndTheWizardOpen)
{
    make(u"Alpha"_s, 0);
    make(u"Bravo"_s, 1);
    open();
    describe({u"Alpha"_s, u"Bravo"_s});
    const QByteArray alpha = AudioFixtures::readFile(path(u"Alpha"_s));
    // Bravo cannot be read any more: a folder took its file's place.
    ASSERT_TRUE(QFile::remove(path(u"Bravo"_s)));
    ASSERT_TRUE(QDir().mkpath(path(u"Bravo"_s)));
    joinAs(u"Call"_s);

    EXPECT_EQ(messages.texts, QStringList{StringTable::text(95)});
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->page(), JoinWizard::DescribePage);
    EXPECT_EQ(AudioFixtures::readFile(path(u"Alpha"_s)), alpha);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_FALSE(QFileInfo::exists(path(u"Call"_s)));
    EXPECT_TRUE(QDir(folder).entryList({u"Join_Temporary*"_s}).isEmpty());
}

} // namespace

namespace {

// The context menu's Join through the wizard's real pages; the joined recording is selected.
TEST_F(RecorderWindowTest, JoinFromTheWindowReplacesTheSourcesByTheSelectedJoinedRecording)
{
    const QString silence = prepareEarlierCallAndSilence();
    RecordingEntry later = TaggedRecording::entry(folder, u"Later call"_s, OleDate::now() - 0.5);
    ASSERT_TRUE(TaggedRecording::write(later, AudioFixtures::mpegStream(1.0)));
    writeSettings({u"AvviaInAutoReg=0"_s});
    run(silence, [&](CRecorderDlg& window) {
        ASSERT_EQ(rowCount(window), 2);
        bool answered = false;
        answerWhenShown<JoinWizard>([&](JoinWizard& wizard) {
            wizard.selectAllBox()->click();
            QTest::mouseClick(wizard.nextButton(), Qt::LeftButton);
            QTest::mouseClick(wizard.nextButton(), Qt::LeftButton);
            wizard.nameEdit()->clear();
            QTest::keyClicks(wizard.nameEdit(), u"Whole call"_s);
            QTest::mouseClick(wizard.joinButton(), Qt::LeftButton);
            answered = true;
            if (wizard.isVisible()) {
                ADD_FAILURE() << "still on page " << wizard.page();
                wizard.reject();
            }
        });
        window.OnJoin();
        ASSERT_TRUE(answered);
        EXPECT_EQ(rowNames(window), QStringList{u"Whole call"_s});
        EXPECT_EQ(tree(window)->currentIndex().row(), 0);
        EXPECT_TRUE(exists(u"Whole call"_s));
        EXPECT_FALSE(exists(u"Earlier call"_s));
        EXPECT_FALSE(exists(u"Later call"_s));
        EXPECT_GT(durationSeconds(cell(window, 0, RecordingListView::DurationColumn)), 2);
    });
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace
