#pragma once

#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "platform/MountTable.h"

#include <QString>

/// What the start-up read hands to the rest of the start-up: the record and what is no setting.
struct StartupSettings {
    /// The working folder check: nothing to say, the folder was lost (records go to the
    /// fallback folder), or a lost folder is back and in use again. A folder is lost when it
    /// is missing, cannot be written by this process, or lies on a configured mount point
    /// that is not mounted (only its empty local directory is there).
    enum class FolderCheck { Normal, Lost, Back };

    Settings settings;
    bool keyOpened = false; ///< false: nothing was read, `settings` is default-constructed
    FolderCheck folderCheck = FolderCheck::Normal;
    bool realignmentPending = false;
};

/// Creates, copies and reads the settings at start-up, and resolves the working folder.
/// Logs the settings dump. Runs on the UI thread.
class SettingsStartup {
public:
    /// `userFile` and `machineFile` are the per-user and machine-wide settings keys;
    /// `programFolder` and `dataFolder` end with "/". `mounts` tells whether the working
    /// folder's file system is mounted.
    SettingsStartup(QString userFile, QString machineFile, QString programFolder,
                    QString dataFolder, MountTable mounts = MountTable());

    /// The folder recordings go to when the chosen one cannot be used: data folder +
    /// "Recordings/".
    QString fallbackFolder() const;

    /// Gives a user without settings a copy of the machine-wide ones, value by value.
    void copyMachineToUser() const;
    /// Creates the user's key with the default values, in their order, when it is missing.
    void createDefaults() const;
    /// Reads every value into the record, logging the dump, checks and creates the working
    /// folder, and writes back what a start writes (fallback folder, PrimoLancio, ...).
    StartupSettings read() const;
    /// The folder the stored WorkDir names when it can be used now, else the fallback folder;
    /// ends with "/". Writes nothing: a lost folder is recorded and announced by the window's
    /// own start, which would stay silent if this had already stored the loss.
    QString usableWorkingFolder() const;

    /// The store of the user's settings file.
    SettingsStore store() const;

private:
    void resolveWorkingFolder(SettingsStore& store, StartupSettings& result) const;
    /// An existing folder that can still not take recordings: read-only, the bare mount point
    /// of a share that is not mounted, the root folder or a folder of /proc, /sys or /dev.
    bool isUnreachable(const QString& folder) const;

    QString m_userFile;
    QString m_machineFile;
    QString m_programFolder;
    QString m_dataFolder;
    MountTable m_mounts;
};
