#include "store/RecordingIndex.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace {

RecordingEntry entryOf(const QString& name, const QString& notes = QString(),
                       const QString& operatorName = QString())
{
    RecordingEntry entry;
    entry.name = name;
    entry.notes = notes;
    entry.operatorName = operatorName;
    entry.startTime = 45356.5; // 2024-03-05 12:00
    entry.duration = 75.0 / 86400.0;
    return entry;
}

QByteArray littleEndian(double value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(std::bit_cast<quint64>(value), bytes.data());
    return bytes;
}

QByteArray padded(const QByteArray& text)
{
    return text + QByteArray(260 - text.size(), ' ');
}

std::vector<RecordingEntry> readAllOf(const QByteArray& bytes, qint64& cut)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    std::vector<RecordingEntry> out;
    cut = RecordingIndex::readAll(buffer, [&](RecordingEntry&& e) { out.push_back(std::move(e)); });
    return out;
}

} // namespace

TEST(RecordingIndexLayout, RecordWithoutOperatorIs538BytesFieldByField)
{
    RecordingEntry entry = entryOf(QStringLiteral("Call"), QStringLiteral("Back at 3"));
    entry.isProtected = true;
    const QByteArray record = RecordingIndex::encodeRecord(entry);
    ASSERT_EQ(record.size(), 538);
    EXPECT_EQ(record.first(260), padded("Call"));
    EXPECT_EQ(record[260], '0');
    EXPECT_EQ(record.mid(261, 8), littleEndian(entry.startTime));
    EXPECT_EQ(record.mid(269, 8), littleEndian(entry.duration));
    EXPECT_EQ(record[277], '1');
    EXPECT_EQ(record.mid(278), padded("Back at 3"));
    EXPECT_EQ(RecordingIndex::recordSize(entry), 538);
}

TEST(RecordingIndexLayout, RecordWithOperatorCarriesMarkerAndIs809Bytes)
{
    RecordingEntry entry = entryOf(QStringLiteral("x"), QString(), QStringLiteral("Desk 2"));
    entry.deleted = RecordingEntry::kRecordDeleted;
    entry.duration = OleDate::kNoDuration;
    const QByteArray record = RecordingIndex::encodeRecord(entry);
    ASSERT_EQ(record.size(), 809);
    EXPECT_EQ(record[260], '1');
    EXPECT_EQ(record.mid(269, 8), QByteArray::fromHex("000000000000f0bf"));
    EXPECT_EQ(record[277], '0');
    EXPECT_EQ(record.mid(538, 11), "<operatore>");
    EXPECT_EQ(record.mid(549), padded("Desk 2"));
}

TEST(RecordingIndexLayout, LongTextIsCutAfterTheLastWholeCharacterThatFitsAndPadded)
{
    // Characters of two, three and four bytes straddle the field's end at every lead.
    const QString mixed = QStringLiteral("é€😀a");
    for (int lead = 250; lead <= 260; ++lead) {
        const QString text = QString(lead, u'n') + mixed + mixed;
        QByteArray expected;
        for (const char32_t c : text.toUcs4()) {
            const QByteArray bytes = QString::fromUcs4(&c, 1).toUtf8();
            if (expected.size() + bytes.size() > 260)
                break;
            expected += bytes;
        }
        expected += QByteArray(260 - expected.size(), ' ');
        EXPECT_EQ(RecordingIndex::field(text), expected) << lead;
    }
}

TEST(RecordingIndexReading, RecordsOfBothLengthsDecodeBackWithTheirOffsets)
{
    RecordingEntry first = entryOf(QStringLiteral("Zoë Ωmega call"), QStringLiteral("café\r\nnote"),
                                   QStringLiteral("Desk 2"));
    first.isProtected = true;
    RecordingEntry second = entryOf(QStringLiteral("second"));
    second.deleted = RecordingEntry::kRecordDeleted;
    RecordingEntry third = entryOf(QStringLiteral("third"), QString(), QStringLiteral("Op"));
    const QByteArray bytes = RecordingIndex::encodeRecord(first) +
                             RecordingIndex::encodeRecord(second) +
                             RecordingIndex::encodeRecord(third);
    qint64 cut = 0;
    const auto read = readAllOf(bytes, cut);
    EXPECT_EQ(cut, -1);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].name, first.name);
    EXPECT_EQ(read[0].notes, first.notes);
    EXPECT_EQ(read[0].operatorName, QStringLiteral("Desk 2"));
    EXPECT_TRUE(read[0].isProtected);
    EXPECT_EQ(read[0].startTime, first.startTime);
    EXPECT_EQ(read[0].duration, first.duration);
    EXPECT_EQ(read[0].deleted, 0);
    EXPECT_EQ(read[0].indexOffset, 0u);
    EXPECT_EQ(read[1].deleted, RecordingEntry::kRecordDeleted);
    EXPECT_EQ(read[1].operatorName, QString());
    EXPECT_EQ(read[1].indexOffset, 809u);
    EXPECT_EQ(read[2].indexOffset, 809u + 538u);
    EXPECT_EQ(read[2].operatorName, QStringLiteral("Op"));
}

TEST(RecordingIndexReading, TextsEndAtAZeroByteAndLoseTrailingWhiteSpace)
{
    QByteArray record = RecordingIndex::encodeRecord(entryOf(QStringLiteral("x")));
    record.replace(0, 12, QByteArray("  name \t\0junk", 12));
    qsizetype consumed = 0;
    const auto entry = RecordingIndex::decodeRecord(record, consumed);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, QStringLiteral("  name"));
    EXPECT_EQ(consumed, 538);
}

TEST(RecordingIndexReading, PartialLastRecordIsReportedAtItsStart)
{
    const QByteArray whole = RecordingIndex::encodeRecord(entryOf(QStringLiteral("a")));
    const QByteArray withOperator =
        RecordingIndex::encodeRecord(entryOf(QStringLiteral("b"), {}, QStringLiteral("Op")));
    struct Case {
        int kept;
        size_t records;
        qint64 cut;
    };
    // Cut inside the base part or the operator field: only the first record stands. Cut inside
    // the marker: its start cannot be told from a name, so the second record stands without an
    // operator and the marker's bytes are the partial record.
    for (const Case& c :
         {Case{1, 1, 538}, Case{260, 1, 538}, Case{537, 1, 538}, Case{538 + 5, 2, 538 + 538},
          Case{538 + 11, 1, 538}, Case{808, 1, 538}, Case{809, 2, -1}}) {
        qint64 cut = 0;
        const auto read = readAllOf(whole + withOperator.first(c.kept), cut);
        EXPECT_EQ(read.size(), c.records) << c.kept;
        EXPECT_EQ(cut, c.cut) << c.kept;
    }
}

TEST(RecordingIndexReading, DatesThatAreNotNumbersReadAsZeroAndHugeOnesStay)
{
    QByteArray record = RecordingIndex::encodeRecord(entryOf(QStringLiteral("a")));
    record.replace(261, 8, littleEndian(std::numeric_limits<double>::quiet_NaN()));
    record.replace(269, 8, littleEndian(-std::numeric_limits<double>::infinity()));
    qsizetype consumed = 0;
    auto entry = RecordingIndex::decodeRecord(record, consumed);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->startTime, 0.0);
    EXPECT_EQ(entry->duration, 0.0);

    record.replace(261, 8, littleEndian(1e300));
    entry = RecordingIndex::decodeRecord(record, consumed);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->startTime, 1e300);
    EXPECT_FALSE(OleDate::toDateTime(entry->startTime).isValid());
}

TEST(RecordingIndexReading, RecordsAcrossReadPiecesAllArrive)
{
    // More than one 4 MiB piece, with records of both lengths straddling piece boundaries.
    QByteArray bytes;
    std::vector<uint32_t> offsets;
    for (int i = 0; i < 9000; ++i) {
        offsets.push_back(uint32_t(bytes.size()));
        bytes += RecordingIndex::encodeRecord(
            entryOf(QString::number(i), {}, i % 3 ? QString() : QStringLiteral("Op")));
    }
    qint64 cut = 0;
    const auto read = readAllOf(bytes, cut);
    EXPECT_EQ(cut, -1);
    ASSERT_EQ(read.size(), offsets.size());
    for (size_t i = 0; i < read.size(); ++i) {
        ASSERT_EQ(read[i].name, QString::number(i));
        ASSERT_EQ(read[i].indexOffset, offsets[i]);
    }
}

TEST(RecordingIndexReading, ArbitraryBytesNeverCrashNorYieldMoreThanTheyCanHold)
{
    QRandomGenerator random(1234);
    const QByteArray marker("<operatore>");
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes(random.bounded(6000), '\0');
        for (char& c : bytes)
            c = char(random.bounded(256));
        // Plant markers where they would make operator records, some cut short.
        for (int m = 0; m < 3 && bytes.size() > 560; ++m)
            bytes.replace(random.bounded(int(bytes.size()) - 11), 11, marker);
        qint64 cut = 0;
        const auto read = readAllOf(bytes, cut);
        EXPECT_LE(qsizetype(read.size()), bytes.size() / 538);
        uint32_t previous = 0;
        for (size_t i = 0; i < read.size(); ++i) {
            if (i > 0) {
                EXPECT_GE(read[i].indexOffset, previous + 538);
            }
            previous = read[i].indexOffset;
            EXPECT_TRUE(std::isfinite(read[i].startTime));
            EXPECT_TRUE(std::isfinite(read[i].duration));
        }
        EXPECT_LE(cut, bytes.size());
    }
}
