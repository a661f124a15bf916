#include "store/RecordingNames.h"

#include "platform/FileOps.h"
#include "res/StringTable.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kExtension = QStringLiteral(".mp3");

} // namespace

bool RecordingNames::isForbidden(QChar c)
{
    if (QStringView(u"<>:/|*?\\\"").contains(c))
        return true;
    const auto category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

bool RecordingNames::hasForbidden(const QString& name)
{
    return std::any_of(name.begin(), name.end(), isForbidden);
}

bool RecordingNames::isReserved(const QString& name)
{
    return name == QLatin1String("tmp_nome_reg") || name == QLatin1String("Join_Temporary") ||
           name == QLatin1String("tagTemporary");
}

QString RecordingNames::sanitized(const QString& name)
{
    QString out = name;
    for (QChar& c : out) {
        if (isForbidden(c))
            c = u'_';
    }
    return out;
}

bool RecordingNames::fileExistsIgnoringCase(const QString& folder, const QString& name,
                                            const QString& except)
{
    const QString fileName = name + kExtension;
    if (fileName != except && QFileInfo::exists(folder + fileName))
        return true;
    // Only names are compared, so the listing needs no file status.
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString found = it.fileName();
        if (found != except && found.compare(fileName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

int RecordingNames::check(const QString& name, const QString& folder, unsigned rules,
                          const RecordingList* list, const RecordingEntry* self)
{
    if ((rules & NotEmpty) && name.isEmpty())
        return Empty;
    if (rules & FitsPath) {
        const qsizetype nameBytes = name.toUtf8().size();
        if (folder.toUtf8().size() + nameBytes > kMaxPathLength ||
            nameBytes + kExtension.size() > kMaxFileNameLength)
            return TooLong;
    }
    if ((rules & NoForbidden) && hasForbidden(name))
        return Forbidden;
    if (rules & NotTaken) {
        if (list) {
            for (const auto& entry : list->entries()) {
                if (entry.get() != self && entry->name.compare(name, Qt::CaseInsensitive) == 0)
                    return Taken;
            }
        }
        const QString own = self ? self->name + kExtension : QString();
        if (fileExistsIgnoringCase(folder, name, own))
            return Taken;
    }
    if ((rules & NotReserved) && isReserved(name))
        return Reserved;
    return Accepted;
}

QString RecordingNames::SizeText(int64_t bytes)
{
    struct Unit {
        int64_t size;
        int64_t tenth;
        int text;
    };
    static constexpr Unit kUnits[] = {
        {1024, 100, 118},
        {1048576, 100000, 119},
        {1073741824, 100000000, 120},
    };
    bytes = std::max<int64_t>(bytes, 0);
    const Unit& unit = bytes < 1048576 ? kUnits[0] : bytes < 1073741824 ? kUnits[1] : kUnits[2];
    const int64_t whole = bytes / unit.size;
    // The remainder can reach 10 tenths (1,023 / 100); a figure "x.10" would read as x.1.
    const int64_t digit = std::min<int64_t>((bytes - whole * unit.size) / unit.tenth, 9);
    return QString::asprintf("%lld.%lld", static_cast<long long>(whole),
                             static_cast<long long>(digit)) +
           StringTable::text(unit.text);
}

int RecordingNames::RenameRecording(RecordingList& list, RecordingEntry& entry,
                                    const QString& newName, const QString& newNotes)
{
    const QString folder = entry.folder.isEmpty() ? list.folder() : entry.folder;
    const RecordingEntry before = entry;
    const bool renaming = newName != entry.name;
    if (renaming) {
        const int refused = check(newName, folder, AllRules, &list, &entry);
        if (refused != Accepted)
            return refused;
    }
    // Only the holder of the folder's lock may change its files, and no tag could be saved.
    if (!list.holdsFolder())
        return SaveFailed;
    bool moved = false;
    if (renaming && !entry.inUse()) {
        switch (FileOps::renameNoReplace(folder + entry.name + kExtension,
                                         folder + newName + kExtension)) {
        case FileOps::RenameResult::Done:
            moved = true;
            break;
        case FileOps::RenameResult::TargetExists:
            return Taken;
        case FileOps::RenameResult::InvalidPath:
            return Forbidden;
        case FileOps::RenameResult::Failed:
            return SaveFailed;
        }
    }
    if (!entry.inUse())
        entry.state = RecordingEntry::Modified;
    entry.name = newName;
    entry.notes = newNotes;
    list.SaveModified();
    if (entry.inUse() || entry.state == RecordingEntry::Saved)
        return Accepted;
    // The tag could not be rewritten (a full disk, say): the recording keeps the name and
    // notes its tag still holds, or, when its file cannot get its old name back, the file's
    // new name with a tag the next save repairs, so that the list and the file agree.
    const bool movedBack = !moved || FileOps::renameNoReplace(folder + newName + kExtension,
                                                              folder + before.name + kExtension) ==
                                         FileOps::RenameResult::Done;
    entry.name = movedBack ? before.name : newName;
    entry.notes = before.notes;
    entry.state = movedBack ? before.state : int(RecordingEntry::Modified);
    list.UpdateRecord(entry);
    return SaveFailed;
}

QString RecordingNames::cleanedName(QString name)
{
    name.remove(u'\r');
    name.remove(u'\n');
    return name.trimmed();
}

QString RecordingNames::cleanedNotes(QString notes)
{
    qsizetype first = 0;
    while (first < notes.size() && notes.at(first).isSpace())
        ++first;
    return notes.mid(first);
}
