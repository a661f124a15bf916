#include "app/SettingsStore.h"

#include <algorithm>

using Value = SettingsTable::Value;

namespace {

// The machine-wide values are copied whatever their own buffers.
constexpr int kCopyBuffer = 260;

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

SettingsStore::SettingsStore(QString file, QString programFolder, QString fallbackFolder)
    : m_file(std::move(file)), m_programFolder(std::move(programFolder)),
      m_fallbackFolder(std::move(fallbackFolder))
{}

QString SettingsStore::based(const Value& value, const QString& text) const
{
    switch (value.base) {
    case Value::Base::ProgramFolder:
        return m_programFolder + text;
    case Value::Base::FallbackFolder:
        return m_fallbackFolder + text;
    case Value::Base::None:
        break;
    }
    return text;
}

QString SettingsStore::missingText(const Value& value) const
{
    return value.missing ? based(value, *value.missing) : QString();
}

void SettingsStore::parse(const Value& value, const std::optional<QString>& text,
                          Settings& settings) const
{
    const QString used = text ? *text : missingText(value);
    switch (value.kind) {
    case Value::Kind::Text:
        settings.*std::get<QString Settings::*>(value.field) = used;
        break;
    case Value::Kind::Number:
        settings.*std::get<int Settings::*>(value.field) = SettingsTable::toNumber(used);
        break;
    case Value::Kind::Flag:
        settings.*std::get<bool Settings::*>(value.field) = SettingsTable::toFlag(used);
        break;
    case Value::Kind::Switch:
        settings.*std::get<bool Settings::*>(value.field) = used == QStringLiteral("1");
        break;
    case Value::Kind::StoredNumber:
        settings.*std::get<std::optional<int> Settings::*>(value.field) =
            text ? std::optional<int>(SettingsTable::toNumber(*text)) : std::nullopt;
        break;
    }
}

std::optional<QString> SettingsStore::textOf(const Value& value, const Settings& settings)
{
    switch (value.kind) {
    case Value::Kind::Text:
        return settings.*std::get<QString Settings::*>(value.field);
    case Value::Kind::Number:
        return QString::asprintf("%d", settings.*std::get<int Settings::*>(value.field));
    case Value::Kind::Flag:
    case Value::Kind::Switch:
        return flagText(settings.*std::get<bool Settings::*>(value.field));
    case Value::Kind::StoredNumber:
        if (const auto number = settings.*std::get<std::optional<int> Settings::*>(value.field))
            return QString::asprintf("%d", *number);
        break;
    }
    return std::nullopt;
}

Settings SettingsStore::defaults() const
{
    Settings settings;
    for (const Value& value : SettingsTable::values())
        parse(value, std::nullopt, settings);
    return settings;
}

bool SettingsStore::load(Settings& settings, SettingsKey::Access access)
{
    const auto key = SettingsKey::open(m_file, access);
    if (!key)
        return false;
    m_textsRead.clear();
    for (const Value& value : SettingsTable::values()) {
        const std::optional<QString> text = key->read(value.name, value.buffer);
        m_textsRead[value.name] = text;
        parse(value, text, settings);
    }
    return true;
}

std::optional<QString> SettingsStore::textRead(const QString& name) const
{
    const Value* value = SettingsTable::find(name);
    const auto it = value ? m_textsRead.find(value->name) : m_textsRead.end();
    return it == m_textsRead.end() ? std::nullopt : it->second;
}

bool SettingsStore::save(const Settings& settings, const QStringList& names) const
{
    const auto key = SettingsKey::open(m_file, SettingsKey::Access::ReadWrite);
    if (!key)
        return false;
    bool written = true;
    for (const QString& name : names) {
        const Value* value = SettingsTable::find(name);
        if (!value) {
            written = false;
            continue;
        }
        if (const auto text = textOf(*value, settings))
            written = key->write(value->name, *text) && written;
    }
    return key->close() && written;
}

void SettingsStore::createDefaults() const
{
    if (SettingsKey::open(m_file, SettingsKey::Access::ReadWrite))
        return;
    const auto key = SettingsKey::create(m_file);
    if (!key)
        return;
    std::vector<const Value*> created;
    for (const Value& value : SettingsTable::values()) {
        if (value.created)
            created.push_back(&value);
    }
    std::sort(created.begin(), created.end(),
              [](const Value* a, const Value* b) { return a->creationStep < b->creationStep; });
    key->writeDefault(QStringLiteral("0"));
    for (const Value* value : created)
        key->write(value->name, based(*value, *value->created));
    key->close();
}

void SettingsStore::copyFrom(const QString& machineFile) const
{
    if (SettingsKey::open(m_file, SettingsKey::Access::ReadWrite))
        return;
    const auto machine = SettingsKey::open(machineFile, SettingsKey::Access::Read);
    if (!machine)
        return;
    const auto user = SettingsKey::create(m_file);
    if (!user)
        return;
    for (const Value& value : SettingsTable::values()) {
        if (!value.copied)
            continue;
        if (const auto text = machine->read(value.name, kCopyBuffer))
            user->write(value.name, *text);
    }
    user->close();
}
