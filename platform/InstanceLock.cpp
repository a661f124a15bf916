#include "platform/InstanceLock.h"

#include "platform/SystemFolders.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString InstanceLock::defaultPath()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") &&
        SystemFolders::runtimeFolder() != QStringLiteral("/tmp/"))
        return SystemFolders::runtimeFolder() + QStringLiteral("parlune.lock");
    return QStringLiteral("/tmp/parlune-%1.lock").arg(getuid());
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InstanceLock::tryAcquire(const QString& path)
{
    if (m_fd >= 0)
        return true;
    // An open file description per attempt, so two locks in one process exclude each other too.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}
