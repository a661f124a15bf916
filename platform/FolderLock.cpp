#include "platform/FolderLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRetryMs = 50;
constexpr qint64 kMaxHolderBytes = 200;

// Opens the lock file without following a link and without blocking on a FIFO; -1 unless it
// is a regular file.
int openLockFile(const QString& path, bool create)
{
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_RDWR | O_CREAT : O_RDONLY);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0644);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

FolderLock::~FolderLock()
{
    release();
}

void FolderLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd); // also frees the flock
    m_fd = -1;
    m_folder.clear();
}

FolderLock::Result FolderLock::acquire(const QString& folder, const QString& holder, int waitMs)
{
    release();
    const int fd = openLockFile(folder + fileName(), true);
    if (fd < 0)
        return Result::Unavailable;
    const QDeadlineTimer deadline(std::max(0, waitMs));
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK || errno == EINTR;
        if (!busy || deadline.hasExpired()) {
            ::close(fd);
            return busy ? Result::Busy : Result::Unavailable;
        }
        QThread::msleep(static_cast<unsigned long>(
            std::min<qint64>(kRetryMs, std::max<qint64>(1, deadline.remainingTime()))));
    }
    const QByteArray text = holder.toUtf8().left(kMaxHolderBytes) + '\n';
    // The holder's name only helps a message: a failure to write it (a full disk) is no reason
    // to give the folder up.
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written =
            ::pwrite(fd, text.constData(), size_t(text.size()), 0);
    }
    m_fd = fd;
    m_folder = folder;
    return Result::Held;
}

QString FolderLock::holderOf(const QString& folder)
{
    const int fd = openLockFile(folder + fileName(), false);
    if (fd < 0)
        return {};
    char buffer[kMaxHolderBytes + 1];
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    if (got <= 0)
        return {};
    return QString::fromUtf8(buffer, got).section(u'\n', 0, 0).trimmed();
}

QString FolderLock::thisProcess(const QString& what)
{
    QString text = QCoreApplication::applicationName();
    if (text.isEmpty())
        text = QStringLiteral("parlune");
    text += u' ' + QString::number(QCoreApplication::applicationPid());
    if (!what.isEmpty())
        text += u' ' + what;
    return text;
}
