#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

/// The record streams other programs have open on the microphone, as the audio server
/// announces them, and whether one of them is using it now: a stream counts while it records
/// from the watched source, is not corked (paused) nor a level meter's, was not opened by this
/// process and its program is not one of the ignored ones. Lifecycle: plain value, used from one
/// thread at a time.
class MicrophoneUsers {
public:
    struct Stream {
        uint32_t index = 0;
        uint32_t source = 0;
        QString program; ///< the program's name, as it gives it
        QString binary;  ///< its executable's name
        bool ours = false;
        bool corked = false;
        bool meter = false; ///< a level meter's peak-detecting stream
    };

    /// Watches `source` from now on, ignoring the programs named in `ignored` (any case,
    /// the name or the executable's name); forgets every stream.
    void watch(uint32_t source, const QStringList& ignored);
    /// A stream appeared or changed. True when inUse() changed.
    bool update(const Stream& stream);
    /// A stream ended. True when inUse() changed.
    bool remove(uint32_t index);
    void clear() { m_streams.clear(); }

    bool inUse() const { return !user().isEmpty(); }
    /// The program using the microphone (the first counted stream's); empty when none is.
    QString user() const;
    /// The ignored programs from a setting's text: names separated by commas, trimmed.
    static QStringList parseIgnored(const QString& text);

private:
    bool counts(const Stream& stream) const;

    uint32_t m_source = 0;
    QStringList m_ignored;
    std::map<uint32_t, Stream> m_streams;
};
