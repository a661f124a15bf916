#include "store/Protection.h"

#include "platform/FileOps.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingEntry.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Longest stretch of key pattern laid out at once; long enough that the per-stretch overhead
// vanishes, short enough to stay in the first-level cache.
constexpr qsizetype kPadStretch = 16 * 1024;

void xorBytes(char* data, const char* pad, qsizetype size)
{
    // Sixteen bytes at a time: the compilers turn this into one vector XOR on every target.
    using Block = uint64_t __attribute__((vector_size(16)));
    qsizetype i = 0;
    for (; i + 16 <= size; i += 16) {
        Block word;
        Block mask;
        std::memcpy(&word, data + i, 16);
        std::memcpy(&mask, pad + i, 16);
        word ^= mask;
        std::memcpy(data + i, &word, 16);
    }
    for (; i < size; ++i)
        data[i] = char(data[i] ^ pad[i]);
}

// The key repeated over a whole number of key lengths plus one more, so that the pattern for
// any key index is a plain slice of it and whole words can be XORed at once.
class KeyPad {
public:
    KeyPad(QByteArrayView key, qsizetype longestRun) : m_keyLength(key.size())
    {
        if (m_keyLength == 0)
            return;
        const qsizetype wanted = std::clamp<qsizetype>(longestRun, 1, kPadStretch);
        m_stretch = (wanted + m_keyLength - 1) / m_keyLength * m_keyLength;
        const auto padSize = size_t(m_stretch + m_keyLength);
        m_pad.resize(padSize);
        std::memcpy(m_pad.data(), key.data(), size_t(m_keyLength));
        for (size_t filled = size_t(m_keyLength); filled < padSize; filled *= 2)
            std::memcpy(m_pad.data() + filled, m_pad.data(), std::min(filled, padSize - filled));
    }

    void apply(char* data, qsizetype size, qint64 index) const
    {
        if (m_keyLength == 0)
            return;
        const auto offset = qsizetype(((index % m_keyLength) + m_keyLength) % m_keyLength);
        // Each stretch is a whole number of key lengths, so the offset holds for the next one.
        for (qsizetype done = 0; done < size; done += m_stretch)
            xorBytes(data + done, m_pad.data() + offset, std::min(m_stretch, size - done));
    }

private:
    qsizetype m_keyLength = 0;
    qsizetype m_stretch = 0;
    std::vector<char> m_pad;
};

// Reads up to `size` bytes, fewer only at the end of the file; -1 on error.
qint64 readFully(QFile& file, char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 got = file.read(data + done, size - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

// Copies `length` bytes (all that is left when negative) from `in` to `out` through `buffer`,
// scrambling them with `pad` at the running key index `index` when a pad is given. A file that
// ends before `length` bytes is a failure.
bool pump(QFile& in, QFile& out, qint64 length, std::vector<char>& buffer, const KeyPad* pad,
          qint64 index)
{
    const auto piece = qint64(buffer.size());
    qint64 left = length;
    while (length < 0 || left > 0) {
        const qint64 wanted = length < 0 ? piece : std::min(piece, left);
        const qint64 got = readFully(in, buffer.data(), wanted);
        if (got < 0)
            return false;
        if (got == 0)
            return length < 0;
        if (pad) {
            pad->apply(buffer.data(), got, index);
            index += got;
        }
        if (out.write(buffer.data(), got) != got)
            return false;
        left -= got;
    }
    return true;
}

// The tag EntryTags::WriteEntryTag gives `entry`, byte for byte; empty when it cannot be one.
QByteArray entryTag(const RecordingEntry& entry)
{
    return Id3Tag::encodeTag(EntryTags::entryFrames(entry));
}

// `entry` as it describes the file just put in place: its tag and size, nothing left to save.
RecordingEntry saved(RecordingEntry entry, qsizetype tagSize, qint64 fileSize)
{
    entry.tagSize = static_cast<uint32_t>(tagSize);
    entry.fileSize = static_cast<uint32_t>(fileSize & 0xFFFFFFFF);
    entry.state = RecordingEntry::Saved;
    return entry;
}

bool keyBytesUsable(qsizetype length)
{
    return length >= Protection::kMinKeyCharacters && length <= Protection::kMaxKeyBytes;
}

// Puts a finished output in the recording's place (a kept copy stays beside it), or removes
// a failed one, so that no ".prl" is ever left behind.
bool settle(bool ok, bool keepCopy, const QString& output, const QString& source)
{
    if (ok && (keepCopy || FileOps::replace(output, source)))
        return true;
    QFile::remove(output);
    return false;
}

} // namespace

Protection::KeyProblem Protection::checkNewKeyWord(const QString& keyWord, const QString& retyped,
                                                   bool retypeInUse)
{
    if (keyWord.contains(u'*'))
        return KeyHasStar;
    if (keyWord.size() < kMinKeyCharacters)
        return KeyTooShort;
    if (keyWord.toUtf8().size() > kMaxKeyBytes)
        return KeyTooLong;
    if (retypeInUse && retyped != keyWord)
        return KeysDiffer;
    return KeyAccepted;
}

QString Protection::outputPath(const RecordingEntry& entry)
{
    return entry.folder + entry.name + QStringLiteral(".prl");
}

QByteArray Protection::checkBlock(QByteArrayView key)
{
    return QByteArray::number(key.size()) + '*' + key.toByteArray() + '*';
}

void Protection::scramble(char* data, qsizetype size, QByteArrayView key, qint64 startIndex)
{
    if (size > 0)
        KeyPad(key, size).apply(data, size, startIndex);
}

QByteArray Protection::scramble(QByteArrayView bytes, QByteArrayView key, qint64 startIndex)
{
    QByteArray out = bytes.toByteArray();
    scramble(out.data(), out.size(), key, startIndex);
    return out;
}

bool Protection::checkBlockMatches(QByteArrayView afterTag, QByteArrayView key,
                                   qsizetype* checkLength)
{
    const qsizetype length = key.size();
    if (length == 0 || length > kMaxKeyBytes)
        return false;
    const auto clear = [&](qsizetype at) { return char(afterTag[at] ^ key[at % length]); };

    // The length digits end at a "*" that must be the second, third or fourth byte.
    qsizetype star = -1;
    qsizetype value = 0;
    for (qsizetype at = 0; at < 4 && at < afterTag.size(); ++at) {
        const char c = clear(at);
        if (c == '*') {
            star = at;
            break;
        }
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (star < 1 || value != length)
        return false;
    const qsizetype total = star + 1 + length + 1;
    if (afterTag.size() < total)
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        if (clear(star + 1 + i) != key[i])
            return false;
    }
    if (clear(total - 1) != '*')
        return false;
    if (checkLength)
        *checkLength = total;
    return true;
}

bool Protection::Protect(RecordingEntry& entry, bool keepCopy)
{
    if (checkNewKeyWord(entry.keyWord, entry.keyWord, false) != KeyAccepted)
        return false;
    const QByteArray key = entry.keyWord.toUtf8();
    const QString source = entry.filePath();
    const QString output = outputPath(entry);
    const std::optional<qint64> audioStart = Id3Tag::audioOffset(source);
    if (!audioStart)
        return false;
    RecordingEntry result = entry;
    result.isProtected = true;
    const QByteArray tag = keepCopy ? QByteArray() : entryTag(result);
    if (!keepCopy && tag.isEmpty())
        return false;

    QFile in(source);
    QFile out(output);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    std::vector<char> buffer(static_cast<size_t>(kPiece));
    const KeyPad pad(key, kPiece);
    const QByteArray header = scramble(checkBlock(key), key, 0);
    // The copy keeps the file's own tag; the replacement carries the new one.
    const bool front = keepCopy ? pump(in, out, *audioStart, buffer, nullptr, 0)
                                : in.seek(*audioStart) && out.write(tag) == tag.size();
    const bool ok = front && out.write(header) == header.size() &&
                    pump(in, out, -1, buffer, &pad, header.size());
    const qint64 size = out.size();
    in.close();
    out.close();
    if (!settle(ok, keepCopy, output, source))
        return false;
    if (!keepCopy)
        entry = saved(std::move(result), tag.size(), size);
    return true;
}

bool Protection::Unprotect(RecordingEntry& entry, bool keepCopy)
{
    const QByteArray key = entry.keyWord.toUtf8();
    if (!keyBytesUsable(key.size()))
        return false;
    const QString source = entry.filePath();
    const QString output = outputPath(entry);
    const std::optional<qint64> audioStart = Id3Tag::audioOffset(source);
    if (!audioStart)
        return false;

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !in.seek(*audioStart))
        return false;
    // Digits (at most 3), "*", key, "*": nothing longer can be a check block of this key.
    QByteArray head(3 + 1 + key.size() + 1, Qt::Uninitialized);
    const qint64 got = readFully(in, head.data(), head.size());
    qsizetype checkLength = 0;
    if (got < 0 || !checkBlockMatches(QByteArrayView(head).first(got), key, &checkLength))
        return false;
    RecordingEntry result = entry;
    result.isProtected = false;
    const QByteArray tag = keepCopy ? QByteArray() : entryTag(result);
    if (!keepCopy && tag.isEmpty())
        return false;

    QFile out(output);
    if (!in.seek(*audioStart + checkLength) ||
        !out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    std::vector<char> buffer(static_cast<size_t>(kPiece));
    const KeyPad pad(key, kPiece);
    bool ok = out.write(tag) == tag.size() && pump(in, out, -1, buffer, &pad, checkLength);
    if (ok && !keepCopy) {
        // Scrambled audio could not be measured; the clear audio can, and the length's clock
        // text has a fixed size, so the corrected tag takes the first one's room exactly.
        RecordingEntry measured = result;
        measured.duration = EntryTags::CalcolaDurata(output, uint32_t(tag.size()));
        const QByteArray corrected = measured.duration > 0 ? entryTag(measured) : QByteArray();
        if (corrected.size() == tag.size()) {
            ok = corrected == tag || (out.seek(0) && out.write(corrected) == corrected.size());
            result.duration = measured.duration;
        }
    }
    const qint64 size = out.size();
    in.close();
    out.close();
    if (!settle(ok, keepCopy, output, source))
        return false;
    if (!keepCopy)
        entry = saved(std::move(result), tag.size(), size);
    return true;
}
