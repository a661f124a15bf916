#include "control/LeftoverRecovery.h"

#include "app/DiagnosticLog.h"
#include "audio/MpegDuration.h"
#include "platform/FileOps.h"
#include "platform/LockedFile.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/Joiner.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kExtension = QStringLiteral(".mp3");

QStringList filesMatching(const QString& folder, const QStringList& patterns)
{
    return QDir(folder).entryList(patterns, QDir::Files | QDir::Hidden | QDir::CaseSensitive,
                                  QDir::Time | QDir::Reversed);
}

// A ".prl" named after a recording is that recording's protected or decoded copy, not a
// hand-over file.
bool belongsToRecording(const RecordingList& list, const QString& folder, const QString& path)
{
    const QString base = QFileInfo(path).completeBaseName();
    return list.FindByNameIgnoringCase(base) != nullptr ||
           QFileInfo::exists(folder + base + kExtension);
}

// The recorder names its hand-over files so; such a file named like a recording could be either.
bool isHandOverName(const QString& base)
{
    static const QRegularExpression pattern(QStringLiteral("^(TEM[0-9A-F]+|tempReg)$"));
    return pattern.match(base).hasMatch();
}

// True when the recording a ".prl" is named after has its whole file, so the ".prl" is only an
// interrupted protection's output or a playback's decoded copy.
bool isCopyOfWholeRecording(const RecordingList& list, const QString& folder, const QString& path)
{
    const QString base = QFileInfo(path).completeBaseName();
    if (isHandOverName(base))
        return false;
    const RecordingEntry* entry = list.FindByNameIgnoringCase(base);
    if (entry != nullptr && entry->inUse())
        return false;
    const QString recording = entry != nullptr ? entry->filePath() : folder + base + kExtension;
    return QFileInfo(recording).size() > 0;
}

// Deletes `path` unless a live process holds it locked, logging `logLine` ("%1" = the path).
void removeJunk(const QString& path, const QString& logLine)
{
    LockedFile lock;
    if (lock.open(path, LockedFile::Creation::ExistingOnly) != LockedFile::OpenResult::Opened)
        return;
    if (QFile::remove(path))
        WriteLog(logLine.arg(path));
}

// Measures the recordings whose length the index does not know (or holds as 0) although their
// file holds audio; true when any was measured.
bool measureUnknownLengths(RecordingList& list)
{
    bool measured = false;
    for (const auto& entry : list.entries()) {
        // Scrambled audio cannot be measured, and a recording in progress has no file yet.
        if (entry->duration > 0 || entry->isProtected || entry->inUse())
            continue;
        const double duration = EntryTags::CalcolaDurata(entry->filePath(), entry->tagSize);
        if (duration <= 0)
            continue;
        entry->duration = duration;
        entry->state = RecordingEntry::Modified;
        measured = true;
        WriteLog(QStringLiteral("Durata misurata per %1: %2 s")
                     .arg(entry->name)
                     .arg(OleDate::toSeconds(duration)));
    }
    return measured;
}

} // namespace

bool LeftoverRecovery::holdsAudio(const QString& path)
{
    if (QFileInfo(path).size() <= 0)
        return false;
    const auto ms = MpegDuration::milliseconds(path, Id3Tag::audioOffset(path).value_or(0));
    return ms && *ms > 0;
}

QStringList LeftoverRecovery::recover(RecordingList& list, const QString& folder,
                                      const QString& operatorName, bool* listChanged)
{
    if (listChanged)
        *listChanged = false;
    if (!list.holdsFolder())
        return {};

    for (const QString& name :
         filesMatching(folder, {Id3Tag::temporaryPattern(), Joiner::temporaryPattern()}))
        removeJunk(folder + name, QStringLiteral("File temporaneo rimosso: %1"));

    QStringList candidates;
    // The writer's temporary file, named as the writer names it.
    const QString temporary = folder + StringTable::text(25);
    if (QFileInfo::exists(temporary))
        candidates << temporary;
    for (const QString& name : filesMatching(folder, {QStringLiteral("*.prl")})) {
        const QString path = folder + name;
        if (!belongsToRecording(list, folder, path))
            candidates << path;
        else if (isCopyOfWholeRecording(list, folder, path))
            removeJunk(path, QStringLiteral("Copia di una registrazione rimossa: %1"));
    }
    // An import copies into such a file and renames it; one left over is a copy whose source
    // is still where the user chose it, whole or cut short, and never a recording's only audio.
    for (const QString& name : filesMatching(folder, {QStringLiteral("TEM*.tmp")}))
        removeJunk(folder + name, QStringLiteral("Copia di importazione interrotta rimossa: %1"));

    // The window measures them off its thread.
    const bool measured = !list.durationsMeasuredLater() && measureUnknownLengths(list);
    QStringList recovered;
    for (const QString& candidate : candidates) {
        // Hold the lock while the file is taken, so a recorder starting meanwhile waits for it.
        // A file renamed away since the listing is not made again: it is someone else's now.
        LockedFile lock;
        if (lock.open(candidate, LockedFile::Creation::ExistingOnly) !=
            LockedFile::OpenResult::Opened)
            continue; // a live recorder's file (or one we cannot open): not ours to take
        if (!holdsAudio(candidate))
            continue;
        const QString name = adopt(list, candidate, operatorName);
        lock.close();
        if (!name.isEmpty())
            recovered << name;
    }
    if (!recovered.isEmpty() || measured)
        list.SaveModified();
    if (listChanged)
        *listChanged = !recovered.isEmpty() || measured;
    return recovered;
}

QString LeftoverRecovery::adopt(RecordingList& list, const QString& path,
                                const QString& operatorName)
{
    const QFileInfo info(path);
    const QDateTime lastWrite = info.lastModified();
    RecordingEntry* entry = list.NewEntry(QString(), operatorName);
    entry->operatorName = operatorName;
    const QString target = entry->filePath();
    if (FileOps::renameNoReplace(path, target) != FileOps::RenameResult::Done) {
        WriteLog(QStringLiteral("Recupero: impossibile rinominare %1 in %2").arg(path, target));
        list.DeleteRecordings({entry->name}, RecordingList::Removal::KeepFiles);
        return {};
    }
    entry->duration = EntryTags::CalcolaDurata(target, 0);
    // The recording ended at its last write; it began its duration earlier.
    entry->startTime =
        OleDate::fromDateTime(lastWrite.addSecs(-OleDate::toSeconds(entry->duration)));
    entry->fileSize = EntryTags::listedSize(target);
    entry->state = RecordingEntry::Modified;
    WriteLog(QStringLiteral("Recuperata registrazione interrotta %1 come %2 (%3 byte)")
                 .arg(path, entry->name)
                 .arg(entry->fileSize));
    return entry->name;
}
