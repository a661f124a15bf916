#pragma once

#include "app/Settings.h"
#include "platform/FolderLock.h"
#include "store/RecordingEntry.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <memory>
#include <vector>

/// The recordings of one working folder, cached in its index file "Index.txt".
///
/// Lifecycle: construct, setFolder(), LoadList(), then the operations below; Clear() releases
/// the index, destruction (or loading another folder) also the folder's lock.
///
/// Only the holder of the folder's lock (FolderLock) changes its recordings, tags or index.
/// LoadList takes it; while another process holds it the list is loaded read-only from the
/// files' tags, nothing is written, and every operation that would change the folder fails
/// until tryTakeFolder() succeeds and the list is loaded again. Entries are owned by the list
/// and stay at the same address until they are removed. UI thread (or a tool's main thread).
class RecordingList {
public:
    /// Called by SaveModified with (done, total) before the first and after each tag written,
    /// when more than two tags are to be written; the UI shows a "Saving..." window.
    using Progress = std::function<void(int done, int total)>;
    RecordingList();
    ~RecordingList();
    RecordingList(const RecordingList&) = delete;
    RecordingList& operator=(const RecordingList&) = delete;

    /// Takes what the list uses of the settings (indexDisabled keeps the index away), from the
    /// next LoadList() on.
    void applySettings(const Settings& settings);

    void setFolder(const QString& folder); ///< ends with "/"
    const QString& folder() const { return m_folder; }
    bool indexOpen() const;
    /// How LoadList takes the folder's lock: `holder` is written into the lock file (see
    /// FolderLock::thisProcess), and another holder is waited for up to `waitMs` (0: not at
    /// all, as the window must not wait).
    void setLockHolder(const QString& holder, int waitMs);
    /// True while this list holds the lock of the folder it loaded, so it may change it.
    bool holdsFolder() const { return m_lock.isHeld(); }
    /// The outcome of the last attempt to take the folder's lock.
    FolderLock::Result folderAccess() const { return m_access; }
    /// Takes the loaded folder's lock without waiting, when it is not held yet; true when the
    /// list holds it now. The caller then loads the list again (Clear(), LoadList()) to read
    /// what the previous holder changed.
    bool tryTakeFolder();

    /// Takes the folder's lock (see setLockHolder) unless it holds it already, then loads the
    /// entries of `folderOverride` (or of folder() when empty) through the index,
    /// reconciled with the ".mp3" files present (exact ".mp3", matched to records by name, then
    /// ignoring case: an entry matched that way takes the file's name and becomes Modified).
    /// Callers Clear() first. False only when the folder cannot be read.
    bool LoadList(const QString& folderOverride = QString());
    /// Deletes every entry and releases the index; the folder's lock stays held, so that a
    /// reload cannot let another process in between.
    void Clear();
    /// A new entry for a recording about to start: `givenName`, or "Recording %d" (string 11)
    /// with `prefix` + " - " in front when a prefix is given; never a name with which an
    /// existing file begins (ignoring case) nor the name of an entry. Default names are
    /// numbered by a counter kept for the life of the list. State Recording; appended and
    /// indexed.
    RecordingEntry* NewEntry(const QString& givenName, const QString& prefix);
    /// Appends `entry` (and its record, when the index is open).
    RecordingEntry* AddEntry(std::unique_ptr<RecordingEntry> entry);
    /// The first entry with exactly this name (case-sensitive), or null.
    RecordingEntry* FindByName(const QString& name) const;
    /// The first entry with this name ignoring case, or null.
    RecordingEntry* FindByNameIgnoringCase(const QString& name) const;
    int Count() const { return static_cast<int>(m_entries.size()); }
    RecordingEntry* at(int position) const { return m_entries.at(position).get(); }
    const std::vector<std::unique_ptr<RecordingEntry>>& entries() const { return m_entries; }
    /// Writes the tags and index records of all entries in state Modified; false when any tag
    /// could not be written (that entry's record is left as it was, agreeing with its file,
    /// and the entry stays Modified) or when the folder's lock is not held.
    bool SaveModified(const Progress& progress = {});
    /// Measures the duration of every recording not measured yet (and not being recorded),
    /// then saves them (tag and index record), so that the next load need not measure again.
    void MeasureUnknownDurations();
    /// True (the window) leaves lengths that loading, or the leftover recovery, finds unknown
    /// as they are, for a measurer off the UI thread (DurationMeasurer); false (the default,
    /// tools) measures them on the spot.
    void setDurationsMeasuredLater(bool later) { m_durationsLater = later; }
    bool durationsMeasuredLater() const { return m_durationsLater; }
    /// Rewrites `entry`'s index record in place (or, when its length changes, marks the old
    /// record deleted and appends the new one).
    void UpdateRecord(RecordingEntry& entry);
    /// What DeleteRecordings does with the files of the entries it removes.
    enum class Removal {
        KeepFiles, ///< the files stay; only the entries (and their index records) go
        ToTrash,   ///< the files go to the trash, all or none
        ForGood,   ///< the files are deleted, as many as can be
    };
    /// Removes the named entries and does with their files as `removal` says (a file that is
    /// already gone needs nothing). False, with nothing changed, when a name has no entry, the
    /// trash refuses, or the folder's lock is not held and files are to go (entries alone
    /// touch nothing on disk without the lock, the index being closed then). ForGood removes
    /// the entries whose files are gone and keeps the others, returning false when any is kept.
    bool DeleteRecordings(const QStringList& names, Removal removal);
    /// Reloads `entry` from its file, measuring the duration again, and rewrites its record.
    /// Nothing happens when the file does not exist (a recording still in progress).
    void RefreshEntry(RecordingEntry& entry);
    /// Deletes the index and loads the list again from the files' tags (only while the index
    /// is open; the entries are replaced).
    void RebuildIndex();
    /// What the entries are sorted by.
    enum class SortKey {
        Name,      ///< upper-cased, then byte by byte in UTF-8
        Date,      ///< start date and time
        Notes,     ///< byte by byte in UTF-8 (case-sensitive)
        Duration,  ///< a length not measured yet counts as the smallest
        Size,      ///< file size
        Protected, ///< unprotected first
    };
    /// Stable sort by `key`: equal keys keep their previous order.
    void Sort(SortKey key, bool ascending);

    /// The name of the index file.
    static QString indexFileName() { return QStringLiteral("Index.txt"); }

private:
    struct Index;
    struct Listing;

    /// Opens and locks folder + "Index.txt", reads its records and reconciles them with the
    /// files `listing` delivers. False, with nothing loaded, when the index is disabled, cannot
    /// be opened or is held elsewhere. A write that fails later closes the index (the entries
    /// stay loaded).
    bool LoadFromIndex(const QString& folder, const std::shared_future<Listing>& listing);
    /// Reads the tag of a listed recording (an ".mp3") into a new appended entry.
    RecordingEntry* AddScannedFile(const QString& path, const QString& folder);
    /// Writes `entry`'s record at the end of the index (when open).
    void appendRecord(RecordingEntry& entry);
    /// Marks the record at `offset` deleted (when the index is open).
    void markRecordDeleted(uint32_t offset);
    /// Stable sort of the entries by `key` (computed once per entry) ordered by `less`.
    template <typename Key, typename Less> void sortByKey(Key key, Less less, bool ascending);
    /// Stable sort of the entries by the text `text` gives, in the order of its UTF-8 bytes.
    template <typename Text> void sortByText(Text text, bool ascending);

    bool m_indexDisabled = false;
    QString m_folder;
    QString m_holder;
    int m_lockWaitMs = 0;
    FolderLock m_lock;
    FolderLock::Result m_access = FolderLock::Result::Unavailable;
    /// Numbers the default names; the list lives as long as the program, so names never repeat
    /// within a run.
    int m_nameCounter = 1;
    bool m_durationsLater = false;
    std::vector<std::unique_ptr<RecordingEntry>> m_entries;
    std::unique_ptr<Index> m_index;
};
