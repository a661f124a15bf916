#include "app/DiagnosticLog.h"

#include "platform/SystemFolders.h"

#include <QDir>
#include <QFile>

#include <mutex>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

QString DiagnosticLog::path(const QString& fileName)
{
    return SystemFolders::dataFolder() + fileName;
}

void DiagnosticLog::writeFile(const QString& text, const QString& fileName)
{
    const QString folder = SystemFolders::dataFolder();
    const QByteArray line = text.toUtf8();
    const QByteArray filePath = QFile::encodeName(folder + fileName);

    std::lock_guard lock(logMutex());
    int fd = ::open(filePath.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ENOENT && QDir().mkpath(folder))
        fd = ::open(filePath.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write call per line, so that another process appending to the file cannot split it.
    char crlf[] = {'\r', '\n'};
    iovec parts[2] = {{const_cast<char*>(line.constData()), static_cast<size_t>(line.size())},
                      {crlf, sizeof crlf}};
    [[maybe_unused]] const ssize_t written = ::writev(fd, parts, 2);
    ::close(fd);
}

void DiagnosticLog::reset()
{
    std::lock_guard lock(logMutex());
    QFile::remove(path(mainFileName()));
}
