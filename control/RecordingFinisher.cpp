#include "control/RecordingFinisher.h"

#include "app/DiagnosticLog.h"
#include "platform/FileOps.h"
#include "platform/LockedFile.h"
#include "store/EntryTags.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "store/RecordingNames.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

namespace {

int renameMessage(FileOps::RenameResult result)
{
    switch (result) {
    case FileOps::RenameResult::TargetExists:
        return RecordingNames::Taken;
    case FileOps::RenameResult::InvalidPath:
        return RecordingNames::Forbidden;
    default:
        return RecordingNames::SaveFailed;
    }
}

} // namespace

RecordingFinisher::RecordingFinisher(RecorderView& view, RecordingList& list)
    : m_view(view), m_list(list)
{
    m_moveTimer.setSingleShot(true);
    QObject::connect(&m_moveTimer, &QTimer::timeout, [this] {
        if (!m_moveDone)
            return;
        if (const std::optional<bool> moved = attemptMove())
            // Cleared before the call: `done` may start the next move.
            std::exchange(m_moveDone, {})(*moved);
        else
            m_moveTimer.start(m_moveDelayMs);
    });
}

void RecordingFinisher::setMoveRetry(int attempts, int delayMs)
{
    m_moveAttempts = std::max(1, attempts);
    m_moveDelayMs = std::max(0, delayMs);
}

RecordingFinisher::Outcome RecordingFinisher::nameAndSave(RecordingEntry& entry,
                                                          const QString& audioFile, bool attended)
{
    LockedFile hold;
    if (QFileInfo::exists(audioFile))
        hold.open(audioFile);
    if (refusedByFolder(entry, audioFile))
        return Outcome::Failed;
    const QString oldName = entry.name;
    RecorderView::SaveAnswer proposed{entry.name, entry.notes};
    // Unattended, a taken default name is replaced a few times; then the disk is the trouble.
    constexpr int kUnattendedAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        const std::optional<RecorderView::SaveAnswer> answer =
            attended ? m_view.askRecordingName(entry, audioFile, proposed)
                     : std::optional<RecorderView::SaveAnswer>(proposed);
        if (!answer) {
            entry.keyWord = QStringLiteral("**del**");
            removeEntry(entry);
            return Outcome::Cancelled;
        }
        const QString name = RecordingNames::cleanedName(answer->name);
        int refusal =
            RecordingNames::check(name, entry.folder, RecordingNames::AllRules, &m_list, &entry);
        if (refusal == RecordingNames::Accepted) {
            const QString target = entry.folder + name + QStringLiteral(".mp3");
            const FileOps::RenameResult renamed = FileOps::renameNoReplace(audioFile, target);
            if (renamed == FileOps::RenameResult::Done) {
                entry.name = name;
                entry.notes = RecordingNames::cleanedNotes(answer->notes);
                complete(entry, oldName);
                return Outcome::Saved;
            }
            WriteLog(QStringLiteral("Salva registrazione su file %1 da rinominare %2, errore: %3")
                         .arg(audioFile, target, QString::fromLocal8Bit(strerror(errno))));
            refusal = renameMessage(renamed);
            // The disk, not the name, is at fault: another name would fail the same way.
            if (refusal == RecordingNames::SaveFailed)
                break;
        }
        if (!attended) {
            if (attempt >= kUnattendedAttempts)
                break;
            proposed.name = freshDefaultName(entry);
            continue;
        }
        m_view.reportMessage(refusal, name, RecorderView::Severity::Warning);
        // The dialog opens again with what the user typed, not with the old name.
        proposed = *answer;
    }
    WriteLog(QStringLiteral("Registrazione non salvata, il file resta: %1").arg(audioFile));
    m_view.reportMessage(69, audioFile, RecorderView::Severity::Error);
    removeEntry(entry);
    return Outcome::Failed;
}

QString RecordingFinisher::freshDefaultName(const RecordingEntry& entry)
{
    // The list knows which default names are free; the probe entry only lends its name.
    const QString name = m_list.NewEntry(QString(), entry.operatorName)->name;
    m_list.DeleteRecordings({name}, RecordingList::Removal::KeepFiles);
    return name;
}

bool RecordingFinisher::refusedByFolder(RecordingEntry& entry, const QString& audioFile)
{
    if (m_list.holdsFolder())
        return false;
    WriteLog(QStringLiteral("Registrazione non salvata, la cartella non e' di questo processo, il "
                            "file resta: %1")
                 .arg(audioFile));
    const bool busy = m_list.folderAccess() == FolderLock::Result::Busy;
    m_view.reportMessage(busy ? kFolderBusyString : 69, audioFile, RecorderView::Severity::Error);
    removeEntry(entry);
    return true;
}

void RecordingFinisher::moveIntoFolder(const QString& arrived, RecordingEntry& entry,
                                       std::function<void(bool moved)> done)
{
    if (refusedByFolder(entry, arrived)) {
        done(false);
        return;
    }
    m_moveSource = arrived;
    m_moveEntry = &entry;
    m_moveAttempt = 0;
    m_moveError = 0;
    if (const std::optional<bool> moved = attemptMove()) {
        done(*moved);
        return;
    }
    m_moveDone = std::move(done);
    m_moveTimer.start(m_moveDelayMs);
}

void RecordingFinisher::finishMoveNow()
{
    if (!m_moveDone)
        return;
    m_moveTimer.stop();
    m_moveAttempt = std::max(m_moveAttempt, m_moveAttempts - 1);
    std::exchange(m_moveDone, {})(attemptMove().value_or(false));
}

std::optional<bool> RecordingFinisher::attemptMove()
{
    const QString target = m_moveEntry->folder + m_moveEntry->name + QStringLiteral(".mp3");
    const int attempt = ++m_moveAttempt;
    if (FileOps::renameNoReplace(m_moveSource, target) == FileOps::RenameResult::Done)
        return true;
    m_moveError = errno;
    // A rename can fail across file systems where a copy still works; never over a file.
    if (!QFileInfo::exists(target) && QFile::copy(m_moveSource, target)) {
        QFile::remove(m_moveSource);
        FileOps::syncFolderOf(target);
        return true;
    }
    if (attempt < m_moveAttempts)
        return std::nullopt;
    m_view.reportMessage(69, m_moveSource, RecorderView::Severity::Error);
    WriteLog(QStringLiteral("Move e Copia falliti per %1 volte: Lasterror: 0x%2, File: %3")
                 .arg(attempt)
                 .arg(m_moveError, 0, 16)
                 .arg(m_moveSource));
    return false;
}

void RecordingFinisher::complete(RecordingEntry& entry, const QString& oldName)
{
    const QString path = entry.filePath();
    // The audio tells the length better than the clock: a file input runs faster than time.
    const double measured = EntryTags::CalcolaDurata(path, 0);
    if (measured > 0)
        entry.duration = measured;
    entry.state = RecordingEntry::Modified;
    m_list.SaveModified();
    m_view.updateRecordingRow(oldName, entry, RecorderView::RowImage::Saved);
}

void RecordingFinisher::removeEntry(RecordingEntry& entry)
{
    const QString name = entry.name;
    m_view.removeRecordingRow(name);
    if (!m_list.DeleteRecordings({name}, RecordingList::Removal::KeepFiles))
        WriteLog(QStringLiteral("Impossibile eliminare la voce %1").arg(name));
}
