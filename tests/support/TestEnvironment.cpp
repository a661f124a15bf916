#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

TestEnvironment::TestEnvironment(Encoder encoder)
{
    m_dir.setAutoRemove(true);
    for (const QString& folder :
         {programFolder(), dataFolder(), configFolder(), machineConfigFolder(),
          root() + QStringLiteral("runtime"), root() + QStringLiteral("home")})
        QDir().mkpath(folder);
    QFile::setPermissions(root() + QStringLiteral("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setVariable("HOME", root() + QStringLiteral("home"));
    setVariable("XDG_CONFIG_HOME", configFolder());
    setVariable("XDG_DATA_HOME", root() + QStringLiteral("data"));
    setVariable("XDG_CONFIG_DIRS", machineConfigFolder());
    setVariable("XDG_RUNTIME_DIR", root() + QStringLiteral("runtime"));
    setVariable("PARLUNE_PROGRAM_DIR", programFolder());
    if (encoder == Encoder::Present) {
        QFile::link(QStringLiteral(PARLUNE_BIN_DIR "/libencodermp3.so"),
                    programFolder() + QStringLiteral("libencodermp3.so"));
    }
}

TestEnvironment::~TestEnvironment()
{
    for (const QString& folder : m_readOnlyMounts)
        QProcess::execute(QStringLiteral("umount"), {folder});
    for (const QString& folder : m_readOnlyFolders)
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const auto& [name, value] : m_saved) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

bool TestEnvironment::makeReadOnly(const QString& folder)
{
    if (::geteuid() != 0) {
        m_readOnlyFolders += folder;
        return QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    }
    // Permission bits do not stop the superuser; a read-only file system does.
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"--bind", "-o", "ro", folder, folder});
    if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit ||
        mount.exitCode() != 0)
        return false;
    m_readOnlyMounts += folder;
    return true;
}

void TestEnvironment::setVariable(const char* name, const QString& value)
{
    if (!m_saved.count(name)) {
        m_saved[name] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    qputenv(name, value.toUtf8());
}

QString TestEnvironment::root() const
{
    return m_dir.path() + u'/';
}
QString TestEnvironment::programFolder() const
{
    return root() + QStringLiteral("program/");
}
QString TestEnvironment::dataFolder() const
{
    return root() + QStringLiteral("data/Parlune/");
}
QString TestEnvironment::configFolder() const
{
    return root() + QStringLiteral("config/");
}
QString TestEnvironment::machineConfigFolder() const
{
    return root() + QStringLiteral("etc-xdg/");
}
QString TestEnvironment::userSettingsFile() const
{
    return configFolder() + QStringLiteral("Orvane/Parlune.conf");
}
QString TestEnvironment::machineSettingsFile() const
{
    return machineConfigFolder() + QStringLiteral("Orvane/Parlune.conf");
}
QString TestEnvironment::logFile() const
{
    return dataFolder() + QStringLiteral("PL.log");
}
QString TestEnvironment::lockFile() const
{
    return root() + QStringLiteral("runtime/parlune.lock");
}

QStringList TestEnvironment::logLines() const
{
    QFile file(logFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QStringLiteral("\r\n")))
        text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

void TestEnvironment::writeSettingsFile(const QString& path, const QStringList& lines)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write((lines.join(u'\n') + u'\n').toUtf8());
}

QStringList TestEnvironment::settingsFileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}
