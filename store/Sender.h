#pragma once

#include <QString>

#include <chrono>

class MailClient;
struct RecordingEntry;

/// Hands one recording to the user's mail program as an attachment. UI thread (or a tool's
/// main thread).
///
/// The caller refuses a recording in use (message 300), asks "Attach notes to the mail?"
/// (string 154, Yes/No) when the recording has notes and passes the answer, and shows message
/// 97 when SendRecording returns false.
class Sender {
public:
    /// Copies the recording as name + ".mp3" into a new folder of MailClient::attachmentFolder()
    /// (the name the recipient sees), removes the notes (COMM) from the copy's tag unless
    /// `attachNotes`, and lets `mail` compose a message: subject string 31 with the name; body
    /// string 148 with the name, start date (string 8) and start time (string 7), followed by
    /// string 149 with the notes when they are attached and not empty. The recording itself is
    /// never changed. The copy stays for the mail program after success (removeOldCopies
    /// deletes it later); every failure removes it and returns false. Old copies are cleaned
    /// up first.
    static bool SendRecording(const RecordingEntry& entry, bool attachNotes, MailClient& mail);

    /// Deletes the attachment copies made more than `olderThan` ago. Called at each send; the
    /// program also calls it at start.
    static void removeOldCopies(std::chrono::seconds olderThan = std::chrono::hours(24));
};
