#pragma once

#include <QString>
#include <QStringList>

class RecordingList;

/// Turns the audio a recorder left behind (a crash, a kill, a power cut) into recordings:
/// the temporary file "tmp_nome_reg.dtm", and every ".prl" hand-over file of the folder that
/// belongs to no recording, become recordings of their own with a default name, listed, tagged
/// and indexed like any other. The clear copy of a protected recording, left by a crash during
/// its playback, is deleted. A file another process holds locked is a live recorder's and
/// is left alone (a recorder keeps its hand-over files locked until it has taken them); a
/// file without audio is left alone too, and a file gone meanwhile is never created again.
/// Lifecycle: static; call it whenever a working folder is opened (after the list is loaded,
/// before this process's recorder threads write into the folder). UI thread (or a tool's main
/// thread).
class LeftoverRecovery {
public:
    /// Recovers the leftovers of `folder` (ending with "/") into `list`, which holds that
    /// folder's recordings. Returns the names given, in the order made.
    static QStringList recover(RecordingList& list, const QString& folder,
                               const QString& operatorName = QString());
    /// Makes one recording of the file `path` (which holds audio and is this caller's to
    /// take). Returns its name, or an empty string when it could not be moved.
    static QString adopt(RecordingList& list, const QString& path, const QString& operatorName);
    /// True when `path` holds MPEG audio of some length.
    static bool holdsAudio(const QString& path);
};
