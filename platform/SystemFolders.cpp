#include "platform/SystemFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString executableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Without an application object (early start-up, some tests) the kernel still knows.
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

} // namespace

QString SystemFolders::homeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

QString SystemFolders::programFolder()
{
    const QString overridden = qEnvironmentVariable("PARLUNE_PROGRAM_DIR");
    if (!overridden.isEmpty())
        return programFolderFor(overridden, QString(), false);
    const QString executable = executableFolder();
    // The encoder library is the one file every program folder holds.
    const bool holdsEncoder =
        QFileInfo(withSlash(executable) + QStringLiteral("libencodermp3.so")).isFile();
    return programFolderFor(QString(), executable, holdsEncoder);
}

QString SystemFolders::programFolderFor(const QString& overridden, const QString& executableFolder,
                                        bool executableFolderIsProgram)
{
    if (!overridden.isEmpty())
        return withSlash(QDir::cleanPath(overridden));
    if (executableFolderIsProgram)
        return withSlash(QDir::cleanPath(executableFolder));
    return withSlash(QDir::cleanPath(executableFolder + QStringLiteral("/../lib/parlune")));
}

QString SystemFolders::dataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = homeFolder() + QStringLiteral("/.local/share");
    return withSlash(base) + QStringLiteral("Parlune/");
}

QString SystemFolders::configHome()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = homeFolder() + QStringLiteral("/.config");
    return withSlash(base);
}

QString SystemFolders::userSettingsFile()
{
    return configHome() + QStringLiteral("Orvane/Parlune.conf");
}

QString SystemFolders::machineSettingsFile()
{
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    QString first;
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) {
        const QString candidate = withSlash(dir) + QStringLiteral("Orvane/Parlune.conf");
        if (first.isEmpty())
            first = candidate;
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return first;
}

QString SystemFolders::runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return withSlash(runtime);
    return QStringLiteral("/tmp/");
}
