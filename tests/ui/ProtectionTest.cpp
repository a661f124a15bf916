#include "store/Protection.h"
#include "audio/CPlaySound.h"
#include "audio/CRecordSound.h"
#include "control/LeftoverRecovery.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "tests/support/AnswerDialog.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TagText.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CRecorderApp.h"
#include "ui/CRecorderDlg.h"
#include "ui/ControlIds.h"
#include "ui/KeyWordDialog.h"
#include "ui/MessagePresenter.h"
#include "ui/PlaybackControls.h"
#include "ui/ProtectDialog.h"
#include "ui/ProtectionCommands.h"
#include "ui/RecorderLayout.h"
#include "ui/RecordingListView.h"
#include "ui/SkinButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace {

// The character a masked field draws for each hidden one.
QChar maskCharacter(QLineEdit* edit)
{
    return QChar(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit));
}

// ---- The two dialogs on their own.

class ProtectionDialogsTest : public ::testing::Test {
protected:
    RecordedMessages messages;
};

TEST_F(ProtectionDialogsTest,
       ProtectDialogMasksWithStarsAndEnablesOkForSixEqualCharactersOrAShownKeyWord)
{
    ProtectDialog dialog(QStringLiteral("Call"), messages);
    dialog.show();
    EXPECT_EQ(dialog.recordingLabel()->text(), QStringLiteral("To protect recording Call"));
    EXPECT_FALSE(dialog.showKeyBox()->isChecked());
    for (QLineEdit* edit : {dialog.keyEdit(), dialog.retypeEdit()}) {
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(maskCharacter(edit), QChar(u'*'));
    }
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    // Protecting several recordings names none.
    EXPECT_EQ(ProtectDialog(QString(), messages).recordingLabel()->text(), StringTable::text(130));

    QTest::keyClicks(dialog.keyEdit(), QStringLiteral("abcde"));
    QTest::keyClicks(dialog.retypeEdit(), QStringLiteral("abcde"));
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    QTest::keyClicks(dialog.keyEdit(), QStringLiteral("f"));
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "the re-typed word still differs";
    QTest::keyClicks(dialog.retypeEdit(), QStringLiteral("f"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    QTest::keyClick(dialog.retypeEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(dialog.okButton()->isEnabled());

    // Shown in clear, the key word needs no second typing.
    dialog.showKeyBox()->click();
    EXPECT_EQ(dialog.keyEdit()->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(dialog.retypeEdit()->isEnabled());
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    QTest::keyClick(dialog.keyEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "five characters";
    QTest::keyClicks(dialog.keyEdit(), QStringLiteral("xy"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());

    // Masked again, the re-type field takes the key word and is usable again.
    dialog.showKeyBox()->click();
    EXPECT_EQ(dialog.keyEdit()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.retypeEdit()->isEnabled());
    EXPECT_EQ(dialog.retypeEdit()->text(), QStringLiteral("abcdexy"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());

    // With the box ticked a different re-typed word is ignored.
    dialog.retypeEdit()->setText(QStringLiteral("something else"));
    dialog.showKeyBox()->click();
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.keyWord(), QStringLiteral("abcdexy"));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ProtectionDialogsTest, ProtectDialogRefusesBadKeyWordsAndStaysOpen)
{
    ProtectDialog dialog(QStringLiteral("Call"), messages);
    dialog.show();
    const auto tryKey = [&](const QString& key, const QString& retyped) {
        dialog.keyEdit()->setText(key);
        dialog.retypeEdit()->setText(retyped);
        // accept() is what OK and Enter reach; it must hold even where OK is disabled.
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    const std::vector<std::tuple<QString, QString, int>> refused = {
        {QStringLiteral("abc*def"), QStringLiteral("abc*def"), 62},
        {QStringLiteral("a*"), QStringLiteral("a*"), 62}, // a star is told before the length
        {QStringLiteral("abcde"), QStringLiteral("abcde"), 63},
        {QStringLiteral("abcdef"), QStringLiteral("abcdeg"), 64},
        {QString(1000, u'k'), QString(1000, u'k'), 500},
    };
    for (const auto& [key, retyped, message] : refused) {
        SCOPED_TRACE(key.left(10).toStdString());
        messages.clear();
        EXPECT_FALSE(tryKey(key, retyped));
        EXPECT_EQ(messages.texts, QStringList({StringTable::text(message)}));
        EXPECT_EQ(messages.icons, QList<MessagePresenter::Icon>({MessagePresenter::Icon::Warning}));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.keyWord().isEmpty());
    }

    // A "*" is refused through the enabled OK button too.
    messages.clear();
    dialog.keyEdit()->setText(QStringLiteral("secret*"));
    dialog.retypeEdit()->setText(QStringLiteral("secret*"));
    ASSERT_TRUE(dialog.okButton()->isEnabled());
    dialog.okButton()->click();
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(62)}));
    EXPECT_TRUE(dialog.isVisible());

    messages.clear();
    EXPECT_TRUE(tryKey(QStringLiteral("secret"), QStringLiteral("secret")));
    EXPECT_EQ(dialog.keyWord(), QStringLiteral("secret"));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ProtectionDialogsTest, KeyWordDialogTakesAnyTextOfSixCharacters)
{
    KeyWordDialog dialog(QStringLiteral("Call with Anna"));
    dialog.show();
    EXPECT_EQ(dialog.recordingLabel()->text(), QStringLiteral("Call with Anna"));
    EXPECT_EQ(dialog.keyEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(maskCharacter(dialog.keyEdit()), QChar(u'*'));

    QTest::keyClicks(dialog.keyEdit(), QStringLiteral("a*c*e"));
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    QTest::keyClicks(dialog.keyEdit(), QStringLiteral("*"));
    ASSERT_TRUE(dialog.okButton()->isEnabled());
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.keyWord(), QStringLiteral("a*c*e*"));

    KeyWordDialog cancelled(QStringLiteral("Call"));
    cancelled.show();
    QTest::keyClicks(cancelled.keyEdit(), QStringLiteral("secret"));
    cancelled.cancelButton()->click();
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_TRUE(cancelled.keyWord().isEmpty());
}

// ---- The commands on real recordings in a throwaway folder.

// How the test answers the next dialog: the words typed and the button clicked.
struct Answer {
    QString key;
    QString retyped;
    bool ok = true;
};

class ProtectionCommandsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_audio = AudioFixtures::mpegStream(3.0); }

    void SetUp() override
    {
        ASSERT_FALSE(s_audio.isEmpty());
        folder = env.root() + QStringLiteral("rec/");
        ASSERT_TRUE(QDir().mkpath(folder));
        makeRecording(QStringLiteral("Alpha"), 0, QStringLiteral("first call"));
        makeRecording(QStringLiteral("Bravo"), 10, QStringLiteral("second call"));
        makeRecording(QStringLiteral("Charlie"), 20, QString());

        layout = std::make_unique<RecorderLayout>(&window);
        list.setFolder(folder);
        ASSERT_TRUE(list.LoadList());
        view = std::make_unique<RecordingListView>(
            *layout, list, messages, [](const QString&) { return false; }, &window);
        playback = std::make_unique<PlaybackControls>(*layout, player, messages, &window,
                                                      [] { return false; });
        commands = std::make_unique<ProtectionCommands>(
            list, *view, *playback, messages, &window,
            [this](QDialog& dialog) { return answer(dialog); });
        // Wired as the window wires them.
        QObject::connect(playback.get(), &PlaybackControls::playingChanged, view.get(),
                         &RecordingListView::setPlayingRecording);
        QObject::connect(playback.get(), &PlaybackControls::protectedPlayRequested, commands.get(),
                         &ProtectionCommands::PlayProtected);
        window.show();
        view->FillRecordingList(QString(), 0);
    }

    void makeRecording(const QString& name, int minute, const QString& notes)
    {
        RecordingEntry entry = TaggedRecording::entry(
            folder, name, OleDate::fromDateTime(QDateTime(QDate(2024, 3, 5), QTime(9, minute))));
        entry.notes = notes;
        ASSERT_TRUE(TaggedRecording::write(entry, s_audio));
        ASSERT_GT(entry.duration, 0.0);
    }

    // Answers a dialog as a person would, from the queue of answers.
    int answer(QDialog& dialog)
    {
        asked << dialog.objectName();
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
            return QDialog::Rejected;
        }
        const Answer next = answers.front();
        answers.pop_front();
        dialog.show();
        QPushButton* ok = nullptr;
        QPushButton* cancel = nullptr;
        if (auto* protect = qobject_cast<ProtectDialog*>(&dialog)) {
            shownLabels << protect->recordingLabel()->text();
            QTest::keyClicks(protect->keyEdit(), next.key);
            QTest::keyClicks(protect->retypeEdit(), next.retyped);
            ok = protect->okButton();
            cancel = protect->cancelButton();
        } else if (auto* keyWord = qobject_cast<KeyWordDialog*>(&dialog)) {
            shownLabels << keyWord->recordingLabel()->text();
            QTest::keyClicks(keyWord->keyEdit(), next.key);
            ok = keyWord->okButton();
            cancel = keyWord->cancelButton();
        }
        if (ok == nullptr) {
            ADD_FAILURE() << "not a protection dialog";
            return QDialog::Rejected;
        }
        (next.ok ? ok : cancel)->click();
        return dialog.result();
    }

    void protectWith(const QString& key) { answers.push_back({key, key, true}); }
    void unlockWith(const QString& key) { answers.push_back({key, QString(), true}); }
    void cancelNext() { answers.push_back({QString(), QString(), false}); }

    QTreeView* tree() const { return layout->list(); }
    void select(const QString& name)
    {
        const int row = view->FindRowByName(name);
        ASSERT_GE(row, 0);
        tree()->selectionModel()->setCurrentIndex(tree()->model()->index(row, 0),
                                                  QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
        ASSERT_EQ(view->currentRecording(), list.FindByName(name));
    }
    QVariant cell(const QString& name, int column, int role = Qt::DisplayRole) const
    {
        return tree()->model()->index(view->FindRowByName(name), column).data(role);
    }
    QString protectedCell(const QString& name) const
    {
        return cell(name, RecordingListView::ProtectedColumn).toString();
    }
    QString path(const QString& name) const { return folder + name + QStringLiteral(".mp3"); }
    QString copyPath(const QString& name) const { return folder + name + QStringLiteral(".prl"); }

    static inline QByteArray s_audio;
    TestEnvironment env;
    QString folder;
    QWidget window;
    RecordedMessages messages;
    std::unique_ptr<RecorderLayout> layout;
    RecordingList list;
    CPlaySound player;
    std::unique_ptr<RecordingListView> view;
    std::unique_ptr<PlaybackControls> playback;
    std::unique_ptr<ProtectionCommands> commands;
    std::deque<Answer> answers;
    QStringList asked;
    QStringList shownLabels;
};

TEST_F(ProtectionCommandsTest, ProtectThenUnprotectGivesBackTheAudioByteForByte)
{
    select(QStringLiteral("Alpha"));
    RecordingEntry* alpha = list.FindByName(QStringLiteral("Alpha"));
    const double duration = alpha->duration;
    const QString tagDuration = tagText(path("Alpha"), "TLEN");
    ASSERT_EQ(afterTag(path("Alpha")), s_audio);

    protectWith(QStringLiteral("Secret7"));
    EXPECT_TRUE(commands->ToggleProtection(false));
    EXPECT_EQ(asked, QStringList({QStringLiteral("ProtectDialog")}));
    EXPECT_EQ(shownLabels, QStringList({StringTable::text(130) + QStringLiteral("Alpha")}));
    EXPECT_TRUE(alpha->isProtected);
    EXPECT_EQ(alpha->state, RecordingEntry::Saved);
    EXPECT_EQ(protectedCell(QStringLiteral("Alpha")), QStringLiteral("Si"));
    EXPECT_EQ(tagText(path("Alpha"), "TXXX"), QStringLiteral("Protetta"));
    const QByteArray scrambled = afterTag(path("Alpha"));
    EXPECT_NE(scrambled, s_audio);
    EXPECT_TRUE(Protection::checkBlockMatches(scrambled, QByteArray("Secret7")));
    EXPECT_EQ(alpha->fileSize, QFileInfo(path("Alpha")).size());
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));

    unlockWith(QStringLiteral("Secret7"));
    EXPECT_TRUE(commands->ToggleProtection(false));
    EXPECT_EQ(asked.last(), QStringLiteral("KeyWordDialog"));
    EXPECT_EQ(shownLabels.last(), QStringLiteral("Alpha"));
    EXPECT_FALSE(alpha->isProtected);
    EXPECT_EQ(protectedCell(QStringLiteral("Alpha")), QStringLiteral("No"));
    EXPECT_EQ(afterTag(path("Alpha")), s_audio);
    // The tag is rebuilt from the entry, and the scrambled audio never spoiled its length.
    EXPECT_EQ(tagText(path("Alpha"), "TXXX"), QStringLiteral("Non Protetta"));
    EXPECT_EQ(tagText(path("Alpha"), "COMM"), QStringLiteral("first call"));
    EXPECT_EQ(tagText(path("Alpha"), "TLEN"), tagDuration);
    EXPECT_EQ(alpha->duration, duration);
    EXPECT_EQ(alpha->fileSize, QFileInfo(path("Alpha")).size());
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));
    EXPECT_TRUE(messages.texts.isEmpty());

    // The index carries the state to the next start.
    list.Clear();
    ASSERT_TRUE(list.LoadList(folder));
    ASSERT_NE(list.FindByName(QStringLiteral("Alpha")), nullptr);
    EXPECT_FALSE(list.FindByName(QStringLiteral("Alpha"))->isProtected);
    EXPECT_EQ(list.FindByName(QStringLiteral("Alpha"))->duration, duration);
}

TEST_F(ProtectionCommandsTest, AWrongKeyWordOrCancelChangesNothing)
{
    select(QStringLiteral("Bravo"));
    RecordingEntry* bravo = list.FindByName(QStringLiteral("Bravo"));
    cancelNext();
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(afterTag(path("Bravo")), s_audio);
    EXPECT_FALSE(bravo->isProtected);
    EXPECT_EQ(bravo->keyWord, ProtectionCommands::dialogMarker());

    protectWith(QStringLiteral("Secret7"));
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray file = AudioFixtures::readFile(path("Bravo"));

    // Key words differing only in case do not unlock each other.
    const double duration = bravo->duration;
    const QString durationCell =
        cell(QStringLiteral("Bravo"), RecordingListView::DurationColumn).toString();
    unlockWith(QStringLiteral("secret7"));
    EXPECT_FALSE(commands->ToggleProtection(false));
    // The scrambled audio cannot be measured: the length stays the known one.
    EXPECT_EQ(bravo->duration, duration);
    EXPECT_EQ(cell(QStringLiteral("Bravo"), RecordingListView::DurationColumn).toString(),
              durationCell);
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(68)}));
    EXPECT_EQ(messages.icons, QList<MessagePresenter::Icon>({MessagePresenter::Icon::Error}));
    EXPECT_EQ(AudioFixtures::readFile(path("Bravo")), file);
    EXPECT_TRUE(bravo->isProtected);
    EXPECT_EQ(protectedCell(QStringLiteral("Bravo")), QStringLiteral("Si"));
    EXPECT_FALSE(QFileInfo::exists(copyPath("Bravo")));

    messages.clear();
    cancelNext();
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(asked.last(), QStringLiteral("KeyWordDialog"));
    EXPECT_EQ(AudioFixtures::readFile(path("Bravo")), file);
    EXPECT_TRUE(bravo->isProtected);
    EXPECT_EQ(bravo->keyWord, ProtectionCommands::dialogMarker());
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_TRUE(answers.empty());
}

TEST_F(ProtectionCommandsTest, ARecordingInUseIsRefusedWithoutADialog)
{
    select(QStringLiteral("Charlie"));
    list.FindByName(QStringLiteral("Charlie"))->state = RecordingEntry::Recording;
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(301)}));
    EXPECT_EQ(messages.icons, QList<MessagePresenter::Icon>({MessagePresenter::Icon::Error}));
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(afterTag(path("Charlie")), s_audio);
}

TEST_F(ProtectionCommandsTest, SeveralSelectedRecordingsShareOneKeyWordAndProtectedOnesAreSkipped)
{
    select(QStringLiteral("Charlie"));
    protectWith(QStringLiteral("charlie-key"));
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray charlie = AudioFixtures::readFile(path("Charlie"));

    tree()->selectAll();
    ASSERT_EQ(view->selectedRecordings().size(), 3);
    protectWith(QStringLiteral("shared"));
    commands->ProtectCommand();
    EXPECT_EQ(asked,
              QStringList({QStringLiteral("ProtectDialog"), QStringLiteral("ProtectDialog")}));
    EXPECT_EQ(shownLabels.last(), StringTable::text(130)) << "no recording is named";
    for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Bravo")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(list.FindByName(name)->isProtected);
        EXPECT_EQ(protectedCell(name), QStringLiteral("Si"));
        EXPECT_EQ(tagText(path(name), "TXXX"), QStringLiteral("Protetta"));
        EXPECT_TRUE(Protection::checkBlockMatches(afterTag(path(name)), QByteArray("shared")));
    }
    EXPECT_EQ(AudioFixtures::readFile(path("Charlie")), charlie);
    EXPECT_TRUE(messages.texts.isEmpty());

    // With nothing left to protect, the command removes the current recording's protection.
    tree()->selectAll();
    RecordingEntry* current = view->currentRecording();
    ASSERT_NE(current, nullptr);
    unlockWith(QStringLiteral("shared"));
    if (current->name == QStringLiteral("Charlie"))
        answers.back().key = QStringLiteral("charlie-key");
    commands->ProtectCommand();
    EXPECT_EQ(asked.last(), QStringLiteral("KeyWordDialog"));
    EXPECT_FALSE(current->isProtected);
    EXPECT_EQ(afterTag(path(current->name)), s_audio);
    EXPECT_EQ(std::count_if(list.entries().begin(), list.entries().end(),
                            [](const auto& entry) { return entry->isProtected; }),
              2);
}

TEST_F(ProtectionCommandsTest, ClearCopiesLeftByACrashGoWhenTheFolderOpens)
{
    select(QStringLiteral("Alpha"));
    protectWith(QStringLiteral("secret1"));
    commands->ToggleProtection(false);
    ASSERT_TRUE(list.FindByName(QStringLiteral("Alpha"))->isProtected);
    // A crash during the playback of Alpha left its decoded copy, a kill during the protection
    // of Bravo its unfinished output: both recordings are whole in their own files.
    ASSERT_TRUE(AudioFixtures::writeFile(copyPath(QStringLiteral("Alpha")), s_audio));
    ASSERT_TRUE(AudioFixtures::writeFile(copyPath(QStringLiteral("Bravo")), s_audio.left(100)));

    EXPECT_TRUE(LeftoverRecovery::recover(list, folder).isEmpty());
    EXPECT_FALSE(QFile::exists(copyPath(QStringLiteral("Alpha"))));
    EXPECT_FALSE(QFile::exists(copyPath(QStringLiteral("Bravo"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("Alpha"))));
    EXPECT_EQ(afterTag(path(QStringLiteral("Bravo"))), s_audio);
}

TEST_F(ProtectionCommandsTest, AProtectionThatCannotBeWrittenIsReportedAndChangesNothing)
{
    // A folder in the place of the protection's output makes it fail before the recording is
    // touched.
    const QString blocker = copyPath(QStringLiteral("Alpha"));
    ASSERT_TRUE(QDir().mkpath(blocker));
    ASSERT_TRUE(AudioFixtures::writeFile(blocker + QStringLiteral("/keep"), "x"));
    select(QStringLiteral("Alpha"));
    RecordingEntry* alpha = list.FindByName(QStringLiteral("Alpha"));
    const QByteArray clear = AudioFixtures::readFile(path("Alpha"));

    protectWith(QStringLiteral("Secret7"));
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(67)}));
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), clear);
    EXPECT_FALSE(alpha->isProtected);
    EXPECT_EQ(protectedCell(QStringLiteral("Alpha")), QStringLiteral("No"));

    ASSERT_TRUE(QDir(blocker).removeRecursively());
    protectWith(QStringLiteral("Secret7"));
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray scrambled = AudioFixtures::readFile(path("Alpha"));
    ASSERT_TRUE(QDir().mkpath(blocker));
    ASSERT_TRUE(AudioFixtures::writeFile(blocker + QStringLiteral("/keep"), "x"));
    messages.clear();
    unlockWith(QStringLiteral("Secret7"));
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), scrambled);
    EXPECT_EQ(tagText(path("Alpha"), "TXXX"), QStringLiteral("Protetta"));
    EXPECT_TRUE(alpha->isProtected);
    EXPECT_EQ(protectedCell(QStringLiteral("Alpha")), QStringLiteral("Si"));
}

// ---- Playing protected recordings, on the real player and the private audio server.

class ProtectionPlaybackTest : public ProtectionCommandsTest {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
        ProtectionCommandsTest::SetUp();
    }

    long long playerLength() const
    {
        long long length = 0;
        long long position = 0;
        player.GetLengthAndPosition(length, position);
        return length;
    }
};

TEST_F(ProtectionPlaybackTest, EachPlayAsksForTheKeyWordAndStoppingDeletesTheDecodedCopy)
{
    select(QStringLiteral("Alpha"));
    RecordingEntry* alpha = list.FindByName(QStringLiteral("Alpha"));
    protectWith(QStringLiteral("Secret7"));
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray file = AudioFixtures::readFile(path("Alpha"));

    unlockWith(QStringLiteral("Secret7"));
    playback->Play(alpha);
    EXPECT_EQ(asked.last(), QStringLiteral("KeyWordDialog"));
    ASSERT_TRUE(playback->isPlaying());
    EXPECT_EQ(playback->playingRecording(), alpha);
    // The player has the decoded audio, untagged, while the recording stays protected.
    EXPECT_EQ(AudioFixtures::readFile(copyPath("Alpha")), s_audio);
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), file);
    EXPECT_TRUE(alpha->isProtected);
    EXPECT_NEAR(static_cast<double>(playerLength()), 3000.0, 300.0);
    playback->Stop();
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));

    // The key word is asked again on the next play; a wrong one plays nothing.
    unlockWith(QStringLiteral("Secret8"));
    playback->Play(alpha);
    EXPECT_EQ(asked.size(), 3);
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_EQ(playback->playingRecording(), nullptr);
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(68)}));
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));

    cancelNext();
    playback->Play(alpha);
    EXPECT_EQ(asked.size(), 4);
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), file);

    // A decoded copy that plays to its end goes too.
    unlockWith(QStringLiteral("Secret7"));
    playback->Play(alpha);
    ASSERT_TRUE(playback->isPlaying());
    ASSERT_TRUE(waitFor([&] { return !playback->isPlaying(); }, 15000));
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));
    EXPECT_EQ(protectedCell(QStringLiteral("Alpha")), QStringLiteral("Si"));
}

TEST_F(ProtectionPlaybackTest, ProtectingThePlayingRecordingStopsItFirst)
{
    select(QStringLiteral("Bravo"));
    RecordingEntry* bravo = list.FindByName(QStringLiteral("Bravo"));
    playback->Play(bravo);
    ASSERT_TRUE(playback->isPlaying());
    ASSERT_EQ(view->playingRecording(), bravo);

    protectWith(QStringLiteral("Secret7"));
    EXPECT_TRUE(commands->ToggleProtection(false));
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_EQ(view->playingRecording(), nullptr);
    EXPECT_TRUE(bravo->isProtected);
    EXPECT_TRUE(Protection::checkBlockMatches(afterTag(path("Bravo")), QByteArray("Secret7")));
    EXPECT_EQ(cell(QStringLiteral("Bravo"), RecordingListView::ImageColumn, Qt::UserRole).toInt(),
              RecordingListView::Protected);
}

// ---- The whole window: its Protect button and a double-click reach the commands, whose dialogs
// run modally (exec) and are answered from a timer.

class ProtectionWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private audio server that ./test starts (PULSE_SERVER)";
        folder = env.root() + QStringLiteral("calls/");
        ASSERT_TRUE(QDir().mkpath(folder));
        audio = AudioFixtures::mpegStream(3.0);
        RecordingEntry entry =
            TaggedRecording::entry(folder, QStringLiteral("Alpha"), OleDate::now());
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
        TestEnvironment::writeSettingsFile(env.userSettingsFile(),
                                           {"WorkDir=" + folder, "AvviaInAutoReg=0"});
        // Nothing is recorded: a second of silence stands in for the microphone.
        microphone = env.root() + QStringLiteral("silence.wav");
        ASSERT_TRUE(AudioFixtures::writeWav(microphone, QByteArray(64000, '\0'), 32000));
    }

    void run(const std::function<void(CRecorderDlg&)>& whileRunning)
    {
        CRecorderApp app(messages, env.lockFile(), CRecordSound::wavFile(microphone));
        QObject::connect(&app, &CRecorderApp::windowStarted, [&](CRecorderDlg* window) {
            whileRunning(*window);
            window->OnClose();
        });
        app.InitInstance();
    }

    TestEnvironment env;
    QString folder;
    QString microphone;
    QByteArray audio;
    RecordedMessages messages;
};

TEST_F(ProtectionWindowTest, TheProtectButtonAndADoubleClickAskForTheKeyWord)
{
    const QString mp3 = folder + QStringLiteral("Alpha.mp3");
    const QString copy = folder + QStringLiteral("Alpha.prl");
    run([&](CRecorderDlg& window) {
        QTreeView* tree = window.findChild<QTreeView*>(QStringLiteral("RecordingList"));
        ASSERT_EQ(tree->model()->rowCount(), 1);
        auto* protect = window.findChild<QAbstractButton*>(QStringLiteral("Protect"));
        ASSERT_NE(protect, nullptr);
        ASSERT_TRUE(protect->isEnabled());

        answerWhenShown<ProtectDialog>([](ProtectDialog& dialog) {
            QTest::keyClicks(dialog.keyEdit(), QStringLiteral("Secret7"));
            QTest::keyClicks(dialog.retypeEdit(), QStringLiteral("Secret7"));
            dialog.okButton()->click();
        });
        QTest::mouseClick(protect, Qt::LeftButton);
        EXPECT_EQ(tree->model()->index(0, RecordingListView::ProtectedColumn).data().toString(),
                  QStringLiteral("Si"));
        EXPECT_TRUE(Protection::checkBlockMatches(
            AudioFixtures::readFile(mp3).mid(*Id3Tag::audioOffset(mp3)), QByteArray("Secret7")));

        answerWhenShown<KeyWordDialog>([](KeyWordDialog& dialog) {
            QTest::keyClicks(dialog.keyEdit(), QStringLiteral("Secret7"));
            dialog.okButton()->click();
        });
        const QRect row = tree->visualRect(tree->model()->index(0, 1));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row.center());
        ASSERT_TRUE(window.playback()->isPlaying());
        EXPECT_EQ(AudioFixtures::readFile(copy), audio);

        QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("StopPlay")),
                          Qt::LeftButton);
        EXPECT_FALSE(window.playback()->isPlaying());
        EXPECT_FALSE(QFileInfo::exists(copy));
    });
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace
