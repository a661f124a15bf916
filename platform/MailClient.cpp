#include "platform/MailClient.h"

#include "platform/SystemFolders.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

MailClient::MailClient(int timeoutMs) : m_timeoutMs(timeoutMs) {}

MailClient::~MailClient() = default;

bool MailClient::compose(const QString& subject, const QString& body, const QString& attachmentPath)
{
    QProcess process;
    // No pipes: a mail program started by xdg-email inherits its output, and must not die of
    // a closed pipe when we stop listening.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("xdg-email"),
                  {QStringLiteral("--utf8"), QStringLiteral("--subject"), subject,
                   QStringLiteral("--body"), body, QStringLiteral("--attach"), attachmentPath});
    if (!process.waitForStarted(m_timeoutMs))
        return false;
    if (!process.waitForFinished(m_timeoutMs)) {
        if (process.state() != QProcess::Running)
            return false;
        // The mail program it started runs on by itself; only xdg-email is stopped.
        process.kill();
        process.waitForFinished();
        return true;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString MailClient::attachmentFolder()
{
    const uid_t uid = ::getuid();
    const QString folder =
        SystemFolders::runtimeFolder() + QStringLiteral("parlune-send-%1").arg(uid);
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    // In a shared /tmp someone else may have made the folder first, or put a link there.
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid)
        return {};
    if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return {};
    return folder + u'/';
}
