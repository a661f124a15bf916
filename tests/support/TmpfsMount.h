#pragma once

#include <QString>

/// A small tmpfs mounted on a fresh folder for one test and unmounted when the object goes:
/// a disk that really fills up, or really refuses writes (root ignores file permissions, so
/// only a read-only mount stops it). Mounting needs root, as the tests have in CI; where it
/// is impossible, mounted() is false and whyNot() says so for GTEST_SKIP.
class TmpfsMount {
public:
    /// Mounts `bytes` of tmpfs on `folder` (created when missing; ends with "/").
    TmpfsMount(const QString& folder, qint64 bytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return m_mounted; }
    QString whyNot() const { return m_error; }
    /// Fills the free space with a file named "filler" until only `leaveBytes` (rounded to
    /// pages) remain; true when the disk got that full.
    bool fill(qint64 leaveBytes = 0);
    /// Removes the filler, freeing its space.
    void unfill();
    /// Remounts the tmpfs read-only, or writable again.
    bool setReadOnly(bool readOnly);

private:
    QString m_folder;
    QString m_error;
    bool m_mounted = false;
};
