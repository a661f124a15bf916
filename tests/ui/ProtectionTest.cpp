#include "store/Protection.h"
#include "audio/CPlaySound.h"
#include "audio/CRecordSound.h"
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

using namespace Qt::StringLiterals;

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

// OK must open only for six equal masked characters, or six shown in clear.
TEST_F(ProtectionDialogsTest,
       ProtectDialogMasksWithStarsAndEnablesOkForSixEqualCharactersOrAShownKeyWord)
{
    ProtectDialog dialog(u"Call"_s, messages);
    dialog.show();
    for (QLineEdit* edit : {dialog.keyEdit(), dialog.retypeEdit()}) {
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(maskCharacter(edit), QChar(u'*'));
    }
    QTest::keyClicks(dialog.keyEdit(), u"abcde"_s);
    QTest::keyClicks(dialog.retypeEdit(), u"abcde"_s);
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    QTest::keyClicks(dialog.keyEdit(), u"f"_s);
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "the re-typed word still differs";
    QTest::keyClicks(dialog.retypeEdit(), u"f"_s);
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
    QTest::keyClicks(dialog.keyEdit(), u"xy"_s);

    // Masked again, the re-type field takes the key word.
    dialog.showKeyBox()->click();
    EXPECT_EQ(dialog.keyEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.retypeEdit()->text(), u"abcdexy"_s);
    EXPECT_TRUE(dialog.okButton()->isEnabled());

    // With the box ticked a different re-typed word is ignored.
    dialog.retypeEdit()->setText(u"something else"_s);
    dialog.showKeyBox()->click();
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.keyWord(), u"abcdexy"_s);
    EXPECT_TRUE(messages.texts.isEmpty());
}

// A key word with a star, too short, mistyped or too long must be refused with its message,
// also through accept() where OK is disabled.
TEST_F(ProtectionDialogsTest, ProtectDialogRefusesBadKeyWordsAndStaysOpen)
{
    ProtectDialog dialog(u"Call"_s, messages);
    dialog.show();
    const std::vector<std::tuple<QString, QString, int>> refused = {
        {u"abc*def"_s, u"abc*def"_s, 62},
        {u"a*"_s, u"a*"_s, 62}, // a star is told before the length
        {u"abcde"_s, u"abcde"_s, 63},
        {u"abcdef"_s, u"abcdeg"_s, 64},
        {QString(1000, u'k'), QString(1000, u'k'), 500},
        {u"secret*"_s, u"secret*"_s, 62}, // through the enabled OK button
    };
    for (const auto& [key, retyped, message] : refused) {
        SCOPED_TRACE(key.left(10).toStdString());
        messages.clear();
        dialog.keyEdit()->setText(key);
        dialog.retypeEdit()->setText(retyped);
        if (dialog.okButton()->isEnabled())
            dialog.okButton()->click();
        else
            dialog.accept();
        EXPECT_EQ(messages.texts, QStringList({StringTable::text(message)}));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.keyWord().isEmpty());
    }
    messages.clear();
    dialog.keyEdit()->setText(u"secret"_s);
    dialog.retypeEdit()->setText(u"secret"_s);
    dialog.accept();
    EXPECT_EQ(dialog.keyWord(), u"secret"_s);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(messages.texts.isEmpty());
}

// The unlocking dialog takes any six characters (stars too), masked; Cancel gives no word.
TEST_F(ProtectionDialogsTest, KeyWordDialogTakesAnyTextOfSixCharacters)
{
    KeyWordDialog dialog(u"Call with Anna"_s);
    dialog.show();
    EXPECT_EQ(dialog.keyEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(maskCharacter(dialog.keyEdit()), QChar(u'*'));
    QTest::keyClicks(dialog.keyEdit(), u"a*c*e"_s);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    QTest::keyClicks(dialog.keyEdit(), u"*"_s);
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.keyWord(), u"a*c*e*"_s);

    KeyWordDialog cancelled(u"Call"_s);
    cancelled.show();
    QTest::keyClicks(cancelled.keyEdit(), u"secret"_s);
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
        folder = env.root() + u"rec/"_s;
        ASSERT_TRUE(QDir().mkpath(folder));
        makeRecording(u"Alpha"_s, 0, u"first call"_s);
        makeRecording(u"Bravo"_s, 10, u"second call"_s);
        makeRecording(u"Charlie"_s, 20, QString());

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
    QString path(const QString& name) const { return folder + name + u".mp3"_s; }
    QString copyPath(const QString& name) const { return folder + name + u".prl"_s; }

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

// Protecting then unprotecting must give back the audio byte for byte, rebuild the tag from the
// entry, keep the length, and carry the state through the index.
TEST_F(ProtectionCommandsTest, ProtectThenUnprotectGivesBackTheAudioByteForByte)
{
    select(u"Alpha"_s);
    RecordingEntry* alpha = list.FindByName(u"Alpha"_s);
    const double duration = alpha->duration;
    const QString tagDuration = tagText(path("Alpha"), "TLEN");

    protectWith(u"Secret7"_s);
    EXPECT_TRUE(commands->ToggleProtection(false));
    EXPECT_EQ(shownLabels, QStringList({StringTable::text(130) + u"Alpha"_s}));
    EXPECT_TRUE(alpha->isProtected);
    EXPECT_EQ(protectedCell(u"Alpha"_s), u"Si"_s);
    EXPECT_EQ(tagText(path("Alpha"), "TXXX"), u"Protetta"_s);
    const QByteArray scrambled = afterTag(path("Alpha"));
    EXPECT_NE(scrambled, s_audio);
    EXPECT_TRUE(Protection::checkBlockMatches(scrambled, QByteArray("Secret7")));
    EXPECT_EQ(alpha->fileSize, QFileInfo(path("Alpha")).size());

    unlockWith(u"Secret7"_s);
    EXPECT_TRUE(commands->ToggleProtection(false));
    EXPECT_EQ(asked.last(), u"KeyWordDialog"_s);
    EXPECT_EQ(shownLabels.last(), u"Alpha"_s);
    EXPECT_FALSE(alpha->isProtected);
    EXPECT_EQ(protectedCell(u"Alpha"_s), u"No"_s);
    EXPECT_EQ(afterTag(path("Alpha")), s_audio);
    EXPECT_EQ(tagText(path("Alpha"), "TXXX"), u"Non Protetta"_s);
    EXPECT_EQ(tagText(path("Alpha"), "COMM"), u"first call"_s);
    EXPECT_EQ(tagText(path("Alpha"), "TLEN"), tagDuration);
    EXPECT_EQ(alpha->duration, duration);
    EXPECT_EQ(alpha->fileSize, QFileInfo(path("Alpha")).size());
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));
    EXPECT_TRUE(messages.texts.isEmpty());

    list.Clear();
    ASSERT_TRUE(list.LoadList(folder));
    ASSERT_NE(list.FindByName(u"Alpha"_s), nullptr);
    EXPECT_FALSE(list.FindByName(u"Alpha"_s)->isProtected);
    EXPECT_EQ(list.FindByName(u"Alpha"_s)->duration, duration);
}

// Cancel, or a key word wrong only in case, must change neither file, entry nor shown length.
TEST_F(ProtectionCommandsTest, AWrongKeyWordOrCancelChangesNothing)
{
    select(u"Bravo"_s);
    RecordingEntry* bravo = list.FindByName(u"Bravo"_s);
    cancelNext();
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(afterTag(path("Bravo")), s_audio);
    EXPECT_FALSE(bravo->isProtected);
    EXPECT_EQ(bravo->keyWord, ProtectionCommands::dialogMarker());

    protectWith(u"Secret7"_s);
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray file = AudioFixtures::readFile(path("Bravo"));
    const double duration = bravo->duration;
    const auto durationCell = [&] {
        return cell(u"Bravo"_s, RecordingListView::DurationColumn).toString();
    };
    const QString shownDuration = durationCell();
    unlockWith(u"secret7"_s);
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(bravo->duration, duration);
    EXPECT_EQ(durationCell(), shownDuration);
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(68)}));
    EXPECT_EQ(AudioFixtures::readFile(path("Bravo")), file);
    EXPECT_TRUE(bravo->isProtected);
    EXPECT_FALSE(QFileInfo::exists(copyPath("Bravo")));

    messages.clear();
    cancelNext();
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(AudioFixtures::readFile(path("Bravo")), file);
    EXPECT_TRUE(bravo->isProtected);
    EXPECT_EQ(bravo->keyWord, ProtectionCommands::dialogMarker());
    EXPECT_TRUE(messages.texts.isEmpty());
}

// A recording being recorded must not be protected under the recorder.
TEST_F(ProtectionCommandsTest, ARecordingInUseIsRefusedWithoutADialog)
{
    select(u"Charlie"_s);
    list.FindByName(u"Charlie"_s)->state = RecordingEntry::Recording;
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(301)}));
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(afterTag(path("Charlie")), s_audio);
}

// Several recordings share one key word; one already protected must not be scrambled twice.
TEST_F(ProtectionCommandsTest, SeveralSelectedRecordingsShareOneKeyWordAndProtectedOnesAreSkipped)
{
    select(u"Charlie"_s);
    protectWith(u"charlie-key"_s);
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray charlie = AudioFixtures::readFile(path("Charlie"));

    tree()->selectAll();
    protectWith(u"shared"_s);
    commands->ProtectCommand();
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(shownLabels.last(), StringTable::text(130)) << "no recording is named";
    for (const QString& name : {u"Alpha"_s, u"Bravo"_s}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(list.FindByName(name)->isProtected);
        EXPECT_EQ(protectedCell(name), u"Si"_s);
        EXPECT_TRUE(Protection::checkBlockMatches(afterTag(path(name)), QByteArray("shared")));
    }
    EXPECT_EQ(AudioFixtures::readFile(path("Charlie")), charlie);
    EXPECT_TRUE(messages.texts.isEmpty());

    // With nothing left to protect, the command removes the current recording's protection.
    tree()->selectAll();
    RecordingEntry* current = view->currentRecording();
    ASSERT_NE(current, nullptr);
    unlockWith(current->name == u"Charlie"_s ? u"charlie-key"_s : u"shared"_s);
    commands->ProtectCommand();
    EXPECT_EQ(asked.last(), u"KeyWordDialog"_s);
    EXPECT_FALSE(current->isProtected);
    EXPECT_EQ(afterTag(path(current->name)), s_audio);
    EXPECT_EQ(std::count_if(list.entries().begin(), list.entries().end(),
                            [](const auto& entry) { return entry->isProtected; }),
              2);
}

// A failed protection must be reported and leave file, entry and list as they were.
TEST_F(ProtectionCommandsTest, AProtectionThatCannotBeWrittenIsReportedAndChangesNothing)
{
    // A folder in the place of the protection's output makes it fail.
    const QString blocker = copyPath(u"Alpha"_s);
    ASSERT_TRUE(QDir().mkpath(blocker));
    ASSERT_TRUE(AudioFixtures::writeFile(blocker + u"/keep"_s, "x"));
    select(u"Alpha"_s);
    RecordingEntry* alpha = list.FindByName(u"Alpha"_s);
    const QByteArray clear = AudioFixtures::readFile(path("Alpha"));

    protectWith(u"Secret7"_s);
    EXPECT_FALSE(commands->ToggleProtection(false));
    EXPECT_EQ(messages.texts, QStringList({StringTable::text(67)}));
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), clear);
    EXPECT_FALSE(alpha->isProtected);
    EXPECT_EQ(protectedCell(u"Alpha"_s), u"No"_s);
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

// Each play must ask for the key word and play a decoded copy that goes when the play ends,
// stopped or run out; a wrong word or Cancel plays nothing and leaves no copy.
TEST_F(ProtectionPlaybackTest, EachPlayAsksForTheKeyWordAndStoppingDeletesTheDecodedCopy)
{
    select(u"Alpha"_s);
    RecordingEntry* alpha = list.FindByName(u"Alpha"_s);
    protectWith(u"Secret7"_s);
    ASSERT_TRUE(commands->ToggleProtection(false));
    const QByteArray file = AudioFixtures::readFile(path("Alpha"));

    unlockWith(u"Secret7"_s);
    playback->Play(alpha);
    ASSERT_TRUE(playback->isPlaying());
    EXPECT_EQ(playback->playingRecording(), alpha);
    EXPECT_EQ(AudioFixtures::readFile(copyPath("Alpha")), s_audio);
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), file);
    EXPECT_NEAR(static_cast<double>(playerLength()), 3000.0, 300.0);
    playback->Stop();
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));

    unlockWith(u"Secret8"_s);
    cancelNext();
    for (int attempt = 0; attempt < 2; ++attempt) {
        playback->Play(alpha);
        EXPECT_FALSE(playback->isPlaying());
        EXPECT_EQ(playback->playingRecording(), nullptr);
        EXPECT_EQ(messages.texts, QStringList({StringTable::text(68)}));
        EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));
    }
    EXPECT_EQ(asked.size(), 4);
    EXPECT_EQ(AudioFixtures::readFile(path("Alpha")), file);

    unlockWith(u"Secret7"_s);
    playback->Play(alpha);
    ASSERT_TRUE(playback->isPlaying());
    ASSERT_TRUE(waitFor([&] { return !playback->isPlaying(); }, 15000));
    EXPECT_FALSE(QFileInfo::exists(copyPath("Alpha")));
    EXPECT_TRUE(alpha->isProtected);
}

// Protecting the playing recording must stop the player before its file is rewritten.
TEST_F(ProtectionPlaybackTest, ProtectingThePlayingRecordingStopsItFirst)
{
    select(u"Bravo"_s);
    RecordingEntry* bravo = list.FindByName(u"Bravo"_s);
    playback->Play(bravo);
    ASSERT_TRUE(playback->isPlaying());
    protectWith(u"Secret7"_s);
    EXPECT_TRUE(commands->ToggleProtection(false));
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_EQ(view->playingRecording(), nullptr);
    EXPECT_TRUE(Protection::checkBlockMatches(afterTag(path("Bravo")), QByteArray("Secret7")));
    EXPECT_EQ(cell(u"Bravo"_s, RecordingListView::ImageColumn, Qt::UserRole).toInt(),
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
        folder = env.root() + u"calls/"_s;
        ASSERT_TRUE(QDir().mkpath(folder));
        audio = AudioFixtures::mpegStream(3.0);
        RecordingEntry entry = TaggedRecording::entry(folder, u"Alpha"_s, OleDate::now());
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
        TestEnvironment::writeSettingsFile(env.userSettingsFile(),
                                           {"WorkDir=" + folder, "AvviaInAutoReg=0"});
        // Nothing is recorded: a second of silence stands in for the microphone.
        microphone = env.root() + u"silence.wav"_s;
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
    const QString mp3 = folder + u"Alpha.mp3"_s;
    const QString copy = folder + u"Alpha.prl"_s;
    run([&](CRecorderDlg& window) {
        QTreeView* tree = window.findChild<QTreeView*>(u"RecordingList"_s);
        ASSERT_EQ(tree->model()->rowCount(), 1);
        auto* protect = window.findChild<QAbstractButton*>(u"Protect"_s);
        ASSERT_NE(protect, nullptr);
        ASSERT_TRUE(protect->isEnabled());

        answerWhenShown<ProtectDialog>([](ProtectDialog& dialog) {
            QTest::keyClicks(dialog.keyEdit(), u"Secret7"_s);
            QTest::keyClicks(dialog.retypeEdit(), u"Secret7"_s);
            dialog.okButton()->click();
        });
        QTest::mouseClick(protect, Qt::LeftButton);
        EXPECT_EQ(tree->model()->index(0, RecordingListView::ProtectedColumn).data().toString(),
                  u"Si"_s);
        EXPECT_TRUE(Protection::checkBlockMatches(
            AudioFixtures::readFile(mp3).mid(*Id3Tag::audioOffset(mp3)), QByteArray("Secret7")));

        answerWhenShown<KeyWordDialog>([](KeyWordDialog& dialog) {
            QTest::keyClicks(dialog.keyEdit(), u"Secret7"_s);
            dialog.okButton()->click();
        });
        const QRect row = tree->visualRect(tree->model()->index(0, 1));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row.center());
        ASSERT_TRUE(window.playback()->isPlaying());
        EXPECT_EQ(AudioFixtures::readFile(copy), audio);

        QTest::mouseClick(window.findChild<QAbstractButton*>(u"StopPlay"_s), Qt::LeftButton);
        EXPECT_FALSE(window.playback()->isPlaying());
        EXPECT_FALSE(QFileInfo::exists(copy));
    });
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace
