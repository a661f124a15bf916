#include "store/Id3Tag.h"

#include "platform/FileOps.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace {

constexpr qint64 kCopyPiece = 1 << 20;

enum Encoding : uint8_t { Latin1 = 0, Utf16Bom = 1, Utf16BE = 2, Utf8 = 3 };

uint32_t bigEndian32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

bool isWide(uint8_t encoding)
{
    return encoding == Utf16Bom || encoding == Utf16BE;
}

// The length of text before its terminator: one zero byte, or two aligned ones in UTF-16.
qsizetype terminatedLength(QByteArrayView text, uint8_t encoding)
{
    if (!isWide(encoding)) {
        const qsizetype zero = text.indexOf('\0');
        return zero < 0 ? text.size() : zero;
    }
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        if (text[i] == 0 && text[i + 1] == 0)
            return i;
    }
    return text.size() & ~qsizetype(1);
}

QString decodeText(QByteArrayView text, uint8_t encoding)
{
    text = text.first(terminatedLength(text, encoding));
    switch (encoding) {
    case Utf16Bom: {
        if (text.size() >= 2 && uchar(text[0]) == 0xFE && uchar(text[1]) == 0xFF)
            return QStringDecoder(QStringDecoder::Utf16BE)(text.sliced(2));
        if (text.size() >= 2 && uchar(text[0]) == 0xFF && uchar(text[1]) == 0xFE)
            return QStringDecoder(QStringDecoder::Utf16LE)(text.sliced(2));
        return QStringDecoder(QStringDecoder::Utf16LE)(text);
    }
    case Utf16BE:
        return QStringDecoder(QStringDecoder::Utf16BE)(text);
    case Utf8:
        return QString::fromUtf8(text);
    default:
        return QString::fromLatin1(text);
    }
}

// A frame body after its encoding byte; COMM also carries a language and a description.
QString decodeBody(QByteArrayView id, QByteArrayView body)
{
    if (body.isEmpty())
        return {};
    const uint8_t encoding = uint8_t(body[0]);
    QByteArrayView rest = body.sliced(1);
    if (id == "COMM") {
        if (rest.size() < 3)
            return {};
        rest = rest.sliced(3);
        const qsizetype description = terminatedLength(rest, encoding);
        const qsizetype terminator = isWide(encoding) ? 2 : 1;
        rest = rest.sliced(std::min(rest.size(), description + terminator));
    }
    return decodeText(rest, encoding > Utf8 ? uint8_t(Latin1) : encoding);
}

bool fitsLatin1(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

} // namespace

QByteArray Id3Tag::synchsafe(uint32_t size)
{
    QByteArray bytes(4, '\0');
    bytes[0] = char((size >> 21) & 0x7F);
    bytes[1] = char((size >> 14) & 0x7F);
    bytes[2] = char((size >> 7) & 0x7F);
    bytes[3] = char(size & 0x7F);
    return bytes;
}

QByteArray Id3Tag::encodeFrame(const Frame& frame)
{
    const bool latin1 = fitsLatin1(frame.value);
    QByteArray body;
    body += char(latin1 ? Latin1 : Utf16Bom);
    if (frame.id == "COMM") {
        body += QByteArray(3, '\0');              // language
        body += QByteArray(latin1 ? 1 : 2, '\0'); // empty description
    }
    if (latin1) {
        body += frame.value.toLatin1();
    } else {
        body += char(0xFF);
        body += char(0xFE);
        for (const QChar c : frame.value) {
            body += char(c.unicode() & 0xFF);
            body += char(c.unicode() >> 8);
        }
    }
    QByteArray out = frame.id.left(4).leftJustified(4, ' ');
    const auto length = static_cast<uint32_t>(body.size());
    out += char(length >> 24);
    out += char((length >> 16) & 0xFF);
    out += char((length >> 8) & 0xFF);
    out += char(length & 0xFF);
    out += QByteArray(2, '\0');
    out += body;
    return out;
}

std::optional<qint64> Id3Tag::audioOffset(const QString& path)
{
    Id3Tag tag;
    if (!tag.Open(path, true))
        return std::nullopt;
    const qint64 fileSize = tag.m_file.size();
    switch (tag.ReadHeader()) {
    case TagRead:
        return tag.TagSize() >= kHeaderSize && tag.TagSize() <= fileSize ? qint64(tag.TagSize())
                                                                         : 0;
    case NoTag:
        return 0;
    case ReadError:
        break;
    }
    return fileSize < kHeaderSize ? std::optional<qint64>(0) : std::nullopt;
}

QByteArray Id3Tag::encodeTag(const std::vector<Frame>& frames)
{
    QByteArray tag("ID3\x03\x00\x00", 6);
    tag += QByteArray(4, '\0');
    for (const Frame& frame : frames)
        tag += encodeFrame(frame);
    if (tag.size() >= qsizetype(1u << 28))
        return {};
    tag.replace(6, 4, synchsafe(static_cast<uint32_t>(tag.size())));
    return tag;
}

bool Id3Tag::Open(const QString& path, bool readOnly)
{
    Close();
    m_file.setFileName(path);
    if (!QFileInfo(path).isFile() ||
        !m_file.open(readOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite))
        return false;
    m_path = path;
    return true;
}

void Id3Tag::Close()
{
    m_frames.clear();
    if (m_file.isOpen())
        m_file.close();
}

Id3Tag::ReadResult Id3Tag::ReadHeader()
{
    if (!m_file.isOpen() || !m_file.seek(0))
        return ReadError;
    const QByteArray header = m_file.read(kHeaderSize);
    if (header.size() < kHeaderSize)
        return ReadError;
    if (!header.startsWith("ID3"))
        return NoTag;
    const auto* b = reinterpret_cast<const unsigned char*>(header.constData());
    // Synchsafe: only the low seven bits of each byte count, as the decoder reads them.
    m_tagSize = (uint32_t(b[6] & 0x7F) << 21) | (uint32_t(b[7] & 0x7F) << 14) |
                (uint32_t(b[8] & 0x7F) << 7) | (b[9] & 0x7F);
    return TagRead;
}

Id3Tag::ReadResult Id3Tag::ReadTag()
{
    m_frames.clear();
    const ReadResult header = ReadHeader();
    if (header != TagRead)
        return header;
    const qint64 fileSize = m_file.size();
    if (m_tagSize < kHeaderSize || m_tagSize > kMaxTagSize)
        return NoTag;
    if (m_tagSize > fileSize)
        return ReadError;
    const QByteArray buffer = m_file.read(m_tagSize - kHeaderSize);
    if (buffer.size() != qsizetype(m_tagSize - kHeaderSize))
        return ReadError;

    std::vector<Frame> frames;
    const ReadResult result = parseFrames(buffer, fileSize, frames);
    if (result == TagRead)
        m_frames = std::move(frames);
    return result;
}

Id3Tag::ReadResult Id3Tag::parseFrames(QByteArrayView buffer, qint64 fileSize,
                                       std::vector<Frame>& frames)
{
    frames.clear();
    qint64 remaining = buffer.size();
    qsizetype at = 0;
    while (remaining >= 4) {
        const QByteArrayView start(buffer.constData() + at, remaining);
        const QByteArray id =
            start.first(4).toByteArray().left(terminatedLength(start.first(4), 0));
        remaining -= 4;
        if (remaining < 4)
            break;
        const uint32_t length = bigEndian32(start.constData() + 4);
        if (length > remaining || length >= fileSize) {
            frames.clear();
            return NoTag;
        }
        if (remaining < 6)
            break;
        remaining -= 6;
        if (length > remaining)
            break;
        const QByteArrayView body(start.constData() + 10, length);
        frames.push_back(Frame{id, decodeBody(id, body)});
        remaining -= length;
        at += 10 + length;
    }
    return TagRead;
}

const Id3Tag::Frame* Id3Tag::FindFrame(QByteArrayView id) const
{
    for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it) {
        if (it->id == id)
            return &*it;
    }
    return nullptr;
}

void Id3Tag::SetText(QByteArrayView id, const QString& text)
{
    for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it) {
        if (it->id == id) {
            it->value = text;
            return;
        }
    }
    m_frames.push_back(Frame{id.toByteArray(), text});
}

bool Id3Tag::WriteTag()
{
    if (!m_file.isOpen() || !m_file.isWritable())
        return false;
    // A name of its own, so that no other rewrite in the folder, in any process, shares it.
    QFile temporary;
    const QString temporaryPath = FileOps::createUniqueFile(
        temporary, QFileInfo(m_path).absolutePath(), temporaryPrefix(), QStringLiteral(".dtm"));
    if (temporaryPath.isEmpty())
        return false;

    const QByteArray tag = encodeTag(m_frames);
    if (tag.isEmpty()) {
        temporary.remove();
        return false;
    }
    bool ok = temporary.write(tag) == tag.size();

    // The audio starts where the old header says; a header that claims more than the file
    // holds (or less than itself) is damaged, and then nothing of the file is dropped.
    qint64 audioStart = 0;
    const qint64 fileSize = m_file.size();
    const ReadResult header = ReadHeader();
    if (header == ReadError)
        ok = false;
    else if (header == TagRead && m_tagSize >= kHeaderSize && m_tagSize <= fileSize)
        audioStart = m_tagSize;
    ok = ok && m_file.seek(audioStart);
    QByteArray piece;
    while (ok && !m_file.atEnd()) {
        piece = m_file.read(kCopyPiece);
        ok = !piece.isEmpty() && temporary.write(piece) == piece.size();
    }
    ok = ok && FileOps::sync(temporary);
    temporary.close();
    if (!ok) {
        QFile::remove(temporaryPath);
        return false;
    }
    m_file.close();
    if (!FileOps::replace(temporaryPath, m_path)) {
        QFile::remove(temporaryPath);
        m_file.open(QIODevice::ReadWrite);
        return false;
    }
    if (!m_file.open(QIODevice::ReadWrite))
        return false;
    return ReadHeader() == TagRead;
}
