#include "control/LeftoverRecovery.h"

#include "app/DiagnosticLog.h"
#include "audio/MpegDuration.h"
#include "platform/FileOps.h"
#include "platform/LockedFile.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A ".prl" named after a recording is that recording's protected or decoded copy, not a
// hand-over file.
bool belongsToRecording(const RecordingList& list, const QString& folder, const QString& path)
{
    const QString base = QFileInfo(path).completeBaseName();
    return list.FindByNameIgnoringCase(base) != nullptr ||
           QFileInfo::exists(folder + base + QStringLiteral(".mp3"));
}

// The decoded copy a crash during a protected playback left behind holds the audio in clear.
void removeDecodedCopy(const RecordingList& list, const QString& path)
{
    const RecordingEntry* entry = list.FindByNameIgnoringCase(QFileInfo(path).completeBaseName());
    if (entry != nullptr && entry->isProtected && QFile::remove(path))
        WriteLog(QStringLiteral("Copia in chiaro rimossa: %1").arg(path));
}

} // namespace

bool LeftoverRecovery::holdsAudio(const QString& path)
{
    if (QFileInfo(path).size() <= 0)
        return false;
    const auto ms = MpegDuration::milliseconds(path, 0);
    return ms && *ms > 0;
}

QStringList LeftoverRecovery::recover(RecordingList& list, const QString& folder,
                                      const QString& operatorName)
{
    QStringList candidates;
    // The writer's temporary file, named as the writer names it.
    const QString temporary = folder + StringTable::text(25);
    if (QFileInfo::exists(temporary))
        candidates << temporary;
    const QStringList handOvers = QDir(folder).entryList(
        {QStringLiteral("*.prl")}, QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QString& name : handOvers) {
        const QString path = folder + name;
        if (!belongsToRecording(list, folder, path))
            candidates << path;
        else
            removeDecodedCopy(list, path);
    }

    QStringList recovered;
    for (const QString& path : candidates) {
        // Hold the lock while the file is taken, so a recorder starting meanwhile waits for it.
        // A file renamed away since the listing is not made again: it is someone else's now.
        LockedFile lock;
        if (lock.open(path, LockedFile::Creation::ExistingOnly) != LockedFile::OpenResult::Opened)
            continue; // a live recorder's file (or one we cannot open): not ours to take
        if (!holdsAudio(path)) {
            lock.close();
            continue;
        }
        const QString name = adopt(list, path, operatorName);
        lock.close();
        if (!name.isEmpty())
            recovered << name;
    }
    if (!recovered.isEmpty())
        list.SaveModified();
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
