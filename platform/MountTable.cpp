#include "platform/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// fstab and the kernel write blanks, tabs, newlines and backslashes in paths as "\ooo".
QString unescaped(const QByteArray& field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            bytes += char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                          (field[i + 3] - '0'));
            i += 3;
        } else {
            bytes += field[i];
        }
    }
    return QDir::cleanPath(QFile::decodeName(bytes));
}

QList<QByteArray> fields(const QByteArray& line)
{
    return line.simplified().split(' ');
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool holds(const QString& mountPoint, const QString& path)
{
    return mountPoint == QStringLiteral("/") || path == mountPoint ||
           path.startsWith(mountPoint + u'/');
}

// The depth of the deepest of `mountPoints` holding `path`, -1 when none does.
qsizetype deepestHolding(const QStringList& mountPoints, const QString& path, QString* which)
{
    qsizetype depth = -1;
    for (const QString& mountPoint : mountPoints) {
        if (mountPoint.size() > depth && holds(mountPoint, path)) {
            depth = mountPoint.size();
            if (which)
                *which = mountPoint;
        }
    }
    return depth;
}

} // namespace

MountTable::MountTable(QString fstabFile, QString mountsFile)
    : m_fstabFile(std::move(fstabFile)), m_mountsFile(std::move(mountsFile))
{}

QStringList MountTable::configuredMountPoints(const QByteArray& fstabText)
{
    QStringList result;
    for (const QByteArray& line : fstabText.split('\n')) {
        const QList<QByteArray> f = fields(line);
        if (f.size() < 2 || f[0].isEmpty() || f[0].startsWith('#') || !f[1].startsWith('/'))
            continue;
        if (f.size() >= 3 && f[2] == "swap")
            continue;
        result += unescaped(f[1]);
    }
    return result;
}

QStringList MountTable::mountedMountPoints(const QByteArray& mountsText)
{
    QStringList result;
    for (const QByteArray& line : mountsText.split('\n')) {
        const QList<QByteArray> f = fields(line);
        // mountinfo: "ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS ... - TYPE SOURCE ...";
        // mounts: "SOURCE MOUNTPOINT TYPE OPTIONS 0 0".
        bool numbered = false;
        f.value(0).toInt(&numbered);
        const bool mountinfo = numbered && f.size() >= 7 && f.contains("-");
        const QByteArray mountPoint = f.value(mountinfo ? 4 : 1);
        if (mountPoint.startsWith('/'))
            result += unescaped(mountPoint);
    }
    return result;
}

QString MountTable::unmountedMountPoint(const QString& folder) const
{
    const QStringList configured = configuredMountPoints(readAll(m_fstabFile));
    if (configured.isEmpty())
        return {};
    const QStringList mounted = mountedMountPoints(readAll(m_mountsFile));
    if (mounted.isEmpty())
        return {};
    // Mount points are listed without links, so a folder reached through one is compared by
    // where it really is.
    QString path = QFileInfo(folder).canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(folder);
    QString mountPoint;
    const qsizetype configuredDepth = deepestHolding(configured, path, &mountPoint);
    if (configuredDepth < 0 || deepestHolding(mounted, path, nullptr) >= configuredDepth)
        return {};
    return mountPoint;
}
