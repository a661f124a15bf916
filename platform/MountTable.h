#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// The file systems the system is configured to mount (an fstab file) against the ones
/// mounted now (a mountinfo or mounts file), so that a folder on a share that is not mounted,
/// which is only the empty directory of its mount point, is told from the real folder. Both
/// files are read at each question. Any thread.
class MountTable {
public:
    /// `fstabFile` in fstab(5) format; `mountsFile` in /proc/PID/mountinfo or /proc/mounts
    /// format (told apart line by line).
    explicit MountTable(QString fstabFile = QStringLiteral("/etc/fstab"),
                        QString mountsFile = QStringLiteral("/proc/self/mountinfo"));

    /// The configured mount point that the absolute `folder` lies on, or is, while it is not
    /// mounted: the deepest configured one holding `folder`, unless a mounted file system
    /// holds `folder` at that depth or deeper. Empty when the folder is on a mounted file
    /// system, under no configured mount point, or when the mounted ones cannot be read
    /// (nothing can be said then). Symbolic links in `folder` are followed when it exists.
    QString unmountedMountPoint(const QString& folder) const;

    /// The mount points of an fstab text, unescaped ("\040" is a space) and without trailing
    /// slashes; comments, swap areas and entries without a mount point ("none") are left out.
    static QStringList configuredMountPoints(const QByteArray& fstabText);
    /// The mount points of a mountinfo or mounts text, unescaped, in the order listed.
    static QStringList mountedMountPoints(const QByteArray& mountsText);

private:
    QString m_fstabFile;
    QString m_mountsFile;
};
