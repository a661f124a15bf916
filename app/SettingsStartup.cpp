#include "app/SettingsStartup.h"

#include "app/DiagnosticLog.h"
#include "app/SettingsNames.h"
#include "platform/FileOps.h"
#include "platform/SettingsKey.h"

#include <QDir>
#include <QFileInfo>

using namespace SettingsNames;

namespace {

QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString withoutSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

SettingsStartup::SettingsStartup(QString userFile, QString machineFile, QString programFolder,
                                 QString dataFolder, MountTable mounts)
    : m_userFile(std::move(userFile)), m_machineFile(std::move(machineFile)),
      m_programFolder(std::move(programFolder)), m_dataFolder(std::move(dataFolder)),
      m_mounts(std::move(mounts))
{}

bool SettingsStartup::isUnreachable(const QString& folder) const
{
    // The fallback folder is the last resort: calling it lost would only point it at itself.
    if (withSlash(folder) == fallbackFolder())
        return false;
    const QString path = withoutSlash(folder);
    // The root and the kernel's own trees hold no user's recordings: an index, a lock file
    // and recovered audio would be written where they do not belong.
    const QString real = QFileInfo(path).canonicalFilePath();
    const auto under = [&](const QString& tree) {
        return real == tree || real.startsWith(tree + u'/');
    };
    if (real.isEmpty() || real == QStringLiteral("/") || under(QStringLiteral("/proc")) ||
        under(QStringLiteral("/sys")) || under(QStringLiteral("/dev")))
        return true;
    return !FileOps::canWriteIn(path) || !m_mounts.unmountedMountPoint(path).isEmpty();
}

QString SettingsStartup::usableWorkingFolder() const
{
    const QString fallback = fallbackFolder();
    SettingsStore settingsStore = store();
    Settings settings;
    const auto stored =
        settingsStore.load(settings) ? settingsStore.textRead(WorkDir) : std::nullopt;
    if (!stored || !QDir::isAbsolutePath(*stored) || !QFileInfo(withoutSlash(*stored)).isDir() ||
        isUnreachable(*stored))
        return fallback;
    return withSlash(*stored);
}

QString SettingsStartup::fallbackFolder() const
{
    return m_dataFolder + QStringLiteral("Recordings/");
}

SettingsStore SettingsStartup::store() const
{
    return SettingsStore(m_userFile, m_programFolder, fallbackFolder());
}

void SettingsStartup::copyMachineToUser() const
{
    store().copyFrom(m_machineFile);
}

void SettingsStartup::createDefaults() const
{
    store().createDefaults();
}

void SettingsStartup::resolveWorkingFolder(SettingsStore& store, StartupSettings& result) const
{
    Settings& s = result.settings;
    const QString fallback = fallbackFolder();
    const auto stored = store.textRead(WorkDir);
    // An empty or relative folder names no place at all: it is never "lost", so it must not
    // start a realignment (which would later adopt whatever the text happens to resolve to).
    if (!stored || stored->isEmpty() || !QDir::isAbsolutePath(*stored)) {
        s.workingFolder = fallback;
        store.save(s, {WorkDir});
        return;
    }
    QString folder = withSlash(*stored);
    // The fallback folder is ours to make; it is only missing before the first recording.
    if (folder == fallback)
        QDir().mkpath(fallback);
    const QFileInfo info(withoutSlash(folder));
    if (!info.exists() || (info.isDir() && isUnreachable(folder))) {
        s.folderToRealign = folder;
        s.workingFolder = fallback;
        s.realign = true;
        store.save(s, {CartellaDaRiallineare, WorkDir, Riallinea});
        result.folderCheck = StartupSettings::FolderCheck::Lost;
        return;
    }
    s.workingFolder = folder;
    if (!info.isDir()) {
        s.workingFolder = fallback;
        store.save(s, {WorkDir});
    }
    const QString lost = s.folderToRealign;
    if (s.realign && !lost.isEmpty() && QDir::isAbsolutePath(lost)) {
        const QFileInfo back(withoutSlash(lost));
        if (back.isDir() && !isUnreachable(lost)) {
            result.folderCheck = StartupSettings::FolderCheck::Back;
            result.realignmentPending = true;
            s.workingFolder = withSlash(lost);
            s.realign = false;
            store.save(s, {WorkDir, Riallinea});
        }
    }
}

StartupSettings SettingsStartup::read() const
{
    StartupSettings result;
    SettingsStore settingsStore = store();
    if (!settingsStore.load(result.settings, SettingsKey::Access::ReadWrite))
        return result;
    result.keyOpened = true;
    Settings& s = result.settings;
    WriteLog(QStringLiteral("Dump Impostazioni:"));

    resolveWorkingFolder(settingsStore, result);
    QDir().mkpath(s.workingFolder);

    using Dump = SettingsTable::Value::Dump;
    for (const SettingsTable::Value& value : SettingsTable::values()) {
        const auto read = settingsStore.textRead(value.name);
        switch (value.dump) {
        case Dump::None:
            break;
        case Dump::Field:
            WriteLog(value.dumpLabel + SettingsStore::textOf(value, s).value_or(QString()));
            break;
        case Dump::TextRead:
            WriteLog(value.dumpLabel + read.value_or(settingsStore.missingText(value)));
            break;
        case Dump::OnlyWhenRead:
            if (read)
                WriteLog(value.dumpLabel + *read);
            break;
        }
    }

    // Only the first start (or one asked for from outside) shows the mixer's errors.
    Settings written = s;
    written.firstRun = false;
    settingsStore.save(written, {PrimoLancio});
    return result;
}
