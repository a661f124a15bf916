#pragma once

#include "control/RecorderView.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class RecordingList;
struct RecordingEntry;

/// Turns the audio file of a finished recording into folder + name + ".mp3" with its entry
/// saved (tag and index record), or discards it: the save dialog's round, the move of an
/// arrived auto-recording with its retries, and the removal of an entry that keeps no file.
/// Lifecycle: owned by the RecorderController, for its life. UI thread.
class RecordingFinisher {
public:
    enum class Outcome { Saved, Cancelled, Failed };
    /// Told when a recording cannot be saved because another process holds the folder.
    static constexpr int kFolderBusyString = 604;

    RecordingFinisher(RecorderView& view, RecordingList& list);

    /// Move attempts before giving up, and the pause between two.
    void setMoveRetry(int attempts, int delayMs);

    /// Asks the view for a name until one is accepted and `audioFile` is renamed to it, or the
    /// user cancels (the entry is removed, the file left for the caller); after a refused name
    /// the view is asked again with what the user typed. Unattended (`attended` false) nobody
    /// is asked: the recording keeps its default name, or takes a fresh default name when that
    /// one was taken meanwhile. Failed when the file cannot be renamed for a reason no other
    /// name would mend (a read-only or broken disk: string 69 is shown): the entry is removed
    /// and the audio stays in `audioFile` for the next opening of the folder to recover.
    /// `audioFile` is held locked meanwhile, so no other process takes it for a leftover.
    /// Failed too, without asking, while the list does not hold its folder (see refusedByFolder).
    Outcome nameAndSave(RecordingEntry& entry, const QString& audioFile, bool attended);
    /// Moves `arrived` to the entry's file, trying as often as set with the set pause between
    /// two attempts (a timer: the UI thread never sleeps), then calls `done` with whether it
    /// moved; at once when the first attempt decides. On failure reports string 69, logs, and
    /// leaves `arrived` where it is. Refused as refusedByFolder says while the list does not
    /// hold its folder. One move at a time; the entry must outlive it.
    void moveIntoFolder(const QString& arrived, RecordingEntry& entry,
                        std::function<void(bool moved)> done);
    /// A move is waiting for its next attempt.
    bool moving() const { return static_cast<bool>(m_moveDone); }
    /// Makes the waiting move's last attempt now (the program is closing); `done` is called.
    void finishMoveNow();
    /// The entry's file is in place: measure it, mark it modified, save the list's modified
    /// entries and rewrite its row (shown until now as `oldName`).
    void complete(RecordingEntry& entry, const QString& oldName);
    /// Removes the entry's row and the entry; no file is touched.
    void removeEntry(RecordingEntry& entry);

private:
    /// While the list does not hold its folder nothing may be saved into it: reports
    /// kFolderBusyString (another process has the folder) or 69 (it cannot be locked) with
    /// `audioFile`, which stays where it is for the leftover recovery, removes the entry and
    /// returns true. False, doing nothing, while the list holds the folder.
    bool refusedByFolder(RecordingEntry& entry, const QString& audioFile);
    /// A default name no recording and no file of the folder uses now.
    QString freshDefaultName(const RecordingEntry& entry);

    /// One attempt of the waiting move: true when moved, false when no attempt is left (the
    /// failure reported), nullopt when another attempt is to follow.
    std::optional<bool> attemptMove();

    RecorderView& m_view;
    RecordingList& m_list;
    int m_moveAttempts = 10;
    int m_moveDelayMs = 500;
    // The move waiting between attempts.
    QTimer m_moveTimer;
    QString m_moveSource;
    RecordingEntry* m_moveEntry = nullptr;
    int m_moveAttempt = 0;
    int m_moveError = 0;
    std::function<void(bool)> m_moveDone;
};
