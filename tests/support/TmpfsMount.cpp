#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

TmpfsMount::TmpfsMount(const QString& folder, qint64 bytes) : m_folder(folder)
{
    QDir().mkpath(folder);
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) !=
        0) {
        m_error = QStringLiteral("cannot mount a tmpfs on %1 (%2): needs root")
                      .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

TmpfsMount::~TmpfsMount()
{
    // Detached, so a file some process still holds open cannot keep the test's folder busy.
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool TmpfsMount::fill(qint64 leaveBytes)
{
    const QByteArray path = QFile::encodeName(m_folder + QStringLiteral("filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::vector<char> block(4096, '\0');
    struct statvfs info {};
    bool full = false;
    while (::fstatvfs(fd, &info) == 0) {
        const auto available = static_cast<qint64>(info.f_bavail) * qint64(info.f_frsize);
        if (available <= leaveBytes) {
            full = true;
            break;
        }
        const auto chunk = static_cast<size_t>(
            std::min<qint64>(qint64(block.size()), std::max<qint64>(1, available - leaveBytes)));
        if (::write(fd, block.data(), chunk) <= 0) {
            full = errno == ENOSPC;
            break;
        }
    }
    ::close(fd);
    return full;
}

void TmpfsMount::unfill()
{
    QFile::remove(m_folder + QStringLiteral("filler"));
}

bool TmpfsMount::setReadOnly(bool readOnly)
{
    unsigned long flags = MS_REMOUNT;
    if (readOnly)
        flags |= MS_RDONLY;
    return ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", flags, nullptr) == 0;
}
