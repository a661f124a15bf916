#include "store/RecordingEntry.h"
#include "store/RecordingIndex.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

// The index reader on arbitrary bytes, both as a whole file and record by record.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    RecordingIndex::readAll(buffer, [](RecordingEntry&& entry) {
        // Whatever was read must be writable again without trouble.
        (void)RecordingIndex::encodeRecord(entry);
        (void)OleDate::toDateTime(entry.startTime);
        (void)OleDate::durationText(entry.duration);
    });
    qsizetype consumed = 0;
    (void)RecordingIndex::decodeRecord(QByteArrayView(bytes), consumed);
    return 0;
}
