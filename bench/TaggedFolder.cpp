#include "bench/TaggedFolder.h"

#include "store/Id3Tag.h"

#include <QDir>
#include <QFile>

namespace {

// Silent MPEG-1 Layer III frames, 32 kbit/s mono at 32 kHz: 144 bytes each.
QByteArray silentAudio(int frames)
{
    QByteArray frame(144, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x18);
    frame[3] = char(0xC0);
    return frame.repeated(frames);
}

QByteArray tagFor(const QString& name, int i)
{
    const auto frame = [](const char* id, const QString& value) {
        return Id3Tag::encodeFrame({QByteArray(id), value});
    };
    QByteArray frames;
    frames += frame("TDAT", QString::asprintf("%02d%02d", 1 + i % 28, 1 + i % 12));
    frames += frame("TYER", QString::number(2015 + i % 10));
    frames += frame("TIME", QString::asprintf("%02d:%02d:%02d", i % 24, i % 60, (i / 60) % 60));
    frames += frame("TLEN", QStringLiteral("00:00:01"));
    frames += frame("TIT2", name);
    frames += frame("COMM", i % 4 ? QString() : QStringLiteral("Customer asked for a call back"));
    frames += frame("TRCK", QStringLiteral("0"));
    frames += frame("TALB", i % 3 ? QString() : QStringLiteral("Desk 2"));
    frames += frame("TCON", QStringLiteral("(24)Soundtrack"));
    frames += frame("TPE1", QStringLiteral("Parlune"));
    frames += frame("TXXX", QStringLiteral("Non Protetta"));
    QByteArray header("ID3\x03\x00\x00", 6);
    return header + Id3Tag::synchsafe(uint32_t(10 + frames.size())) + frames;
}

} // namespace

bool TaggedFolder::make(const QString& folder, int count)
{
    QDir().mkpath(folder);
    const QByteArray audio = silentAudio(7);
    for (int i = 0; i < count; ++i) {
        // Mixed case, so sorting by name has work to do.
        const QString name = QStringLiteral("%1 %2")
                                 .arg(i % 2 ? "call" : "Call")
                                 .arg((i * 7919) % count, 6, 10, QChar(u'0'));
        QFile file(folder + name + QStringLiteral(".mp3"));
        if (!file.open(QIODevice::WriteOnly) || file.write(tagFor(name, i) + audio) < 0)
            return false;
    }
    return true;
}
