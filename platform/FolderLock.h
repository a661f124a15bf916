#pragma once

#include <QString>

/// The lock that lets one process at a time change the recordings, the tags and the index of a
/// working folder: an exclusive flock on the hidden file ".parlune.lock" inside the folder. The
/// file also names its holder, so that a process kept out can say who has the folder. The
/// kernel frees the lock when its holder dies, so a held lock always belongs to a live process.
/// Two FolderLock objects exclude each other even within one process. One owner thread.
class FolderLock {
public:
    enum class Result {
        Held,        ///< this object holds the folder now
        Busy,        ///< another holder kept it for the whole wait
        Unavailable, ///< the lock file cannot be made or is not a regular file (read-only folder)
    };

    /// The lock file's name inside the folder.
    static QString fileName() { return QStringLiteral(".parlune.lock"); }

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    /// Takes the lock of `folder` (ending with "/"), trying again for up to `waitMs` while
    /// another holder has it, and then writes `holder` (a short text such as
    /// "parlunectl 1234 rename") into the file. A lock already held is released first.
    Result acquire(const QString& folder, const QString& holder, int waitMs = 0);
    bool isHeld() const { return m_fd >= 0; }
    /// The folder held, ending with "/"; empty when none.
    const QString& folder() const { return m_folder; }
    void release();

    /// The text the current holder of `folder`'s lock wrote, or an empty string when it
    /// cannot be read.
    static QString holderOf(const QString& folder);
    /// The holder text of this process: the program's name, its process id and `what`.
    static QString thisProcess(const QString& what = QString());

private:
    int m_fd = -1;
    QString m_folder;
};
