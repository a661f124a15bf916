#include "store/Importer.h"

#include "audio/MpegDuration.h"
#include "platform/FileOps.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/Id3Tag.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "store/RecordingNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <memory>
#include <optional>

namespace {

constexpr qint64 kCopyPiece = 1 << 20;
// Far more than any folder needs; only guards against a folder that keeps filling up.
constexpr int kMaxNameAttempts = 10000;

// The case-folded names of the files in `folder`, so that a new name never differs from an
// existing file's only by case.
QSet<QString> fileNamesIn(const QString& folder)
{
    QSet<QString> names;
    const QStringList files =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& file : files)
        names.insert(file.toCaseFolded());
    return names;
}

class NameChooser {
public:
    NameChooser(const RecordingList& list, QSet<QString> files)
        : m_list(list), m_files(std::move(files))
    {}

    /// base, or base(1), base(2), ... the first that no recording and no file holds.
    QString freeName(const QString& base) const
    {
        QString candidate = base;
        for (int counter = 1; taken(candidate) && counter < kMaxNameAttempts; ++counter)
            candidate = base + QStringLiteral("(%1)").arg(counter);
        return candidate;
    }
    void markTaken(const QString& name) { m_files.insert(fileName(name)); }

private:
    static QString fileName(const QString& name)
    {
        return (name + QStringLiteral(".mp3")).toCaseFolded();
    }
    bool taken(const QString& name) const
    {
        return name.isEmpty() || RecordingNames::isReserved(name) ||
               m_files.contains(fileName(name)) || m_list.FindByNameIgnoringCase(name) != nullptr;
    }

    const RecordingList& m_list;
    QSet<QString> m_files;
};

// Copies the regular file `source` over the empty file `target` and syncs it. Anything but a
// regular file is refused: reading a pipe or a device could block or never end.
bool copyContents(const QString& source, const QString& target)
{
    if (!QFileInfo(source).isFile())
        return false;
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    while (!in.atEnd()) {
        const QByteArray piece = in.read(kCopyPiece);
        if (piece.isEmpty() || out.write(piece) != piece.size())
            return false;
    }
    return in.error() == QFileDevice::NoError && FileOps::sync(out);
}

// True when `path` holds audio behind its tag: MPEG frames, or any byte behind a tag saying
// "Protetta", whose scrambled audio cannot be measured.
bool holdsAudio(const QString& path)
{
    const std::optional<qint64> start = Id3Tag::audioOffset(path);
    if (!start || QFileInfo(path).size() <= *start)
        return false;
    Id3Tag tag;
    if (tag.Open(path, true) && tag.ReadTag() == Id3Tag::TagRead) {
        const Id3Tag::Frame* protection = tag.FindFrame("TXXX");
        if (protection && protection->value == QStringLiteral("Protetta"))
            return true;
    }
    tag.Close();
    const auto ms = MpegDuration::milliseconds(path, *start);
    return ms && *ms > 0;
}

struct Copy {
    QString name;         ///< the name it got; empty when it was not made
    bool noAudio = false; ///< it was not made because the file holds no audio
};

// Copies `source` into `folder` under a free name; nothing is left behind when that fails or
// the copy holds no audio.
Copy copyUnderFreeName(const QString& source, const QString& folder, const QString& base,
                       NameChooser& names)
{
    const QString temporary = FileOps::createUniqueTemporary(folder);
    if (temporary.isEmpty())
        return {};
    if (!copyContents(source, temporary)) {
        QFile::remove(temporary);
        return {};
    }
    // The copy is checked rather than the source: it is a regular file that stays as it is.
    if (!holdsAudio(temporary)) {
        QFile::remove(temporary);
        return {QString(), true};
    }
    // The name is taken again if a file of that name appeared meanwhile: never replace it.
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const QString target = names.freeName(base);
        switch (FileOps::renameNoReplace(temporary, folder + target + QStringLiteral(".mp3"))) {
        case FileOps::RenameResult::Done:
            names.markTaken(target);
            return {target};
        case FileOps::RenameResult::TargetExists:
            names.markTaken(target);
            break;
        default:
            QFile::remove(temporary);
            return {};
        }
    }
    QFile::remove(temporary);
    return {};
}

} // namespace

Importer::Result Importer::ImportRecordings(RecordingList& list, const QStringList& paths,
                                            const RecordingList::Progress& saving)
{
    Result result;
    const QString folder = list.folder();
    NameChooser names(list, fileNamesIn(folder));
    for (const QString& path : paths) {
        Outcome outcome;
        outcome.path = path;
        const QString fileName = QFileInfo(path).fileName();
        const qsizetype dot = fileName.lastIndexOf(u'.');
        if (dot < 0 ||
            fileName.mid(dot + 1).compare(QStringLiteral("mp3"), Qt::CaseInsensitive) != 0) {
            outcome.kind = Outcome::Kind::WrongType;
            outcome.messageId = kWrongTypeMessage;
            outcome.message = StringTable::text(kWrongTypeMessage);
            result.outcomes.push_back(outcome);
            continue;
        }
        const Copy copy =
            copyUnderFreeName(path, folder, RecordingNames::sanitized(fileName.left(dot)), names);
        const QString& name = copy.name;
        if (name.isEmpty()) {
            outcome.kind = copy.noAudio ? Outcome::Kind::NoAudio : Outcome::Kind::CopyFailed;
            outcome.messageId = copy.noAudio ? kNoAudioMessage : kCopyFailedMessage;
            outcome.message = StringTable::text(outcome.messageId, {fileName});
            result.outcomes.push_back(outcome);
            continue;
        }
        auto loaded = std::make_unique<RecordingEntry>();
        EntryTags::LoadEntryFromFile(folder + name + QStringLiteral(".mp3"), *loaded, folder,
                                     false);
        const RecordingEntry* entry = list.AddEntry(std::move(loaded));
        outcome.name = entry->name;
        result.lastImported = entry->name;
        result.outcomes.push_back(outcome);
    }
    result.saved = list.SaveModified(saving);
    return result;
}
