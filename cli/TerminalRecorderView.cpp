#include "cli/TerminalRecorderView.h"

#include "res/StringTable.h"
#include "store/RecordingEntry.h"

#include <QTextStream>

TerminalRecorderView::TerminalRecorderView(QTextStream& err, std::function<void()> onFatal)
    : m_err(err), m_onFatal(std::move(onFatal))
{}

std::optional<RecorderView::SaveAnswer>
TerminalRecorderView::askRecordingName(const RecordingEntry&, const QString&,
                                       const SaveAnswer& proposed)
{
    return proposed;
}

void TerminalRecorderView::reportMessage(int stringId, const QString& argument, Severity)
{
    m_err << "parlunectl: " << StringTable::text(stringId, {argument}) << '\n';
    m_err.flush();
    m_failed = true;
}

void TerminalRecorderView::reportFatal(int stringId)
{
    reportMessage(stringId, QString(), Severity::Error);
    if (m_onFatal)
        m_onFatal();
}

void TerminalRecorderView::showInputLost(bool lost)
{
    // Said, not failed: the recorder reconnects by itself and goes on.
    m_err << "parlunectl: "
          << (lost ? StringTable::text(503)
                   : QStringLiteral("The microphone is back: calls are recorded again."))
          << '\n';
    m_err.flush();
}
