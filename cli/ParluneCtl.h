#pragma once

#include "app/Settings.h"

#include <QString>
#include <QStringList>

class QTextStream;
class RecordingList;
struct RecordingEntry;

/// The parlunectl command line: parses the arguments, runs one command on the recordings of
/// a folder and reports on the two streams. Exit status: 0 success, 1 the operation was
/// refused or failed (the message on the error stream), 2 a usage error. Main thread.
class ParluneCtl {
public:
    ParluneCtl(QTextStream& out, QTextStream& err);

    /// Runs the command line `arguments` (without the program name). Without `--folder` the
    /// user's settings and the fallback folder are first created when missing, with the
    /// values the window's first start creates.
    int run(QStringList arguments);

    /// The usage text.
    static QString usage();

private:
    enum Status { Ok = 0, Failed = 1, Usage = 2 };

    int list(const QStringList& args);
    int show(const QStringList& args);
    int tags(const QStringList& args);
    int rename(const QStringList& args);
    int remove(const QStringList& args);
    int protect(const QStringList& args, bool on);
    int join(const QStringList& args);
    int import(const QStringList& args);
    int send(const QStringList& args);
    int duration(const QStringList& args);
    int reindex(const QStringList& args);
    /// Plays a file to its end or until SIGINT/SIGTERM, printing the position every second.
    int play(const QStringList& args);
    /// Prints the mixer tree; fails when no audio server answers.
    int mixer(const QStringList& args);
    /// Records from the microphone or a WAV file until it ends, the time is up, a
    /// termination signal comes or the recording fails (status 1); prints the names of the
    /// recordings kept. A WAV that cannot be read, or with a rate under 8000 Hz, is refused
    /// before recording; option values out of range are usage errors.
    int record(const QStringList& args);

    /// What a command does to the folder: reading needs no lock, changing waits for it.
    enum class Access { Read, Change };

    /// Opens the folder's list as the window does. With the folder's lock (always taken for
    /// Change, waiting up to kLockWaitMs for another command; taken when free for Read) the
    /// leftovers are recovered and repaired tags written. False, with a message, when the
    /// folder cannot be read or, for Change, its lock cannot be had.
    bool openList(RecordingList& list, const QString& command, Access access);
    RecordingEntry* entryNamed(RecordingList& list, const QString& name);
    /// Opens the list (completing what the index does not know when asked) and finds `name`;
    /// for Change the entry is read again from its file first. Null, with a message, when
    /// either fails.
    RecordingEntry* openEntry(RecordingList& list, const QString& command, Access access,
                              const QString& name, bool complete = false);
    /// The message for a folder whose lock `list` could not take.
    QString folderRefused(const RecordingList& list) const;
    int fail(const QString& message);
    int usageError(const QString& message);
    QString entryJson(const RecordingEntry& entry) const;
    QString entryLine(const RecordingEntry& entry) const;

    QTextStream& m_out;
    QTextStream& m_err;
    QString m_folder;
    /// The user's settings, or what missing ones read as.
    Settings m_settings;
};
