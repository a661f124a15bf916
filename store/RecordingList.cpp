#include "store/RecordingList.h"

#include "app/DiagnosticLog.h"
#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingIndex.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <string>
#include <string_view>
#include <thread>

namespace {

// Index fields hold 260 bytes; a text cut at a character boundary to fit fills at least 257.
bool mayBeCut(const QString& text)
{
    return text.size() * 3 > 256 && text.toUtf8().size() > 256;
}

void restoreLongTexts(RecordingEntry& entry)
{
    Id3Tag tag;
    if (!tag.Open(entry.filePath(), true) || tag.ReadTag() != Id3Tag::TagRead)
        return;
    if (const Id3Tag::Frame* notes = tag.FindFrame("COMM"))
        entry.notes = notes->value;
    if (const Id3Tag::Frame* operatorName = tag.FindFrame("TALB"))
        entry.operatorName = operatorName->value;
}

const QString kExtension = QStringLiteral(".mp3");

// A UTF-16 unit, renumbered so that units compare in the order of the code points they are
// part of, which is the order of their UTF-8 bytes: surrogates stand above every other unit.
char16_t codePointRank(char16_t unit)
{
    if (unit >= 0xD800 && unit < 0xE000)
        return char16_t(unit + 0x2000);
    return unit >= 0xE000 ? char16_t(unit - 0x800) : unit;
}

QString withSlash(QString folder)
{
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

} // namespace

// The open index file of the loaded folder, locked against other processes.
struct RecordingList::Index {
    QFile file;
    QString folder;
    qint64 end = 0; // the file's length, tracked so that appends need no system call to find it
    bool open = false;

    // Writes `bytes` at `offset`; a failure stops all use of the index until the next load.
    bool writeAt(qint64 offset, QByteArrayView bytes)
    {
        if (!open)
            return false;
        if (file.seek(offset) && file.write(bytes.data(), bytes.size()) == bytes.size()) {
            end = std::max(end, offset + bytes.size());
            return true;
        }
        WriteLog(QStringLiteral("Errore di scrittura del file di indice: ") + file.errorString());
        close();
        return false;
    }
    // The length of the record at `offset`, read from the file itself: 0 when none is there.
    int recordSizeAt(qint64 offset)
    {
        if (!open || offset + RecordingIndex::kBaseRecordSize > end ||
            !file.seek(offset + RecordingIndex::kBaseRecordSize))
            return 0;
        const QByteArray marker = file.read(RecordingIndex::kMarkerSize);
        return marker == RecordingIndex::operatorMarker() ? RecordingIndex::kOperatorRecordSize
                                                          : RecordingIndex::kBaseRecordSize;
    }
    void close()
    {
        open = false;
        file.close(); // also releases the lock
    }
};

// The ".mp3" files of a folder with their sizes, listed once per load.
struct RecordingList::Listing {
    struct File {
        QString name; // without ".mp3"
        qint64 size = 0;
        qint64 modifiedMs = 0;
        bool usable = false;
    };
    std::vector<File> files;

    static Listing of(const QString& folder)
    {
        Listing listing;
        const QByteArrayView extension(".mp3");
        // Only ".mp3" in this exact case: every later step reaches the file as name + ".mp3".
        for (FolderListing::File& found : FolderListing::regularFiles(folder, extension)) {
            const QByteArray base = found.fileName.chopped(extension.size());
            File file;
            file.name = QFile::decodeName(base);
            file.size = found.size;
            file.modifiedMs = found.modifiedMs;
            // A name that is not UTF-8 could not be reached again through its text; a name
            // starting with the operator marker would be misread as the previous record's
            // operator. Neither can be typed in the program.
            file.usable = !file.name.startsWith(QLatin1String(RecordingIndex::operatorMarker())) &&
                          !(file.name.contains(QChar::ReplacementCharacter) &&
                            QFile::encodeName(file.name) != base);
            if (file.usable)
                listing.files.push_back(std::move(file));
        }
        return listing;
    }
};

RecordingList::RecordingList() = default;

RecordingList::~RecordingList() = default;

void RecordingList::setFolder(const QString& folder)
{
    m_folder = withSlash(folder);
}

void RecordingList::setLockHolder(const QString& holder, int waitMs)
{
    m_holder = holder;
    m_lockWaitMs = waitMs;
}

bool RecordingList::tryTakeFolder()
{
    if (m_lock.isHeld() || m_folder.isEmpty())
        return m_lock.isHeld();
    m_access = m_lock.acquire(m_folder, m_holder.isEmpty() ? FolderLock::thisProcess() : m_holder);
    if (m_access == FolderLock::Result::Held)
        WriteLog(QStringLiteral("Cartella acquisita: ") + m_folder);
    return m_lock.isHeld();
}

bool RecordingList::indexOpen() const
{
    return m_index && m_index->open;
}

void RecordingList::applySettings(const Settings& settings)
{
    m_indexDisabled = settings.indexDisabled;
}

bool RecordingList::LoadList(const QString& folderOverride)
{
    const QString folder = withSlash(folderOverride.isEmpty() ? m_folder : folderOverride);
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists() || !dir.isReadable())
        return false;
    QElapsedTimer timer;
    timer.start();
    if (!m_lock.isHeld() || m_lock.folder() != folder) {
        m_access = m_lock.acquire(folder, m_holder.isEmpty() ? FolderLock::thisProcess() : m_holder,
                                  m_lockWaitMs);
        if (m_access != FolderLock::Result::Held)
            WriteLog(
                QStringLiteral("Cartella in uso da un altro processo o non scrivibile: %1 (%2)")
                    .arg(folder, FolderLock::holderOf(folder)));
    }
    // The folder is listed while the index is read.
    const std::shared_future<Listing> files =
        std::async(std::launch::async, [folder] { return Listing::of(folder); }).share();
    if (!LoadFromIndex(folder, files)) {
        WriteLog(QStringLiteral("Impossibile aprire/creare il file di indice..."));
        for (const auto& file : files.get().files)
            AddScannedFile(folder + file.name + kExtension, folder);
    }
    WriteLog(QStringLiteral("Tempo Carica Lista = %1").arg(timer.elapsed()));
    return true;
}

bool RecordingList::LoadFromIndex(const QString& folder, const std::shared_future<Listing>& listing)
{
    if (m_index)
        m_index->close();
    m_index.reset();
    if (!m_lock.isHeld() || m_indexDisabled)
        return false;
    auto index = std::make_unique<Index>();
    index->folder = folder;
    // A link could make every index write land in some other file, and a FIFO or a device
    // would hang or flood the reader: only a regular file can be the index.
    if (!FileOps::openRegularFile(index->file, folder + indexFileName())) {
        WriteLog(QStringLiteral("Il file di indice non e' un file regolare o non si apre: ") +
                 folder + indexFileName());
        return false;
    }
    if (!FileOps::tryLockExclusive(index->file)) {
        WriteLog(QStringLiteral("Indice in uso da un altro processo: ") + index->file.fileName());
        return false;
    }
    index->open = true;
    m_index = std::move(index);
    QFile& file = m_index->file;

    const size_t first = m_entries.size();
    int deletedCount = 0;
    const qint64 cut = RecordingIndex::readAll(file, [&](RecordingEntry&& record) {
        if (record.deleted == RecordingEntry::kRecordDeleted) {
            ++deletedCount;
            return;
        }
        record.folder = folder;
        m_entries.push_back(std::make_unique<RecordingEntry>(std::move(record)));
    });
    // Every change of a recording is followed by a write of its record: a file changed since
    // the index was last written was cut off from its record (a kill in between).
    const qint64 indexWritten =
        file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
    if (cut >= 0)
        file.resize(cut);
    m_index->end = file.size();
    const size_t loaded = m_entries.size();
    const Listing& files = listing.get();

    // Files are matched to records by exact name first; only what is left over is matched
    // ignoring case, so two files differing in case each keep their own record.
    QHash<QString, RecordingEntry*> byName;
    byName.reserve(static_cast<qsizetype>(loaded - first));
    for (size_t i = loaded; i > first; --i) // backwards, so the first record of a name wins
        byName.insert(m_entries[i - 1]->name, m_entries[i - 1].get());
    std::vector<const Listing::File*> unmatched;
    std::vector<RecordingEntry*> stale;
    const auto take = [&](RecordingEntry& entry, const Listing::File& found) {
        entry.seenOnDisk = true;
        if (found.size != 0)
            entry.fileSize = static_cast<uint32_t>(found.size & 0xFFFFFFFF);
        if (found.modifiedMs >= indexWritten)
            stale.push_back(&entry);
    };
    for (const auto& found : files.files) {
        RecordingEntry* entry = byName.value(found.name);
        if (entry && !entry->seenOnDisk)
            take(*entry, found);
        else
            unmatched.push_back(&found);
    }
    std::vector<RecordingEntry*> renamed;
    std::vector<RecordingEntry*> scanned;
    if (!unmatched.empty()) {
        QHash<QString, RecordingEntry*> byFoldedName;
        for (size_t i = first; i < loaded; ++i) {
            RecordingEntry* entry = m_entries[i].get();
            if (!entry->seenOnDisk && !byFoldedName.contains(entry->name.toCaseFolded()))
                byFoldedName.insert(entry->name.toCaseFolded(), entry);
        }
        for (const Listing::File* found : unmatched) {
            RecordingEntry* entry = byFoldedName.value(found->name.toCaseFolded());
            if (entry && !entry->seenOnDisk) {
                take(*entry, *found);
                // The file is reached by its exact name here, and its tag must say it too.
                entry->name = found->name;
                entry->state = RecordingEntry::Modified;
                renamed.push_back(entry);
            } else {
                scanned.push_back(AddScannedFile(folder + found->name + kExtension, folder));
            }
        }
    }

    // A text that filled its index field may have been cut to fit: the tag holds it whole,
    // and the entry must too, or the next tag write would lose the rest.
    for (size_t i = first; i < loaded; ++i) {
        RecordingEntry& entry = *m_entries[i];
        if (entry.seenOnDisk && (mayBeCut(entry.notes) || mayBeCut(entry.operatorName)))
            restoreLongTexts(entry);
    }

    for (RecordingEntry* entry : stale) {
        const uint32_t offset = entry->indexOffset;
        EntryTags::LoadEntryFromFile(entry->filePath(), *entry, folder, false, true,
                                     !m_durationsLater);
        entry->indexOffset = offset;
        entry->seenOnDisk = true;
    }

    std::vector<uint32_t> lost;
    for (size_t i = first; i < loaded; ++i) {
        if (!m_entries[i]->seenOnDisk)
            lost.push_back(m_entries[i]->indexOffset);
    }
    if (!lost.empty()) {
        const auto loadedEnd = m_entries.begin() + static_cast<std::ptrdiff_t>(loaded);
        const auto gone = std::remove_if(m_entries.begin() + static_cast<std::ptrdiff_t>(first),
                                         loadedEnd, [](const auto& e) { return !e->seenOnDisk; });
        m_entries.erase(gone, loadedEnd);
    }
    deletedCount += static_cast<int>(lost.size());

    if (deletedCount > 10) {
        // Compacting rewrites every record, which covers the renamed and scanned ones too.
        if (!file.resize(0)) {
            WriteLog(QStringLiteral("Errore di scrittura del file di indice: ") +
                     file.errorString());
            m_index->close();
            return true;
        }
        QByteArray all;
        for (const auto& entry : m_entries) {
            entry->indexOffset = static_cast<uint32_t>(all.size());
            all += RecordingIndex::encodeRecord(*entry);
        }
        m_index->end = 0;
        m_index->writeAt(0, all);
        return true;
    }
    for (const uint32_t offset : lost)
        markRecordDeleted(offset);
    for (RecordingEntry* entry : renamed)
        m_index->writeAt(entry->indexOffset, RecordingIndex::encodeRecord(*entry));
    // Rewritten even when nothing differs, so that the next load finds the index newer.
    for (RecordingEntry* entry : stale)
        UpdateRecord(*entry);
    // Entries held from before this load and newly scanned files: their records in one write.
    QByteArray appended;
    const auto addRecord = [&](RecordingEntry& entry) {
        entry.indexOffset = static_cast<uint32_t>(m_index->end + appended.size());
        appended += RecordingIndex::encodeRecord(entry);
    };
    for (size_t i = 0; i < first; ++i)
        addRecord(*m_entries[i]);
    for (RecordingEntry* entry : scanned)
        addRecord(*entry);
    if (!appended.isEmpty())
        m_index->writeAt(m_index->end, appended);
    return true;
}

RecordingEntry* RecordingList::AddScannedFile(const QString& path, const QString& folder)
{
    auto entry = std::make_unique<RecordingEntry>();
    EntryTags::LoadEntryFromFile(path, *entry, folder, false, m_lock.isHeld(), !m_durationsLater);
    entry->deleted = RecordingEntry::kScanned;
    entry->seenOnDisk = true;
    m_entries.push_back(std::move(entry));
    return m_entries.back().get();
}

void RecordingList::Clear()
{
    m_entries.clear();
    if (m_index)
        m_index->close();
    m_index.reset();
}

void RecordingList::appendRecord(RecordingEntry& entry)
{
    if (!indexOpen())
        return;
    entry.indexOffset = static_cast<uint32_t>(m_index->end);
    m_index->writeAt(m_index->end, RecordingIndex::encodeRecord(entry));
}

void RecordingList::markRecordDeleted(uint32_t offset)
{
    if (indexOpen())
        m_index->writeAt(qint64(offset) + RecordingIndex::kDeletedFlagOffset, "1");
}

RecordingEntry* RecordingList::NewEntry(const QString& givenName, const QString& prefix)
{
    const auto defaultName = [&] {
        QString base = StringTable::text(11);
        base.replace(QLatin1String("%d"), QString::number(m_nameCounter));
        return prefix.isEmpty() ? base : prefix + QStringLiteral(" - ") + base;
    };
    // Every ".mp3" name of the folder, read once: a file whose name merely begins with the
    // candidate makes it taken, as the file-name pattern base*.mp3 would.
    QStringList fileNames;
    QDirIterator it(m_folder, {QStringLiteral("*.mp3")}, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        fileNames << it.fileName();
    }
    const auto taken = [&](const QString& base) {
        if (FindByNameIgnoringCase(base))
            return true;
        return std::any_of(fileNames.begin(), fileNames.end(), [&](const QString& fileName) {
            return fileName.size() >= base.size() + kExtension.size() &&
                   fileName.startsWith(base, Qt::CaseInsensitive);
        });
    };
    QString base = givenName.isEmpty() ? defaultName() : givenName;
    while (taken(base)) {
        ++m_nameCounter;
        base = givenName.isEmpty() ? defaultName() : givenName + QString::number(m_nameCounter);
    }
    ++m_nameCounter;

    auto entry = std::make_unique<RecordingEntry>();
    entry->name = base;
    entry->startTime = OleDate::now();
    entry->duration = 0;
    entry->fileSize = 0;
    entry->folder = m_folder;
    entry->genre = EntryTags::defaultGenre();
    entry->artist = EntryTags::defaultArtist();
    entry->state = RecordingEntry::Recording;
    return AddEntry(std::move(entry));
}

RecordingEntry* RecordingList::AddEntry(std::unique_ptr<RecordingEntry> entry)
{
    RecordingEntry* added = entry.get();
    m_entries.push_back(std::move(entry));
    appendRecord(*added);
    return added;
}

RecordingEntry* RecordingList::FindByName(const QString& name) const
{
    for (const auto& entry : m_entries) {
        if (entry->name == name)
            return entry.get();
    }
    return nullptr;
}

RecordingEntry* RecordingList::FindByNameIgnoringCase(const QString& name) const
{
    for (const auto& entry : m_entries) {
        if (entry->name.compare(name, Qt::CaseInsensitive) == 0)
            return entry.get();
    }
    return nullptr;
}

bool RecordingList::SaveModified(const Progress& progress)
{
    if (!m_lock.isHeld())
        return std::none_of(m_entries.begin(), m_entries.end(), [](const auto& entry) {
            return entry->state == RecordingEntry::Modified;
        });
    const auto total =
        static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const auto& entry) {
            return entry->state == RecordingEntry::Modified;
        }));
    const bool report = total > 2 && progress;
    if (report)
        progress(0, total);
    bool allWritten = true;
    int done = 0;
    for (const auto& entry : m_entries) {
        if (entry->state != RecordingEntry::Modified)
            continue;
        // A record changed without its tag would disagree with the file.
        const bool written = EntryTags::WriteEntryTag(*entry);
        allWritten = allWritten && written;
        if (report)
            progress(++done, total);
        if (written)
            UpdateRecord(*entry);
    }
    return allWritten;
}

void RecordingList::MeasureUnknownDurations()
{
    bool measured = false;
    for (const auto& entry : m_entries) {
        if (entry->duration != OleDate::kNoDuration || entry->inUse())
            continue;
        entry->duration = EntryTags::CalcolaDurata(entry->filePath(), entry->tagSize);
        entry->state = RecordingEntry::Modified;
        measured = true;
    }
    if (measured)
        SaveModified();
}

void RecordingList::UpdateRecord(RecordingEntry& entry)
{
    if (!indexOpen())
        return;
    const QByteArray record = RecordingIndex::encodeRecord(entry);
    const int oldSize = m_index->recordSizeAt(entry.indexOffset);
    if (oldSize == record.size()) {
        m_index->writeAt(entry.indexOffset, record);
        return;
    }
    // A record of another length would overwrite its neighbours: it moves to the end.
    if (oldSize != 0)
        markRecordDeleted(entry.indexOffset);
    appendRecord(entry);
}

bool RecordingList::DeleteRecordings(const QStringList& names, Removal removal)
{
    if (!m_lock.isHeld() && removal != Removal::KeepFiles)
        return false;
    // The first entry of each name, found in one pass.
    QHash<QString, RecordingEntry*> found;
    for (const QString& name : names)
        found.insert(name, nullptr);
    for (const auto& entry : m_entries) {
        auto it = found.find(entry->name);
        if (it != found.end() && !it.value())
            it.value() = entry.get();
    }
    QSet<RecordingEntry*> doomed;
    QStringList paths;
    for (const QString& name : names) {
        RecordingEntry* entry = found.value(name);
        if (!entry)
            return false;
        if (doomed.contains(entry))
            continue;
        doomed.insert(entry);
        const QFileInfo file(entry->filePath());
        // A file that is already gone has nothing to put in the trash.
        if (file.exists() || file.isSymLink())
            paths << file.filePath();
    }
    bool allRemoved = true;
    if (removal == Removal::ToTrash && !paths.isEmpty() && !FileOps::moveToTrash(paths))
        return false;
    if (removal == Removal::ForGood && !paths.isEmpty() && !FileOps::removeFiles(paths)) {
        allRemoved = false;
        // An entry whose file could not be deleted stays, so the list still shows that file.
        for (auto it = doomed.begin(); it != doomed.end();) {
            const QFileInfo file((*it)->filePath());
            it = file.exists() || file.isSymLink() ? doomed.erase(it) : std::next(it);
        }
    }
    for (RecordingEntry* entry : doomed)
        markRecordDeleted(entry->indexOffset);
    std::erase_if(m_entries, [&](const auto& entry) { return doomed.contains(entry.get()); });
    return allRemoved;
}

void RecordingList::RefreshEntry(RecordingEntry& entry)
{
    const QString path = entry.filePath();
    // Loading a missing file would replace the entry's properties by defaults.
    if (!QFileInfo::exists(path))
        return;
    EntryTags::LoadEntryFromFile(path, entry, entry.folder, true, m_lock.isHeld());
    UpdateRecord(entry);
}

void RecordingList::RebuildIndex()
{
    if (!indexOpen())
        return;
    const QString folder = m_index->folder;
    Clear();
    QFile::remove(folder + indexFileName());
    LoadList(folder);
}

template <typename Text> void RecordingList::sortByText(Text text, bool ascending)
{
    // All texts ranked into one buffer: the comparisons read neighbouring memory instead of
    // chasing every entry's own string, which decides the time with many entries.
    std::u16string all;
    all.reserve(m_entries.size() * 16);
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    spans.reserve(m_entries.size());
    for (const auto& entry : m_entries) {
        const QString value = text(*entry);
        spans.emplace_back(uint32_t(all.size()), uint32_t(value.size()));
        for (const QChar c : value)
            all.push_back(codePointRank(c.unicode()));
    }
    const auto textAt = [&](uint32_t i) {
        return std::u16string_view(all.data() + spans[i].first, spans[i].second);
    };
    std::vector<uint32_t> order(m_entries.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return ascending ? textAt(a) < textAt(b) : textAt(b) < textAt(a);
    });
    std::vector<std::unique_ptr<RecordingEntry>> sorted;
    sorted.reserve(m_entries.size());
    for (const uint32_t i : order)
        sorted.push_back(std::move(m_entries[i]));
    m_entries = std::move(sorted);
}

template <typename Key, typename Less>
void RecordingList::sortByKey(Key key, Less less, bool ascending)
{
    using KeyType = std::decay_t<decltype(key(std::declval<const RecordingEntry&>()))>;
    std::vector<std::pair<KeyType, std::unique_ptr<RecordingEntry>>> keyed;
    keyed.reserve(m_entries.size());
    for (auto& entry : m_entries) {
        KeyType value = key(*entry);
        keyed.emplace_back(std::move(value), std::move(entry));
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return ascending ? less(a.first, b.first) : less(b.first, a.first);
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        m_entries[i] = std::move(keyed[i].second);
}

void RecordingList::Sort(SortKey key, bool ascending)
{
    if (m_entries.size() < 2)
        return;
    QElapsedTimer timer;
    timer.start();
    const auto lessNumber = [](auto a, auto b) { return a < b; };
    switch (key) {
    case SortKey::Date:
        sortByKey([](const RecordingEntry& e) { return e.startTime; }, lessNumber, ascending);
        break;
    case SortKey::Notes:
        sortByText([](const RecordingEntry& e) { return e.notes; }, ascending);
        break;
    case SortKey::Duration:
        sortByKey([](const RecordingEntry& e) { return e.duration; }, lessNumber, ascending);
        break;
    case SortKey::Size:
        sortByKey([](const RecordingEntry& e) { return e.fileSize; }, lessNumber, ascending);
        break;
    case SortKey::Protected:
        sortByKey([](const RecordingEntry& e) { return e.isProtected; }, lessNumber, ascending);
        break;
    case SortKey::Name:
        sortByText([](const RecordingEntry& e) { return e.name.toUpper(); }, ascending);
        break;
    }
    WriteLog(QStringLiteral("Tempo Ordinamento = %1").arg(timer.elapsed()));
}
