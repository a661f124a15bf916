#include "ui/ImportCommand.h"

#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "ui/RecorderLayout.h"
#include "ui/RecordingListView.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

namespace {

class ImportCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.root() + QStringLiteral("rec/");
        sources = env.root() + QStringLiteral("src/");
        fallback = env.root() + QStringLiteral("fallback/");
        for (const QString& path : {folder, sources, fallback})
            QDir().mkpath(path);
        layout = std::make_unique<RecorderLayout>(&window);
        list.setFolder(folder);
        ASSERT_TRUE(list.LoadList());
        view = std::make_unique<RecordingListView>(*layout, list, messages, nullptr, &window);
        view->FillRecordingList(QString(), 0);
        command = std::make_unique<ImportCommand>(
            list, *view, messages, &window, fallback, [this](QFileDialog& dialog) {
                shownIn = dialog.directory().absolutePath() + u'/';
                title = dialog.windowTitle();
                if (chosen.isEmpty()) {
                    dialog.reject();
                } else {
                    dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                        ->setText(u'"' + chosen.join(QStringLiteral("\" \"")) + u'"');
                    QMetaObject::invokeMethod(&dialog, "accept");
                }
                return dialog.result();
            });
    }

    /// A tagged recording `file` in the sources folder carrying `notes`.
    QString source(const QString& file, const QString& notes = QString())
    {
        const QString base = QFileInfo(file).completeBaseName();
        RecordingEntry entry = TaggedRecording::entry(sources, base, OleDate::now());
        entry.notes = notes;
        EXPECT_TRUE(TaggedRecording::write(entry, AudioFixtures::mpegStream(1.0)));
        EXPECT_TRUE(entry.filePath() == sources + file ||
                    QFile::rename(entry.filePath(), sources + file));
        return sources + file;
    }

    void import(const QStringList& paths, bool pending = false)
    {
        chosen = paths;
        realignmentPending = pending;
        command->ImportRecordings(realignmentPending);
    }

    QString notesOf(const QString& name) const
    {
        const RecordingEntry* entry = list.FindByNameIgnoringCase(name);
        return entry ? entry->notes : QStringLiteral("<none>");
    }
    QString selected() const
    {
        return view->currentRecording() ? view->currentRecording()->name : QString();
    }

    TestEnvironment env;
    QString folder;
    QString sources;
    QString fallback;
    RecordedMessages messages;
    QWidget window;
    std::unique_ptr<RecorderLayout> layout;
    RecordingList list;
    std::unique_ptr<RecordingListView> view;
    std::unique_ptr<ImportCommand> command;
    QStringList chosen; ///< what the dialog is answered with; empty: Cancel
    QString shownIn;    ///< the folder the dialog opened in
    QString title;
    bool realignmentPending = false;
};

TEST_F(ImportCommandTest, ImportingTheSameFileTwiceGivesASecondNameWithACounter)
{
    const QString talk = source(QStringLiteral("talk.mp3"), QStringLiteral("agenda"));
    import({talk});
    import({talk});
    EXPECT_EQ(title, StringTable::text(283));
    EXPECT_EQ(shownIn, folder);
    EXPECT_TRUE(QFileInfo::exists(folder + "talk.mp3"));
    EXPECT_TRUE(QFileInfo::exists(folder + "talk(1).mp3"));
    EXPECT_EQ(notesOf(QStringLiteral("talk(1)")), QStringLiteral("agenda"));
    EXPECT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(selected(), QStringLiteral("talk(1)"));
    EXPECT_TRUE(messages.texts.isEmpty());
}

// The dialog's paths are taken last first: the capitals' file gets the plain name, and the
// first chosen is the last imported and stays selected. What cannot be imported is told.
TEST_F(ImportCommandTest, PathsGoInReverseOrderAndWhatCannotBeImportedIsToldWhileTheRestGoesOn)
{
    const QString lower = source(QStringLiteral("talk.mp3"), QStringLiteral("lower"));
    const QString upper = source(QStringLiteral("TALK.MP3"), QStringLiteral("upper"));
    const QString wav = sources + QStringLiteral("clip.wav");
    ASSERT_TRUE(AudioFixtures::writeWav(wav, QByteArray(3200, '\0'), 32000));
    const QString pipe = sources + QStringLiteral("pipe.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    import({lower, wav, pipe, upper});
    EXPECT_EQ(notesOf(QStringLiteral("TALK")), QStringLiteral("upper"));
    EXPECT_EQ(notesOf(QStringLiteral("talk(1)")), QStringLiteral("lower"));
    EXPECT_EQ(selected(), QStringLiteral("talk(1)"));
    EXPECT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(QDir(folder).entryList({"*.mp3", "*.wav"}, QDir::Files).size(), 2);
    EXPECT_EQ(messages.texts, (QStringList{StringTable::text(600, {QStringLiteral("pipe.mp3")}),
                                           StringTable::text(155)}));
    EXPECT_EQ(messages.icons, QList<MessagePresenter::Icon>(2, MessagePresenter::Icon::Warning));
}

TEST_F(ImportCommandTest, APendingRealignmentOpensTheFallbackFolderOnceWhateverTheAnswer)
{
    import({}, true);
    EXPECT_EQ(shownIn, fallback);
    EXPECT_FALSE(realignmentPending);
    EXPECT_EQ(view->model()->rowCount(), 0);
}

} // namespace
