#include "platform/Autostart.h"

#include "platform/SystemFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Desktop entries quote an Exec argument with double quotes and escape ", `, $ and \ in it.
QString quoteExec(const QString& path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

QString unquoteExec(QString exec)
{
    exec = exec.trimmed();
    if (!exec.startsWith(u'"'))
        return exec.section(u' ', 0, 0);
    QString out;
    for (qsizetype i = 1; i < exec.size(); ++i) {
        if (exec[i] == u'\\' && i + 1 < exec.size())
            out += exec[++i];
        else if (exec[i] == u'"')
            break;
        else
            out += exec[i];
    }
    return out;
}

} // namespace

QString Autostart::entryFile()
{
    return SystemFolders::configHome() + QStringLiteral("autostart/Parlune.desktop");
}

std::optional<QString> Autostart::read()
{
    QFile file(entryFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString content = QString::fromUtf8(file.readAll());
    for (const QString& line : content.split(u'\n')) {
        if (line.startsWith(QStringLiteral("Exec=")))
            return unquoteExec(line.mid(5));
    }
    return QString();
}

bool Autostart::write(const QString& programPath)
{
    if (!QDir().mkpath(QFileInfo(entryFile()).absolutePath()))
        return false;
    QSaveFile file(entryFile());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Parlune\n"
                       "Comment=Record calls taken on a headset or a microphone as MP3 files\n"
                       "Exec=%1\n"
                       "Icon=parlune\n"
                       "Terminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(quoteExec(programPath));
    file.write(entry.toUtf8());
    return file.commit();
}

bool Autostart::remove()
{
    QFile::remove(entryFile());
    return !QFileInfo::exists(entryFile());
}
