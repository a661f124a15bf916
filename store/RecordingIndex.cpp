#include "store/RecordingIndex.h"

#include "store/EntryTags.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Large enough that a load of 100,000 records takes a handful of reads.
constexpr qsizetype kReadPiece = 4 << 20;

bool isTrailingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A text field: its bytes up to the first zero, without trailing white space.
QString decodeText(QByteArrayView field)
{
    qsizetype length = field.indexOf('\0');
    if (length < 0)
        length = field.size();
    while (length > 0 && isTrailingSpace(field[length - 1]))
        --length;
    return length == 0 ? QString() : QString::fromUtf8(field.first(length));
}

void appendDouble(QByteArray& out, double value)
{
    char bytes[8];
    qToLittleEndian(std::bit_cast<quint64>(value), bytes);
    out.append(bytes, sizeof bytes);
}

// A damaged record may hold any bit pattern; NaN would break every later comparison.
double decodeDouble(const char* bytes)
{
    const double value = std::bit_cast<double>(qFromLittleEndian<quint64>(bytes));
    return std::isfinite(value) ? value : 0.0;
}

} // namespace

QByteArray RecordingIndex::field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > kFieldSize) {
        qsizetype cut = kFieldSize;
        // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
        while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    bytes.append(kFieldSize - bytes.size(), ' ');
    return bytes;
}

int RecordingIndex::recordSize(const RecordingEntry& entry)
{
    return entry.operatorName.isEmpty() ? kBaseRecordSize : kOperatorRecordSize;
}

QByteArray RecordingIndex::encodeRecord(const RecordingEntry& entry)
{
    QByteArray out;
    out.reserve(recordSize(entry));
    out += field(entry.name);
    out += entry.deleted == RecordingEntry::kRecordDeleted ? '1' : '0';
    appendDouble(out, entry.startTime);
    appendDouble(out, entry.duration);
    out += entry.isProtected ? '1' : '0';
    out += field(entry.notes);
    if (!entry.operatorName.isEmpty()) {
        out += operatorMarker();
        out += field(entry.operatorName);
    }
    return out;
}

std::optional<RecordingEntry> RecordingIndex::decodeRecord(QByteArrayView bytes,
                                                           qsizetype& consumed)
{
    consumed = 0;
    if (bytes.size() < kBaseRecordSize)
        return std::nullopt;
    const bool hasOperator = bytes.size() >= kBaseRecordSize + kMarkerSize &&
                             bytes.sliced(kBaseRecordSize, kMarkerSize) == operatorMarker();
    if (hasOperator && bytes.size() < kOperatorRecordSize)
        return std::nullopt;

    const char* data = bytes.data();
    RecordingEntry entry;
    entry.name = decodeText(bytes.first(kFieldSize));
    entry.deleted = data[kDeletedFlagOffset] == '1' ? RecordingEntry::kRecordDeleted : 0;
    entry.startTime = decodeDouble(data + 261);
    entry.duration = decodeDouble(data + 269);
    entry.isProtected = data[277] == '1';
    entry.notes = decodeText(bytes.sliced(278, kFieldSize));
    if (hasOperator)
        entry.operatorName = decodeText(bytes.sliced(kBaseRecordSize + kMarkerSize, kFieldSize));
    entry.genre = EntryTags::defaultGenre();
    entry.artist = EntryTags::defaultArtist();
    entry.seenOnDisk = false;
    consumed = hasOperator ? kOperatorRecordSize : kBaseRecordSize;
    return entry;
}

qint64 RecordingIndex::readAll(QIODevice& device, const std::function<void(RecordingEntry&&)>& take)
{
    // One buffer for the whole read, no larger than the data: the unread tail of a piece moves
    // to its front, and the next piece is read behind it.
    qint64 piece = kReadPiece;
    if (!device.isSequential())
        piece = std::clamp<qint64>(device.size() - device.pos(), 1, kReadPiece);
    std::vector<char> buffer(size_t(piece + kOperatorRecordSize));
    qint64 bufferStart = device.pos();
    qsizetype position = 0;
    qsizetype filled = 0;
    bool atEnd = false;
    for (;;) {
        if (!atEnd && filled - position < kOperatorRecordSize) {
            std::memmove(buffer.data(), buffer.data() + position, size_t(filled - position));
            bufferStart += position;
            filled -= position;
            position = 0;
            const qint64 got =
                device.read(buffer.data() + filled, qsizetype(buffer.size()) - filled);
            atEnd = got <= 0;
            filled += std::max<qint64>(got, 0);
            continue;
        }
        if (position == filled)
            return -1;
        qsizetype consumed = 0;
        auto entry =
            decodeRecord(QByteArrayView(buffer.data() + position, filled - position), consumed);
        if (!entry)
            return bufferStart + position; // only possible at the end: a partial record
        entry->indexOffset = static_cast<uint32_t>(bufferStart + position);
        position += consumed;
        take(std::move(*entry));
    }
}
