#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

class QFile;
class QFileDevice;

/// File operations with the guarantees the recordings need: a rename never replaces a file,
/// a replacement reaches the disk before it takes the old file's place, deletions go to the
/// trash unless asked to delete for good. Callable from any thread.
class FileOps {
public:
    enum class RenameResult {
        Done,
        TargetExists, ///< a file of that name exists (Windows' "access denied")
        InvalidPath,  ///< the target folder does not exist or the name cannot be a file name
        Failed,       ///< any other error
    };

    /// Renames `from` to `to`, failing when `to` exists (names differing only in case are
    /// different files here; callers that must refuse those check first). A done rename is
    /// made durable: the folder is synced.
    static RenameResult renameNoReplace(const QString& from, const QString& to);
    /// Flushes `file` (open for writing) to the disk; false on failure.
    static bool sync(QFileDevice& file);
    /// Puts the finished file `replacement` in the place of `target` in one step: its data is
    /// synced first, then it is renamed over `target`, then the folder is synced. A crash at
    /// any moment leaves either the old or the new file under `target`.
    static bool replace(const QString& replacement, const QString& target);
    /// Moves `paths` to the freedesktop trash, all or none as far as can be: when one cannot
    /// go, the ones already moved are put back and the result is false.
    static bool moveToTrash(const QStringList& paths);
    /// Deletes `paths` for good (a symbolic link itself, not what it names), as many as can go:
    /// one that cannot is skipped and the rest still go. True when none of them is left; a
    /// path that is already gone counts as deleted.
    static bool removeFiles(const QStringList& paths);
    /// Creates a new empty file in `folder` named "TEM" + hex number + ".tmp", never one that
    /// exists; returns its path, or an empty string on failure.
    static QString createUniqueTemporary(const QString& folder);
    /// Creates a new file in `folder` named `prefix` + 8 random hex digits + `suffix`, never
    /// one that exists (exclusive creation), and opens it into `file` in `mode` (which must
    /// include writing). Returns its path, or an empty string (and `file` closed) on failure.
    static QString createUniqueFile(QFile& file, const QString& folder, const QString& prefix,
                                    const QString& suffix,
                                    QIODevice::OpenMode mode = QIODevice::WriteOnly);
    /// Opens `path` for unbuffered reading and writing into `file`, creating it when missing,
    /// but only when it is a regular file reached without following a symbolic link: a link,
    /// a FIFO or a device is refused (false) without being read or written.
    static bool openRegularFile(QFile& file, const QString& path);
    /// Takes an exclusive advisory lock on the open `file` without waiting; false when another
    /// open file holds it. Closing the file releases it.
    static bool tryLockExclusive(QFileDevice& file);
    /// True when this process may create files in `folder` now, asked of the system itself
    /// (access(2)), so that a read-only file system refuses even the superuser.
    static bool canWriteIn(const QString& folder);
    /// Syncs the folder holding `path`, so that a rename or creation in it is durable.
    static void syncFolderOf(const QString& path);
};
