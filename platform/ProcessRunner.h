#pragma once

#include <QString>
#include <QStringList>

/// Runs other programs from the UI thread: waiting for one where waiting is the point, or
/// leaving one to run on its own.
class ProcessRunner {
public:
    /// Runs `program` with `arguments` and waits until it has ended, however long it takes.
    /// Returns false when it could not be started; its exit status is not reported.
    static bool runAndWait(const QString& program, const QStringList& arguments);
    /// Starts `program` with `arguments` in its own folder and returns at once; the program
    /// lives on after Parlune ends. Returns false when it could not be started.
    static bool startDetached(const QString& program, const QStringList& arguments = {});
};
