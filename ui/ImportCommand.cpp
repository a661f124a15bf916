#include "ui/ImportCommand.h"

#include "res/StringTable.h"
#include "store/Importer.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "ui/MessagePresenter.h"
#include "ui/RecordingListView.h"
#include "ui/SavingWindow.h"
#include "ui/WaitCursor.h"

#include <QFileDialog>

#include <algorithm>
#include <utility>

namespace {

constexpr int Title = 283;

} // namespace

ImportCommand::ImportCommand(RecordingList& list, RecordingListView& view,
                             MessagePresenter& messages, QWidget* window, QString fallbackFolder,
                             DialogRunner runDialog, QObject* parent)
    : QObject(parent), m_list(list), m_view(view), m_messages(messages), m_window(window),
      m_fallbackFolder(std::move(fallbackFolder)), m_runDialog(std::move(runDialog))
{}

void ImportCommand::ImportRecordings(bool& realignmentPending)
{
    QStringList paths;
    {
        QFileDialog dialog(m_window, StringTable::text(Title),
                           realignmentPending ? m_fallbackFolder : m_list.folder(),
                           QStringLiteral("mp3 Files (*.mp3)"));
        dialog.setObjectName(QStringLiteral("ImportDialog"));
        // The same dialog everywhere, and one a test can answer.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        const int result = m_runDialog ? m_runDialog(dialog) : dialog.exec();
        realignmentPending = false;
        if (result != QDialog::Accepted)
            return;
        paths = dialog.selectedFiles();
    }
    if (paths.isEmpty() || !m_view.mayChangeFolder())
        return;
    std::reverse(paths.begin(), paths.end());

    Importer::Result result;
    {
        const WaitCursor wait;
        SavingWindow saving(m_window);
        result = Importer::ImportRecordings(m_list, paths, saving.progress());
        QString selected = result.lastImported;
        if (selected.isEmpty() && m_view.currentRecording())
            selected = m_view.currentRecording()->name;
        m_view.FillRecordingList(selected, -1);
    }
    // Told after the wait cursor has gone, so that the messages show the ordinary cursor.
    for (const Importer::Outcome& outcome : result.outcomes) {
        if (outcome.messageId != 0)
            m_messages.showMessage(m_window, outcome.message, StringTable::caption(),
                                   MessagePresenter::Icon::Warning);
    }
}
