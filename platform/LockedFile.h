#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

/// A file opened for appending under an exclusive advisory lock (flock), held until close().
/// The kernel frees the lock when the process dies, so a locked file belongs to a live
/// process. Writes go straight to the file (no user-space buffer), so a killed process loses
/// nothing it wrote; sync() makes them durable against a power cut. Renaming the file keeps
/// the lock, which is on the open file, not on its name. One owner thread at a time.
class LockedFile {
public:
    enum class OpenResult {
        Opened,
        LockedByOther, ///< another open file (another process) holds the lock
        Failed,
    };

    /// Whether open() creates a missing file; a missing file is Failed with ExistingOnly.
    enum class Creation { CreateWhenMissing, ExistingOnly };

    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    /// The lock moves with the open file; `other` is left closed.
    LockedFile(LockedFile&& other) noexcept;
    LockedFile& operator=(LockedFile&& other) noexcept;

    /// Opens and locks `path`, without truncating it; creates it when missing unless told not
    /// to.
    OpenResult open(const QString& path, Creation creation = Creation::CreateWhenMissing);
    bool isOpen() const { return m_fd >= 0; }
    /// True when the open file is the one `path` names now (it may have been renamed since).
    bool isAt(const QString& path) const;
    /// The file's size in bytes, -1 on failure.
    int64_t size() const;
    /// Identifies the open file (device and inode), to tell it from another of the same name.
    uint64_t identity() const { return m_identity; }
    bool truncate();
    /// Appends all of `bytes`; false on failure (the error text says why).
    bool append(const void* bytes, size_t count);
    bool sync();
    void close();
    /// The system's text for the last failure.
    QString errorText() const { return m_error; }

private:
    void fail();

    int m_fd = -1;
    uint64_t m_identity = 0;
    QString m_error;
};
