#pragma once

#include "control/RecorderView.h"

#include <functional>

class QTextStream;

/// The recorder's view for parlunectl: nobody is asked for names (recordings keep their default
/// names), messages and the loss and return of the microphone while armed go to the error
/// stream, and a fatal error ends the recording through the given callback. Displays are
/// ignored.
/// Lifecycle: outlives the RecorderController that uses it. Main thread.
class TerminalRecorderView : public RecorderView {
public:
    TerminalRecorderView(QTextStream& err, std::function<void()> onFatal);

    std::optional<SaveAnswer> askRecordingName(const RecordingEntry& entry,
                                               const QString& temporaryFile,
                                               const SaveAnswer& proposed) override;
    /// Nobody answers questions on a terminal: recordings keep their default names.
    bool attended() const override { return false; }
    void reportMessage(int stringId, const QString& argument, Severity severity) override;
    void reportFatal(int stringId) override;
    void showInputLost(bool lost) override;

    /// True once a message or a fatal error was reported.
    bool failed() const { return m_failed; }

private:
    QTextStream& m_err;
    std::function<void()> m_onFatal;
    bool m_failed = false;
};
