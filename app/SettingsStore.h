#pragma once

#include "app/Settings.h"
#include "app/SettingsTable.h"
#include "platform/SettingsKey.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

/// Reads and writes the Settings record in one settings file, value by value as SettingsTable
/// says. Every call opens the file and closes it again, so values another process stored in
/// between are seen and kept. UI thread (or a command's main thread).
class SettingsStore {
public:
    /// `file` is the user's settings file; `programFolder` and `fallbackFolder` end with "/"
    /// and complete the texts of the values based on them.
    SettingsStore(QString file, QString programFolder, QString fallbackFolder);

    const QString& file() const { return m_file; }

    /// The record a key without any value reads as: every value's missing text.
    Settings defaults() const;
    /// Reads every value into `settings`, a missing one or one too long for its buffer as its
    /// missing text, and keeps the texts for textRead(). False, leaving `settings` as it was,
    /// when the file does not open for `access`.
    bool load(Settings& settings, SettingsKey::Access access = SettingsKey::Access::Read);
    /// The text `name` had at the last load(); nullopt when it was missing then.
    std::optional<QString> textRead(const QString& name) const;
    /// The text `value` reads as when missing, completed with its folder; empty when none.
    QString missingText(const SettingsTable::Value& value) const;
    /// The text that stores the field of `value` ("%d", "1"/"0", the text); nullopt for a
    /// recording volume never stored.
    static std::optional<QString> textOf(const SettingsTable::Value& value,
                                         const Settings& settings);

    /// Writes the values `names` of `settings`, in this order: numbers as "%d", flags as "1"
    /// or "0", texts as they are; a recording volume never stored is skipped. False when the
    /// file does not open or a value cannot be written.
    bool save(const Settings& settings, const QStringList& names) const;

    /// A user without a settings file gets one: the key's default value "0", then every value
    /// with a created text, in the order of creation.
    void createDefaults() const;
    /// A user without a settings file gets a copy of the values of `machineFile` that a new
    /// user takes over, one by one, when that file opens.
    void copyFrom(const QString& machineFile) const;

private:
    QString based(const SettingsTable::Value& value, const QString& text) const;
    /// Sets the field of `value` from `text` (nullopt: missing).
    void parse(const SettingsTable::Value& value, const std::optional<QString>& text,
               Settings& settings) const;

    QString m_file;
    QString m_programFolder;
    QString m_fallbackFolder;
    std::map<QString, std::optional<QString>> m_textsRead;
};
