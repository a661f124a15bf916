#pragma once

#include <QString>
#include <QStringList>

class RecordingList;

/// Cleans up what a crash, a kill or a power cut left in a working folder, without ever
/// deleting a file that holds a recording's only audio:
/// - the recorder's temporary file "tmp_nome_reg.dtm" and every ".prl" hand-over file that
///   belongs to no recording become recordings of their own with a default name, listed,
///   tagged and indexed like any other;
/// - a "TEM*.tmp" file (an interrupted import's copy, whose source is still where it came
///   from) is deleted;
/// - the temporary files of tag rewrites (Id3Tag::temporaryPattern()) and of joins
///   (Joiner::temporaryPattern()) are deleted: their audio is still in the files they copy;
/// - a ".prl" named after a recording whose ".mp3" is there and not empty (the output of an
///   interrupted protect or unprotect, or the clear copy of a protected playback) is deleted,
///   unless its name is one the recorder gives its hand-over files ("TEM" + hex digits,
///   "tempReg"), which cannot be told from a recording's audio and is left alone;
/// - a recording that is not protected nor being recorded, whose length is unknown or 0 while
///   its file holds audio (killed during its tag write), is measured and saved (unless the
///   list's lengths are measured later, RecordingList::durationsMeasuredLater).
/// A file another process holds locked is a live recorder's and is left alone (a recorder keeps
/// its hand-over files locked until it has taken them); a ".prl" or "tmp_nome_reg.dtm" without
/// audio is left alone too, and a file gone meanwhile is never created again. Each removal and
/// each measured length is logged.
/// Lifecycle: static; call it whenever a working folder is opened (after the list is loaded,
/// before this process's recorder threads write into the folder). Nothing is done unless the
/// list holds the folder's lock, so no other process is in the middle of an operation there.
/// UI thread (or a tool's main thread).
class LeftoverRecovery {
public:
    /// Recovers the leftovers of `folder` (ending with "/") into `list`, which holds that
    /// folder's recordings. Returns the names given, in the order made. `listChanged`, when
    /// given, tells whether any entry was added or changed (a view of the list shows it again).
    static QStringList recover(RecordingList& list, const QString& folder,
                               const QString& operatorName = QString(),
                               bool* listChanged = nullptr);
    /// Makes one recording of the file `path` (which holds audio and is this caller's to
    /// take). Returns its name, or an empty string when it could not be moved.
    static QString adopt(RecordingList& list, const QString& path, const QString& operatorName);
    /// True when `path` holds MPEG audio of some length.
    static bool holdsAudio(const QString& path);
};
