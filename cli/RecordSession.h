#pragma once

#include "app/Settings.h"

#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;
class RecordingList;

/// One `parlunectl record`: runs the recorder on the folder's list until the input ends, the
/// time is up, a termination signal arrives or the recording fails (a full disk, a read-only
/// folder, a lost microphone), then stops as the Stop command does, keeping what was written.
/// Lifecycle: construct, run() once. Main thread, inside a QCoreApplication.
class RecordSession {
public:
    struct Options {
        bool autoRecord = false;
        QString inputFile;          ///< a WAV file; empty: the default microphone
        std::optional<int> seconds; ///< stop after this long
    };

    /// `settings` holds the recorder's values (the settings with the command's overrides).
    RecordSession(RecordingList& list, Settings settings, Options options, QTextStream& err);

    /// Records; returns the names kept, in order, and whether anything failed (a failure
    /// was told on the error stream).
    QStringList run(bool& failed);

private:
    RecordingList& m_list;
    Settings m_settings;
    Options m_options;
    QTextStream& m_err;
};
