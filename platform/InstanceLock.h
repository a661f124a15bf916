#pragma once

#include <QString>

/// Marks the one running instance of Parlune for a user: an advisory lock on a file,
/// held until the object is destroyed or the process ends (the kernel frees it even after a
/// crash). Used on the UI thread at start-up.
class InstanceLock {
public:
    /// The default lock file: $XDG_RUNTIME_DIR/parlune.lock, else /tmp/parlune-<uid>.lock.
    static QString defaultPath();

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    /// Takes the lock at `path`; false when another process (or another InstanceLock of this
    /// process) holds it, or when the file cannot be opened.
    bool tryAcquire(const QString& path);
    bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
