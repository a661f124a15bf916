#pragma once

#include <QString>

/// Where Parlune finds its own files and keeps the user's, on a freedesktop system.
/// Every function reads the environment anew, so a test can point them elsewhere; callable
/// from any thread. Folder paths end with "/".
class SystemFolders {
public:
    /// The program folder: $PARLUNE_PROGRAM_DIR when set, else programFolderFor() of the
    /// executable's folder. Parlune only reads its own files there (encoder library, update
    /// program, sounds, guide); it may be read-only.
    static QString programFolder();
    /// The program folder for an `overridden` folder (empty when not set) and the executable's
    /// folder: `overridden` when set; else `executableFolder` when `executableFolderIsProgram`
    /// (it holds the encoder library: a build folder); else "../lib/parlune/" beside it (an
    /// installed program). Pure; the result is clean and ends with "/".
    static QString programFolderFor(const QString& overridden, const QString& executableFolder,
                                    bool executableFolderIsProgram);
    /// The data folder, $XDG_DATA_HOME/Parlune/ (default ~/.local/share/Parlune/): the log,
    /// the fallback working folder and everything else the program writes for itself.
    static QString dataFolder();
    /// $XDG_CONFIG_HOME (default ~/.config), with a trailing "/".
    static QString configHome();
    /// The per-user settings file, configHome() + "Orvane/Parlune.conf".
    static QString userSettingsFile();
    /// The machine-wide settings file: the first "Orvane/Parlune.conf" found in
    /// $XDG_CONFIG_DIRS (default /etc/xdg), else the one in the first of those folders.
    static QString machineSettingsFile();
    /// $XDG_RUNTIME_DIR when set and present, else /tmp; with a trailing "/".
    static QString runtimeFolder();

private:
    static QString homeFolder();
};
