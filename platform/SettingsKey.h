#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

/// One settings key with the semantics of the Windows registry, kept in a text file of
/// "Name=value" lines (UTF-8, in order of creation; the key's default value is "@default").
///
/// A key exists when its file exists. Value names compare without regard to case. Reads come
/// from the file as it was when the key was opened; writes and deletes are collected and saved
/// by close() (also run by the destructor): under a lock, the file is read again, the changes
/// are applied to it and the result replaces the file atomically, so two processes that each
/// change a few values lose none of them. Not thread-safe: one key object per thread.
class SettingsKey {
public:
    enum class Access { Read, ReadWrite };

    /// Opens an existing key. Null when the file does not exist or cannot be read, or, for
    /// ReadWrite, when its folder cannot be written.
    static std::unique_ptr<SettingsKey> open(const QString& filePath, Access access);
    /// Opens the key for reading and writing, creating an empty one (and its folders) first
    /// when it is missing. Null when it can be neither opened nor created.
    static std::unique_ptr<SettingsKey> create(const QString& filePath);

    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    /// The value `name` read into a buffer of `bufferSize` bytes: nullopt when it is missing
    /// or when its UTF-8 text and a terminating zero do not fit, as a registry read fails.
    std::optional<QString> read(const QString& name, int bufferSize = 260) const;
    /// Sets `name` to `text` (a new name goes to the end). False when the key is read-only or
    /// the name cannot be stored (empty, or holding "=", CR or LF).
    bool write(const QString& name, const QString& text);
    /// Sets the key's default value.
    bool writeDefault(const QString& text) { return write(defaultValueName(), text); }
    /// Deletes `name`; false when it does not exist or the key is read-only.
    bool remove(const QString& name);
    /// Saves what was changed; true when there was nothing to save or the save succeeded.
    bool close();

    /// The name under which the key's default value is kept.
    static QString defaultValueName() { return QStringLiteral("@default"); }

private:
    struct Value {
        QString name;
        QString text;
    };
    struct Change {
        QString name;
        std::optional<QString> text; // nullopt: delete
    };

    SettingsKey(QString filePath, Access access, std::vector<Value> values);
    static std::optional<std::vector<Value>> load(const QString& filePath);
    static QByteArray serialise(const std::vector<Value>& values);
    static void apply(std::vector<Value>& values, const Change& change);
    const Value* find(const QString& name) const;

    QString m_filePath;
    Access m_access;
    std::vector<Value> m_values;
    std::vector<Change> m_changes;
};
