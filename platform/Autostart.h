#pragma once

#include <QString>

#include <optional>

/// Starting Parlune at log-on: a freedesktop autostart entry,
/// $XDG_CONFIG_HOME/autostart/Parlune.desktop. Present means the option is on. UI thread.
class Autostart {
public:
    /// The entry's file path.
    static QString entryFile();
    /// The program the entry starts, or nullopt when there is no entry.
    static std::optional<QString> read();
    /// Writes (or replaces) the entry so that it starts `programPath`; false on failure.
    static bool write(const QString& programPath);
    /// Deletes the entry; true when it is gone afterwards.
    static bool remove();
};
