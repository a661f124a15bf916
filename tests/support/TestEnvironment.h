#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <optional>

/// A throwaway user for one test: HOME, the XDG folders and the program folder all point into
/// a fresh temporary folder until the object is destroyed, when the environment is restored.
/// The program folder holds the real encoder library (a link to the built one) unless asked
/// not to.
class TestEnvironment {
public:
    enum class Encoder { Present, Missing };

    explicit TestEnvironment(Encoder encoder = Encoder::Present);
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    /// Folders end with "/".
    QString root() const;
    QString programFolder() const;
    QString dataFolder() const;
    QString configFolder() const;
    QString machineConfigFolder() const;
    QString userSettingsFile() const;
    QString machineSettingsFile() const;
    QString logFile() const;
    QString lockFile() const;
    /// The lines of "PL.log" (split at CR LF), empty when there is no log.
    QStringList logLines() const;
    /// Writes a settings file as "Name=value" lines, creating its folder.
    static void writeSettingsFile(const QString& path, const QStringList& lines);
    /// The raw lines of a settings file.
    static QStringList settingsFileLines(const QString& path);

    /// Makes the existing `folder` refuse this process's writes, the superuser's too: a
    /// read-only bind mount of itself when running as root, else no write permission. Undone
    /// when this object is destroyed. False when it cannot be done here.
    bool makeReadOnly(const QString& folder);

    /// Sets an environment variable for the life of this object.
    void setVariable(const char* name, const QString& value);

private:
    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
    QStringList m_readOnlyMounts;
    QStringList m_readOnlyFolders;
};

/// True when `expected` appear in `lines` in this order (other lines may stand between).
inline bool containsInOrder(const QStringList& lines, const QStringList& expected)
{
    qsizetype at = 0;
    for (const QString& line : expected) {
        at = lines.indexOf(line, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

/// Waits, processing events, until `condition` holds or `timeoutMs` passes.
template <typename Condition> bool waitFor(Condition condition, int timeoutMs = 10000);

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Condition> bool waitFor(Condition condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}
