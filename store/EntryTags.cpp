#include "store/EntryTags.h"

#include "audio/MpegDuration.h"
#include "store/Id3Tag.h"
#include "store/RecordingEntry.h"

#include <QFileInfo>

#include <optional>

namespace {

// Two characters as a number, or nullopt when they are not both digits.
std::optional<int> twoDigits(QStringView text)
{
    if (text.size() != 2 || !text[0].isDigit() || !text[1].isDigit())
        return std::nullopt;
    return (text[0].unicode() - u'0') * 10 + (text[1].unicode() - u'0');
}

// "%H:%M:%S" as a time of day: hours from the first two characters, minutes from offset 3,
// seconds from the last two.
std::optional<QTime> parseClock(const QString& text)
{
    if (text.size() < 5)
        return std::nullopt;
    const auto hours = twoDigits(QStringView(text).first(2));
    const auto minutes = twoDigits(QStringView(text).sliced(3, 2));
    const auto seconds = twoDigits(QStringView(text).last(2));
    if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    return QTime(*hours, *minutes, *seconds);
}

int leadingNumber(const QString& text)
{
    int value = 0;
    for (const QChar c : text) {
        if (!c.isDigit() || value > 100000)
            break;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString clockText(qint64 seconds)
{
    seconds %= 86400;
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                             seconds % 60);
}

QString baseName(const QString& path)
{
    const QString file = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = file.lastIndexOf(u'.');
    return dot < 0 ? file : file.left(dot);
}

} // namespace

uint32_t EntryTags::listedSize(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() ? static_cast<uint32_t>(info.size() & 0xFFFFFFFF) : 0;
}

double EntryTags::CalcolaDurata(const QString& path, uint32_t tagSize)
{
    // Entries read from the index know no tag size: the file's header tells it.
    const qint64 offset = tagSize != 0 ? tagSize : Id3Tag::audioOffset(path).value_or(0);
    const auto ms = MpegDuration::milliseconds(path, offset);
    return ms ? OleDate::fromSeconds(*ms / 1000) : 0.0;
}

std::vector<Id3Tag::Frame> EntryTags::entryFrames(const RecordingEntry& entry)
{
    const QDateTime start = OleDate::toDateTime(entry.startTime);
    const QDateTime valid = start.isValid() ? start : QDateTime::currentDateTime();
    const qint64 seconds = std::max<qint64>(0, OleDate::toSeconds(entry.duration));
    return {
        {"TDAT", valid.toString(QStringLiteral("ddMM"))},
        {"TYER", QString::number(valid.date().year())},
        {"TIME", valid.toString(QStringLiteral("HH:mm:ss"))},
        {"TLEN", clockText(seconds)},
        {"TIT2", entry.name},
        {"COMM", entry.notes},
        {"TRCK", QStringLiteral("0")},
        {"TALB", entry.operatorName},
        {"TCON", entry.genre},
        {"TPE1", entry.artist},
        {"TXXX", entry.isProtected ? QStringLiteral("Protetta") : QStringLiteral("Non Protetta")},
    };
}

bool EntryTags::WriteEntryTag(RecordingEntry& entry)
{
    Id3Tag tag;
    if (!tag.Open(entry.filePath()))
        return false;
    for (const Id3Tag::Frame& frame : entryFrames(entry))
        tag.SetText(frame.id, frame.value);
    if (!tag.WriteTag())
        return false;
    entry.tagSize = tag.TagSize();
    // A new tag may change the file's length; the index lists the size as it is now.
    entry.fileSize = listedSize(entry.filePath());
    entry.state = RecordingEntry::Saved;
    return true;
}

bool EntryTags::LoadEntryFromFile(const QString& path, RecordingEntry& entry, const QString& folder,
                                  bool computeDuration, bool mayWrite, bool measureUnknown)
{
    Id3Tag tag;
    // Read only: the repairs are written later from the entry (state Modified), and a file
    // that cannot be written must still show what its tag says.
    if (!tag.Open(path, true) || tag.ReadTag() != Id3Tag::TagRead) {
        tag.Close();
        const QString file = path.mid(path.lastIndexOf(u'/') + 1);
        entry.name = file.left(std::max<qsizetype>(0, file.size() - 4));
        entry.folder = folder;
        entry.duration = measureUnknown ? CalcolaDurata(path, 0) : OleDate::kNoDuration;
        entry.notes.clear();
        entry.isProtected = false;
        entry.startTime = OleDate::now();
        entry.artist = defaultArtist();
        entry.genre = defaultGenre();
        entry.fileSize = listedSize(folder + entry.name + QStringLiteral(".mp3"));
        entry.state = RecordingEntry::Modified;
        if (mayWrite)
            WriteEntryTag(entry);
        return false;
    }
    const auto text = [&](QByteArrayView id) -> std::optional<QString> {
        const Id3Tag::Frame* frame = tag.FindFrame(id);
        return frame ? std::optional(frame->value) : std::nullopt;
    };
    entry.state = RecordingEntry::Saved;
    const auto repaired = [&] { entry.state = RecordingEntry::Modified; };

    entry.name = baseName(path);
    if (text("TIT2") != entry.name)
        repaired();

    const QDateTime now = QDateTime::currentDateTime();
    const int year = leadingNumber(text("TYER").value_or(QString()));
    const QString dayMonth = text("TDAT").value_or(QString());
    const int day = dayMonth.size() >= 2 ? leadingNumber(dayMonth.left(2)) : 0;
    const int month = dayMonth.size() >= 2 ? leadingNumber(dayMonth.right(2)) : 0;
    QDate date(year, month, day);
    if (year < 100 || year > 9999 || !date.isValid()) {
        date = now.date();
        repaired();
    }
    auto time = parseClock(text("TIME").value_or(QString()));
    if (!time) {
        time = QTime(now.time().hour(), now.time().minute(), now.time().second());
        repaired();
    }
    entry.startTime = OleDate::fromDateTime(QDateTime(date, *time));

    const auto length = parseClock(text("TLEN").value_or(QString()));
    entry.duration =
        length ? OleDate::fromSeconds(QTime(0, 0).secsTo(*length)) : OleDate::kNoDuration;
    entry.fileSize = listedSize(folder + entry.name + QStringLiteral(".mp3"));

    if (const auto notes = text("COMM")) {
        entry.notes = *notes;
    } else {
        entry.notes.clear();
        repaired();
    }
    const auto protection = text("TXXX");
    entry.isProtected = protection == QStringLiteral("Protetta");
    if (!protection)
        repaired();
    entry.artist = text("TPE1").value_or(QString());
    if (entry.artist.isEmpty()) {
        entry.artist = defaultArtist();
        repaired();
    }
    entry.genre = text("TCON").value_or(QString());
    if (entry.genre.isEmpty()) {
        entry.genre = defaultGenre();
        repaired();
    }
    entry.folder = folder;
    entry.operatorName = text("TALB").value_or(QString());
    entry.tagSize = tag.TagSize();
    tag.Close();
    // Scrambled audio has no length to measure: a protected recording keeps the one it had.
    if ((computeDuration && !entry.isProtected) ||
        (measureUnknown && entry.duration == OleDate::kNoDuration))
        entry.duration = CalcolaDurata(path, entry.tagSize);
    return true;
}
