#pragma once

#include "store/RecordingEntry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

/// The byte layout of one record of the index file "Index.txt", as pure functions.
///
/// A record is the name (260 bytes), the deleted flag ("1"/"0"), the start and the duration
/// (OLE dates, little-endian doubles), the protected flag ("1"/"0") and the notes (260 bytes):
/// 538 bytes. When the operator name is not empty, "<operatore>" and the operator (260 bytes)
/// follow: 809 bytes. Texts are UTF-8 padded with spaces; a text longer than its field is cut
/// at a character boundary. The readers trust no byte of their input: any input gives
/// records, a clean end or a truncation point, never a crash, a hang or a large allocation.
class RecordingIndex {
public:
    static constexpr int kFieldSize = 260;
    static constexpr int kDeletedFlagOffset = 260;
    static constexpr int kBaseRecordSize = 538;
    static constexpr int kMarkerSize = 11;
    static constexpr int kOperatorRecordSize = kBaseRecordSize + kMarkerSize + kFieldSize;
    static QByteArrayView operatorMarker() { return "<operatore>"; }

    /// The record of `entry`: its deleted flag is "1" when `deleted` is 1.
    static QByteArray encodeRecord(const RecordingEntry& entry);
    /// The length encodeRecord gives for `entry` (538 or 809).
    static int recordSize(const RecordingEntry& entry);
    /// `text` as a field: UTF-8, cut to at most 260 bytes without splitting a character,
    /// padded with spaces to 260.
    static QByteArray field(const QString& text);

    /// Decodes the record at the start of `bytes`. `consumed` gets its length. Nullopt when
    /// `bytes` ends inside the record (then `consumed` is 0). The entry has `indexOffset` 0,
    /// `deleted` 1 or 0, `seenOnDisk` false and the default genre and artist (the record does
    /// not hold them). A date that is not a finite number reads as 0.
    static std::optional<RecordingEntry> decodeRecord(QByteArrayView bytes, qsizetype& consumed);
    /// Reads every record from the device's position to its end in large pieces, handing each
    /// to `take` (with `indexOffset` set). Returns the offset at which a partial last record
    /// starts, or -1 when the data ends cleanly.
    static qint64 readAll(QIODevice& device, const std::function<void(RecordingEntry&&)>& take);
};
