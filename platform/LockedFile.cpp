#include "platform/LockedFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

LockedFile::~LockedFile()
{
    close();
}

LockedFile::LockedFile(LockedFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_identity(std::exchange(other.m_identity, 0)),
      m_error(std::move(other.m_error))
{}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_identity = std::exchange(other.m_identity, 0);
        m_error = std::move(other.m_error);
    }
    return *this;
}

void LockedFile::fail()
{
    m_error = QString::fromLocal8Bit(std::strerror(errno));
}

LockedFile::OpenResult LockedFile::open(const QString& path, Creation creation)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    const int flags =
        O_WRONLY | O_APPEND | O_CLOEXEC | (creation == Creation::CreateWhenMissing ? O_CREAT : 0);
    // The name may be renamed away between open and lock; then the lock is on the wrong file.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = ::open(name.constData(), flags, 0644);
        if (fd < 0) {
            fail();
            return OpenResult::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            fail();
            ::close(fd);
            return busy ? OpenResult::LockedByOther : OpenResult::Failed;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) != 0) {
            fail();
            ::close(fd);
            return OpenResult::Failed;
        }
        if (::stat(name.constData(), &named) == 0 && named.st_ino == opened.st_ino &&
            named.st_dev == opened.st_dev) {
            m_fd = fd;
            m_identity = (static_cast<uint64_t>(opened.st_dev) << 40) ^ opened.st_ino;
            return OpenResult::Opened;
        }
        ::close(fd);
    }
    m_error = QStringLiteral("the file keeps changing");
    return OpenResult::Failed;
}

bool LockedFile::isAt(const QString& path) const
{
    struct stat opened {};
    struct stat named {};
    return m_fd >= 0 && ::fstat(m_fd, &opened) == 0 &&
           ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           named.st_ino == opened.st_ino && named.st_dev == opened.st_dev;
}

int64_t LockedFile::size() const
{
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return -1;
    return info.st_size;
}

bool LockedFile::truncate()
{
    if (m_fd < 0 || ::ftruncate(m_fd, 0) != 0) {
        fail();
        return false;
    }
    return true;
}

bool LockedFile::append(const void* bytes, size_t count)
{
    const auto* data = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t written = ::write(m_fd, data, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail();
            return false;
        }
        data += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool LockedFile::sync()
{
    if (m_fd < 0 || ::fdatasync(m_fd) != 0) {
        fail();
        return false;
    }
    return true;
}

void LockedFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd); // also frees the lock
    m_fd = -1;
    m_identity = 0;
}
