#pragma once

#include <QString>
#include <QStringList>

/// Runs other programs. Blocking calls: used on the UI thread where waiting is the point.
class ProcessRunner {
public:
    /// Runs `program` with `arguments` and waits until it has ended, however long it takes.
    /// Returns false when it could not be started; its exit status is not reported.
    static bool runAndWait(const QString& program, const QStringList& arguments);
};
