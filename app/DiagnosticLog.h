#pragma once

#include <QString>

/// The diagnostic log: plain lines for support staff, appended to files of the data folder,
/// never read back by the program. Callable from any thread; writes inside this process are
/// serialised, so lines of several threads are neither lost nor mixed. Errors are swallowed.
class DiagnosticLog {
public:
    /// The main log's file name, "PL.log".
    static QString mainFileName() { return QStringLiteral("PL.log"); }
    /// Appends `text` (UTF-8, as it is) and CR LF to data folder + `fileName`, creating the
    /// file (and the data folder) when missing.
    static void writeFile(const QString& text, const QString& fileName);
    /// Deletes the main log, so that a run's log holds only that run's lines.
    static void reset();
    /// The full path of a log file of the data folder.
    static QString path(const QString& fileName);
};

/// Appends one line to "PL.log".
inline void WriteLog(const QString& text)
{
    DiagnosticLog::writeFile(text, DiagnosticLog::mainFileName());
}

/// Appends one line to the log file `fileName` of the data folder.
inline void WriteLogFile(const QString& text, const QString& fileName)
{
    DiagnosticLog::writeFile(text, fileName);
}
