#include "platform/ProcessRunner.h"

#include <QFileInfo>
#include <QProcess>

bool ProcessRunner::runAndWait(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return false;
    process.waitForFinished(-1);
    return true;
}

bool ProcessRunner::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}
