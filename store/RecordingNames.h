#pragma once

#include <QString>

#include <cstdint>

class RecordingList;
struct RecordingEntry;

/// The rules a recording's name must follow, the rename of a recording and the text of a
/// size. Results are the numbers of the string-table messages the caller shows (0 = fine).
/// UI thread (or a tool's main thread).
class RecordingNames {
public:
    /// Messages of the name rules.
    enum Message {
        Accepted = 0,
        Taken = 17,      ///< a recording of that name exists
        Reserved = 18,   ///< the base name of a temporary file
        Forbidden = 27,  ///< a character that cannot be in a name
        SaveFailed = 73, ///< any other file error
        Empty = 303,
        TooLong = 304,
    };
    /// Rules to apply, combined with "|".
    enum Rule : unsigned {
        NotEmpty = 1,
        FitsPath = 2,
        NoForbidden = 4,
        NotReserved = 8,
        NotTaken = 16,
        AllRules = 31,
    };

    /// Folder (with its final "/") + name may hold this many UTF-8 bytes.
    static constexpr int kMaxPathLength = 260;
    /// A file name (name + ".mp3") may hold this many bytes on Linux.
    static constexpr int kMaxFileNameLength = 255;

    /// Checks `name` for a recording of `folder` against `rules`, in this order: empty (303),
    /// too long (304: folder + name over 260 UTF-8 bytes, or name + ".mp3" over 255), forbidden
    /// character (27), taken (17), reserved (18). "Taken" means an entry of `list` (when given)
    /// or a file folder + name + ".mp3" has this name ignoring case; `self` (when given) and
    /// its own file do not count, so a recording may change the case of its own name.
    static int check(const QString& name, const QString& folder, unsigned rules,
                     const RecordingList* list = nullptr, const RecordingEntry* self = nullptr);
    /// True for the characters a name cannot hold: < > : / | * ? \ " and every control or
    /// line-break character (they would break the index and the tag).
    static bool isForbidden(QChar c);
    static bool hasForbidden(const QString& name);
    /// A typed name as it is saved: line breaks removed, no blanks at either end.
    static QString cleanedName(QString name);
    /// Typed notes as they are saved: no blanks before the first word.
    static QString cleanedNotes(QString notes);
    /// True for "tmp_nome_reg", "Join_Temporary" and "tagTemporary" (exact case).
    static bool isReserved(const QString& name);
    /// `name` with each forbidden character replaced by "_".
    static QString sanitized(const QString& name);
    /// True when a file folder + name + ".mp3" exists whose name equals this one ignoring
    /// case, other than `except` (a file name) when given.
    static bool fileExistsIgnoringCase(const QString& folder, const QString& name,
                                       const QString& except = QString());

    /// "%d.%d KB", " MB" or " GB" (strings 118, 119, 120): the whole units and the first
    /// decimal, both truncated (the decimal never exceeds 9).
    static QString SizeText(int64_t bytes);

    /// Gives `entry` the name `newName` and the notes `newNotes`. A new name must pass every
    /// rule; the file is then renamed (never onto an existing file) unless the entry is being
    /// recorded and has no file yet. Then, unless in use, the entry becomes Modified, takes the
    /// name and notes, and the list saves its modified entries (tag and index). Returns 0, or
    /// the message to show: 303, 304, 27, 17, 18, or for a failed rename 17 (the target
    /// exists), 27 (invalid path) or 73 (any other error), with entry and file unchanged.
    /// 73 also when the list does not hold the folder's lock (nothing is touched) and whenever
    /// the tag could not be written: then the file has its old name again and the entry its
    /// old name, notes and state, agreeing with the tag and the index record (should the old
    /// name be unavailable by then, the file and the record keep the new name and the entry
    /// stays Modified). The caller stops the playback of the entry's file first.
    static int RenameRecording(RecordingList& list, RecordingEntry& entry, const QString& newName,
                               const QString& newNotes);
};
