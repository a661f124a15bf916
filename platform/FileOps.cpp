#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

int renameNoReplaceCall(const QByteArray& from, const QByteArray& to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                  RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // File systems without renameat2 support: link refuses an existing target just the same.
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}

} // namespace

FileOps::RenameResult FileOps::renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (renameNoReplaceCall(source, target) == 0) {
        syncFolderOf(to);
        return RenameResult::Done;
    }
    switch (errno) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameResult::TargetExists;
    case ENOENT:
        // A missing source is a plain failure; a missing target folder is an invalid path.
        return QFileInfo::exists(from) ? RenameResult::InvalidPath : RenameResult::Failed;
    case ENAMETOOLONG:
    case ENOTDIR:
    case EINVAL:
        return RenameResult::InvalidPath;
    default:
        return RenameResult::Failed;
    }
}

bool FileOps::sync(QFileDevice& file)
{
    return file.flush() && ::fdatasync(file.handle()) == 0;
}

bool FileOps::canWriteIn(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

void FileOps::syncFolderOf(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool FileOps::replace(const QString& replacement, const QString& target)
{
    const QByteArray source = QFile::encodeName(replacement);
    const int fd = ::open(source.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || ::rename(source.constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    syncFolderOf(target);
    return true;
}

bool FileOps::openRegularFile(QFile& file, const QString& path)
{
    // Non-blocking, so that a FIFO cannot hold the open; cleared again for the regular file.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool FileOps::tryLockExclusive(QFileDevice& file)
{
    return file.isOpen() && ::flock(file.handle(), LOCK_EX | LOCK_NB) == 0;
}

bool FileOps::moveToTrash(const QStringList& paths)
{
    std::vector<std::pair<QString, QString>> moved;
    const auto putBack = [&] {
        for (auto it = moved.rbegin(); it != moved.rend(); ++it)
            renameNoReplace(it->second, it->first);
    };
    for (const QString& path : paths) {
        QFile file(path);
        const bool trashed = file.moveToTrash();
        // When Qt cannot set up a trash folder it moves the file to "files/" under the current
        // folder and still reports success: that is no trash, so the file goes back.
        if (trashed && QFileInfo(file.fileName()).isRelative()) {
            renameNoReplace(QFileInfo(file.fileName()).absoluteFilePath(), path);
            putBack();
            return false;
        }
        if (!trashed) {
            putBack();
            return false;
        }
        moved.emplace_back(path, file.fileName());
    }
    return true;
}

bool FileOps::removeFiles(const QStringList& paths)
{
    bool allGone = true;
    for (const QString& path : paths) {
        // unlink removes a link itself, and a file already gone is what was asked for.
        if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
            allGone = false;
    }
    return allGone;
}

QString FileOps::createUniqueTemporary(const QString& folder)
{
    QString base = folder;
    if (!base.endsWith(u'/'))
        base += u'/';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const quint32 number = QRandomGenerator::global()->bounded(0x10000u);
        const QString path =
            base + QStringLiteral("TEM%1.tmp").arg(QString::number(number, 16).toUpper());
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

QString FileOps::createUniqueFile(QFile& file, const QString& folder, const QString& prefix,
                                  const QString& suffix, QIODevice::OpenMode mode)
{
    QString base = folder;
    if (!base.endsWith(u'/'))
        base += u'/';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const quint32 number = QRandomGenerator::global()->generate();
        const QString path =
            base + prefix + QStringLiteral("%1").arg(number, 8, 16, QLatin1Char('0')) + suffix;
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        file.setFileName(path);
        if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            ::unlink(QFile::encodeName(path).constData());
            return {};
        }
        return path;
    }
    return {};
}
