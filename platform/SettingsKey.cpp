#include "platform/SettingsKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString escape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        out += next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : next;
    }
    return out;
}

bool validName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'=') && !name.contains(u'\n') &&
           !name.contains(u'\r');
}

// Serialises the read-modify-write of one settings file across processes.
class FileLock {
public:
    explicit FileLock(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

QString lockPathFor(const QString& filePath)
{
    return filePath + QStringLiteral(".lock");
}

} // namespace

SettingsKey::SettingsKey(QString filePath, Access access, std::vector<Value> values)
    : m_filePath(std::move(filePath)), m_access(access), m_values(std::move(values))
{}

SettingsKey::~SettingsKey()
{
    close();
}

std::optional<std::vector<SettingsKey::Value>> SettingsKey::load(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::vector<Value> values;
    const QString all = QString::fromUtf8(file.readAll());
    for (QStringView line : QStringView(all).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        Value value{line.left(eq).toString(), unescape(line.mid(eq + 1))};
        // A hand-edited file may repeat a name: the last line wins, as a later write would.
        apply(values, Change{value.name, value.text});
    }
    return values;
}

QByteArray SettingsKey::serialise(const std::vector<Value>& values)
{
    QString text;
    for (const Value& value : values)
        text += value.name + u'=' + escape(value.text) + u'\n';
    return text.toUtf8();
}

void SettingsKey::apply(std::vector<Value>& values, const Change& change)
{
    auto it = std::find_if(values.begin(), values.end(), [&](const Value& value) {
        return value.name.compare(change.name, Qt::CaseInsensitive) == 0;
    });
    if (!change.text) {
        if (it != values.end())
            values.erase(it);
    } else if (it != values.end()) {
        it->text = *change.text;
    } else {
        values.push_back(Value{change.name, *change.text});
    }
}

std::unique_ptr<SettingsKey> SettingsKey::open(const QString& filePath, Access access)
{
    const QFileInfo info(filePath);
    if (!info.isFile())
        return nullptr;
    if (access == Access::ReadWrite && !QFileInfo(info.absolutePath()).isWritable())
        return nullptr;
    auto values = load(filePath);
    if (!values)
        return nullptr;
    return std::unique_ptr<SettingsKey>(new SettingsKey(filePath, access, std::move(*values)));
}

std::unique_ptr<SettingsKey> SettingsKey::create(const QString& filePath)
{
    if (auto existing = open(filePath, Access::ReadWrite))
        return existing;
    const QFileInfo info(filePath);
    if (info.exists() || !QDir().mkpath(info.absolutePath()))
        return nullptr;
    {
        FileLock lock(lockPathFor(filePath));
        if (!QFileInfo::exists(filePath)) {
            QSaveFile file(filePath);
            if (!file.open(QIODevice::WriteOnly) || !file.commit())
                return nullptr;
        }
    }
    return open(filePath, Access::ReadWrite);
}

const SettingsKey::Value* SettingsKey::find(const QString& name) const
{
    for (const Value& value : m_values) {
        if (value.name.compare(name, Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}

std::optional<QString> SettingsKey::read(const QString& name, int bufferSize) const
{
    const Value* value = find(name);
    if (!value || value->text.toUtf8().size() + 1 > bufferSize)
        return std::nullopt;
    return value->text;
}

bool SettingsKey::write(const QString& name, const QString& text)
{
    if (m_access != Access::ReadWrite || !validName(name))
        return false;
    Change change{name, text};
    apply(m_values, change);
    m_changes.push_back(std::move(change));
    return true;
}

bool SettingsKey::remove(const QString& name)
{
    if (m_access != Access::ReadWrite || !find(name))
        return false;
    Change change{name, std::nullopt};
    apply(m_values, change);
    m_changes.push_back(std::move(change));
    return true;
}

bool SettingsKey::close()
{
    if (m_changes.empty())
        return true;
    FileLock lock(lockPathFor(m_filePath));
    // Another process may have saved since this key was opened: apply our changes to its file.
    std::vector<Value> current = load(m_filePath).value_or(std::vector<Value>{});
    for (const Change& change : m_changes)
        apply(current, change);
    m_changes.clear();
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(serialise(current));
    if (!file.commit())
        return false;
    m_values = std::move(current);
    return true;
}
