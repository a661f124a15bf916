#include "store/Joiner.h"

#include "platform/FileOps.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

// The tag EntryTags::WriteEntryTag gives `entry`, byte for byte, with `start` standing for its
// start time; built here so that the joined file is written once, tag and audio together.
// Empty when it cannot be a tag (too large for the size field).
QByteArray entryTag(RecordingEntry entry, const QDateTime& start)
{
    entry.startTime = OleDate::fromDateTime(start);
    return Id3Tag::encodeTag(EntryTags::entryFrames(entry));
}

// Appends the rest of `in` to `out` through `buffer`, adding each piece to `copied`.
bool appendRest(QFile& in, QFile& out, std::vector<char>& buffer, qint64& copied, qint64 total,
                const Joiner::Progress& progress)
{
    for (;;) {
        const qint64 got = in.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (out.write(buffer.data(), got) != got)
            return false;
        copied += got;
        if (progress)
            progress(std::min(copied, total), total);
    }
}

// A start time to the whole second, as the list shows it; nullopt when it is no valid date.
std::optional<qint64> startSeconds(const RecordingEntry& entry)
{
    const QDateTime start = OleDate::toDateTime(entry.startTime);
    if (!start.isValid())
        return std::nullopt;
    return start.date().toJulianDay() * 86400 + start.time().msecsSinceStartOfDay() / 1000;
}

} // namespace

bool Joiner::Join(const std::vector<const RecordingEntry*>& entries, RecordingEntry& newEntry,
                  const QString& overwrittenName, const Progress& progress)
{
    if (entries.empty() || newEntry.name.isEmpty() ||
        (!overwrittenName.isEmpty() &&
         overwrittenName.compare(newEntry.name, Qt::CaseInsensitive) != 0))
        return false;
    for (const RecordingEntry* entry : entries) {
        // Scrambled audio would join into noise, and a recording in progress has no file yet.
        if (!entry || entry->isProtected || entry->inUse())
            return false;
    }

    const QString target = newEntry.filePath();
    QFile out;
    // A name of its own, so that a join never writes into another process's file.
    const QString temporary =
        FileOps::createUniqueFile(out, newEntry.folder, temporaryPrefix(), QStringLiteral(".dtm"),
                                  QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (temporary.isEmpty())
        return false;
    const auto fail = [&] {
        out.close();
        QFile::remove(temporary);
        return false;
    };

    const QDateTime given = OleDate::toDateTime(newEntry.startTime);
    const QDateTime start = given.isValid() ? given : QDateTime::currentDateTime();
    const QByteArray tag = entryTag(newEntry, start);
    if (tag.isEmpty() || out.write(tag) != tag.size())
        return fail();
    std::vector<char> buffer(static_cast<size_t>(kPiece));
    qint64 total = 0;
    for (const RecordingEntry* entry : entries) {
        const QString path = entry->filePath();
        total +=
            std::max<qint64>(0, QFileInfo(path).size() - Id3Tag::audioOffset(path).value_or(0));
    }
    qint64 copied = 0;
    if (progress)
        progress(0, total);
    for (const RecordingEntry* entry : entries) {
        const QString path = entry->filePath();
        const std::optional<qint64> offset = Id3Tag::audioOffset(path);
        QFile in(path);
        if (!offset || !in.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !in.seek(*offset) ||
            !appendRest(in, out, buffer, copied, total, progress))
            return fail();
    }

    double duration = newEntry.duration;
    if (duration < 0) {
        // The clock text of the duration has a fixed length, so the measured tag fits the room
        // of the first one exactly.
        RecordingEntry measured = newEntry;
        measured.duration = EntryTags::CalcolaDurata(temporary, uint32_t(tag.size()));
        const QByteArray finalTag = entryTag(measured, start);
        if (finalTag.size() == tag.size()) {
            if (!out.seek(0) || out.write(finalTag) != finalTag.size())
                return fail();
            duration = measured.duration;
        }
    }
    const qint64 size = out.size();
    if (!FileOps::sync(out))
        return fail();
    out.close();

    const bool replacesSource =
        std::any_of(entries.begin(), entries.end(),
                    [&](const RecordingEntry* entry) { return entry->filePath() == target; });
    const bool mayReplace = replacesSource || overwrittenName == newEntry.name;
    const bool placed =
        mayReplace ? FileOps::replace(temporary, target)
                   : FileOps::renameNoReplace(temporary, target) == FileOps::RenameResult::Done;
    if (!placed) {
        QFile::remove(temporary);
        return false;
    }

    // The joined recording is safe under its name: only now may the sources go.
    for (const RecordingEntry* entry : entries) {
        if (entry->filePath() != target)
            QFile::remove(entry->filePath());
    }
    if (!overwrittenName.isEmpty() && overwrittenName != newEntry.name)
        QFile::remove(newEntry.folder + overwrittenName + QStringLiteral(".mp3"));
    FileOps::syncFolderOf(target);

    newEntry.tagSize = static_cast<uint32_t>(tag.size());
    newEntry.fileSize = static_cast<uint32_t>(size & 0xFFFFFFFF);
    newEntry.duration = duration;
    newEntry.state = RecordingEntry::Saved;
    return true;
}

std::vector<const RecordingEntry*>
Joiner::followers(const std::vector<const RecordingEntry*>& entries, const RecordingEntry* current)
{
    if (!current || current->inUse())
        return {};
    std::vector<const RecordingEntry*> chain{current};
    const std::optional<qint64> currentStart = startSeconds(*current);
    if (!currentStart)
        return chain;

    struct Candidate {
        qint64 start;
        const RecordingEntry* entry;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(entries.size());
    for (const RecordingEntry* entry : entries) {
        if (!entry)
            continue;
        const std::optional<qint64> start = startSeconds(*entry);
        if (!start)
            return chain;
        candidates.push_back({*start, entry});
    }
    // Stable, so that among equal starts the first in list order comes first.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.start < b.start; });

    const RecordingEntry* previous = current;
    qint64 previousStart = *currentStart;
    for (;;) {
        const auto next = std::upper_bound(
            candidates.begin(), candidates.end(), previousStart,
            [](qint64 start, const Candidate& candidate) { return start < candidate.start; });
        if (next == candidates.end())
            break;
        const qint64 previousLength = std::max<qint64>(0, OleDate::toSeconds(previous->duration));
        if (next->start > previousStart + previousLength + kFollowerGapSeconds ||
            next->entry->inUse())
            break;
        chain.push_back(next->entry);
        previous = next->entry;
        previousStart = next->start;
    }
    return chain;
}
