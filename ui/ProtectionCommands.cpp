#include "ui/ProtectionCommands.h"

#include "app/DiagnosticLog.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "ui/KeyWordDialog.h"
#include "ui/MessagePresenter.h"
#include "ui/PlaybackControls.h"
#include "ui/ProtectDialog.h"
#include "ui/RecordingListView.h"
#include "ui/WaitCursor.h"

#include <QApplication>
#include <QFile>

#include <algorithm>

namespace {

// Message ids.
constexpr int InUse = 301;
constexpr int ProtectFailed = 67;
constexpr int WrongKeyWord = 68;

bool protectable(const RecordingEntry& entry)
{
    return !entry.isProtected && !entry.inUse();
}

} // namespace

ProtectionCommands::ProtectionCommands(RecordingList& list, RecordingListView& view,
                                       PlaybackControls& playback, MessagePresenter& messages,
                                       QWidget* window, DialogRunner runDialog, QObject* parent)
    : QObject(parent), m_list(list), m_view(view), m_playback(playback), m_messages(messages),
      m_window(window), m_runDialog(std::move(runDialog))
{
    if (!m_runDialog)
        m_runDialog = [](QDialog& dialog) { return dialog.exec(); };
}

void ProtectionCommands::ProtectCommand()
{
    if (m_view.selectedRecordings().size() > 1)
        ProtectSelected();
    else
        ToggleProtection(false);
}

bool ProtectionCommands::ToggleProtection(bool forPlayback)
{
    RecordingEntry* entry = m_view.currentRecording();
    return entry != nullptr && toggle(*entry, forPlayback);
}

bool ProtectionCommands::toggle(RecordingEntry& entry, bool forPlayback)
{
    if (entry.inUse()) {
        showError(InUse);
        return false;
    }
    const bool unlocking = entry.isProtected;
    if (forPlayback && !unlocking)
        return false;
    // A playback only writes the decoded copy beside the recording, which stays as it is.
    if (!forPlayback && !m_view.mayChangeFolder())
        return false;

    entry.keyWord = dialogMarker();
    QString typed;
    if (unlocking) {
        KeyWordDialog dialog(entry.name, m_window);
        if (m_runDialog(dialog) == QDialog::Accepted)
            typed = dialog.keyWord();
    } else {
        ProtectDialog dialog(entry.name, m_messages, m_window);
        if (m_runDialog(dialog) == QDialog::Accepted)
            typed = dialog.keyWord();
    }
    if (!listed(&entry))
        return false;
    if (!typed.isEmpty())
        entry.keyWord = typed;
    if (entry.keyWord == dialogMarker())
        return false;

    stopIfPlaying(entry);
    // A playback refreshed its entry as it started; a refresh may write a missing tag, which
    // only the folder's holder may do.
    if (!forPlayback && m_list.holdsFolder())
        m_list.RefreshEntry(entry);
    if (!unlocking)
        return protect(entry);
    {
        WaitCursor wait;
        if (!Protection::Unprotect(entry, forPlayback)) {
            showError(WrongKeyWord);
            return false;
        }
        if (forPlayback) {
            // The decoded copy has a length to measure, which the scrambled file had not.
            const double measured = EntryTags::CalcolaDurata(Protection::outputPath(entry), 0);
            if (measured > 0 && measured != entry.duration) {
                entry.duration = measured;
                entry.state = RecordingEntry::Modified;
            }
        }
    }
    // Unprotect put the new tag (and the measured length) in place with the clear audio: only
    // the index record is behind. During playback only a repaired length is saved.
    if (!forPlayback)
        m_list.UpdateRecord(entry);
    saveChanged(entry);
    return true;
}

bool ProtectionCommands::protect(RecordingEntry& entry)
{
    stopIfPlaying(entry);
    {
        WaitCursor wait;
        if (!Protection::Protect(entry, false)) {
            showError(ProtectFailed);
            return false;
        }
    }
    // Protect put the new tag in place with the scrambled audio: only the index record is
    // behind.
    m_list.UpdateRecord(entry);
    m_view.UpdateListRow(entry.name, entry, RecordingListView::ByRule);
    return true;
}

void ProtectionCommands::ProtectSelected()
{
    const QList<RecordingEntry*> selected = m_view.selectedRecordings();
    if (std::none_of(selected.begin(), selected.end(),
                     [](const RecordingEntry* entry) { return protectable(*entry); })) {
        ToggleProtection(false);
        return;
    }
    if (!m_view.mayChangeFolder())
        return;
    QString key;
    {
        ProtectDialog dialog(QString(), m_messages, m_window);
        if (m_runDialog(dialog) != QDialog::Accepted)
            return;
        key = dialog.keyWord();
    }
    for (RecordingEntry* entry : selected) {
        if (!listed(entry) || !protectable(*entry))
            continue;
        entry->keyWord = key;
        protect(*entry);
    }
}

void ProtectionCommands::PlayProtected(RecordingEntry* entry)
{
    if (entry == nullptr || !listed(entry) || !toggle(*entry, true))
        return;
    m_playback.PlayDecoded(entry);
    // A playback that did not start (a recording began while the dialog was open, or the
    // player failed) must not leave the clear audio lying in the folder.
    if (m_playback.playingRecording() != entry)
        QFile::remove(Protection::outputPath(*entry));
}

bool ProtectionCommands::saveChanged(RecordingEntry& entry)
{
    m_list.SaveModified();
    const bool written = entry.state != RecordingEntry::Modified;
    m_view.UpdateListRow(entry.name, entry, RecordingListView::ByRule);
    return written;
}

void ProtectionCommands::stopIfPlaying(const RecordingEntry& entry)
{
    if (m_playback.playingRecording() == &entry)
        m_playback.Stop();
}

bool ProtectionCommands::listed(const RecordingEntry* entry) const
{
    const auto& entries = m_list.entries();
    return std::any_of(entries.begin(), entries.end(),
                       [entry](const auto& owned) { return owned.get() == entry; });
}

void ProtectionCommands::showError(int message)
{
    m_messages.showMessage(m_window, StringTable::text(message), StringTable::caption(),
                           MessagePresenter::Icon::Error);
}
