#pragma once

#include <QString>

#include <functional>
#include <vector>

struct RecordingEntry;

/// Joining recordings: their MPEG audio is concatenated, without re-encoding, into one new
/// recording that replaces them; and the chain of recordings that follow one another, which
/// the join wizard offers to join. UI thread (or a tool's main thread).
class Joiner {
public:
    /// Largest piece of audio read and written at a time.
    static constexpr qint64 kPiece = 500000;
    /// Greatest gap, in seconds, between the end of a recording and the start of its follower.
    static constexpr qint64 kFollowerGapSeconds = 10;
    /// Told (bytes of audio copied, bytes of audio in all) before the first piece and after
    /// each, so that a long join can show its progress and keep its window painted.
    using Progress = std::function<void(qint64 copied, qint64 total)>;

    /// The joined recording is built in the new entry's folder as "Join_Temporary-" + 8
    /// random hex digits + ".dtm", a name no other file has.
    static QString temporaryPrefix() { return QStringLiteral("Join_Temporary-"); }
    /// The names of the joins' temporary files, past and present ("Join_Temporary*.dtm"), as a
    /// file-name wildcard; such a file is only ever a copy of audio that its sources still hold.
    static QString temporaryPattern() { return QStringLiteral("Join_Temporary*.dtm"); }

    /// Joins the audio of `entries`, in that order, into newEntry.filePath() behind a new tag
    /// made from `newEntry` (its eleven frames, as EntryTags::WriteEntryTag writes them), then
    /// deletes the sources' files.
    ///
    /// Each source's audio starts where its file's own tag header says; the entries' `tagSize`
    /// is not used (entries read from the index do not know it). When newEntry.duration is
    /// unknown (negative) it is measured from the joined audio before the tag is written. On
    /// success newEntry's `tagSize`, `fileSize` and `duration` describe the new file and its
    /// `state` is Saved.
    ///
    /// The new file is complete and synced under its final name before any source is deleted:
    /// it replaces an existing file of that name in one step only when that file is one of the
    /// sources, or is the recording `overwrittenName` the user agreed to overwrite; any other
    /// existing file of that name makes the join fail. `overwrittenName`'s file is deleted with
    /// the sources when it is not the new file itself (e.g. when the names differ in case).
    /// A source that cannot be deleted afterwards stays on disk (nothing is lost; the list
    /// finds it again at its next load) and the join still succeeds.
    ///
    /// False, with every file as it was and no temporary file left, when `entries` is empty,
    /// a source is protected, in use or cannot be read, or the new file cannot be written or
    /// put in place.
    ///
    /// The caller then updates the list: DeleteRecordings(the sources' names plus
    /// `overwrittenName`, Removal::KeepFiles) and AddEntry(newEntry). `progress`, when given,
    /// follows the copying of the audio.
    static bool Join(const std::vector<const RecordingEntry*>& entries, RecordingEntry& newEntry,
                     const QString& overwrittenName = QString(), const Progress& progress = {});

    /// `current` and the recordings that follow it, in chain order (the join wizard's "Show
    /// recording immediately following"). Starts and durations count in whole seconds (an
    /// unknown duration as 0). From each recording the next is the one of `entries` whose
    /// start is the nearest strictly after its start (the first in list order among equal
    /// starts); it is taken when it starts no later than the previous start + the previous
    /// duration + kFollowerGapSeconds and is not being recorded, else the chain ends. When any
    /// entry's start is not a valid date, no follower is found. Empty when `current` is null
    /// or being recorded.
    static std::vector<const RecordingEntry*>
    followers(const std::vector<const RecordingEntry*>& entries, const RecordingEntry* current);
};
