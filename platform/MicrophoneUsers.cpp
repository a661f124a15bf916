#include "platform/MicrophoneUsers.h"

void MicrophoneUsers::watch(uint32_t source, const QStringList& ignored)
{
    m_source = source;
    m_ignored = ignored;
    m_streams.clear();
}

bool MicrophoneUsers::update(const Stream& stream)
{
    const bool before = inUse();
    m_streams[stream.index] = stream;
    return inUse() != before;
}

bool MicrophoneUsers::remove(uint32_t index)
{
    const bool before = inUse();
    m_streams.erase(index);
    return inUse() != before;
}

bool MicrophoneUsers::counts(const Stream& stream) const
{
    if (stream.source != m_source || stream.ours || stream.corked || stream.meter)
        return false;
    for (const QString& name : m_ignored) {
        if (name.compare(stream.program, Qt::CaseInsensitive) == 0 ||
            name.compare(stream.binary, Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

QString MicrophoneUsers::user() const
{
    for (const auto& [index, stream] : m_streams) {
        if (counts(stream)) {
            if (!stream.program.isEmpty())
                return stream.program;
            return stream.binary.isEmpty() ? QStringLiteral("?") : stream.binary;
        }
    }
    return {};
}

QStringList MicrophoneUsers::parseIgnored(const QString& text)
{
    QStringList names;
    for (const QString& part : text.split(u',')) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}
