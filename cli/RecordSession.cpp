#include "cli/RecordSession.h"

#include "app/DiagnosticLog.h"
#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "cli/TerminalRecorderView.h"
#include "control/RecorderController.h"
#include "platform/SystemFolders.h"
#include "platform/TerminationSignals.h"

#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

RecordSession::RecordSession(RecordingList& list, Settings settings, Options options,
                             QTextStream& err)
    : m_list(list), m_settings(std::move(settings)), m_options(std::move(options)), m_err(err)
{}

QStringList RecordSession::run(bool& failed)
{
    QEventLoop loop;
    bool finishing = false;
    const auto finish = [&] {
        if (!finishing) {
            finishing = true;
            loop.quit();
        }
    };

    TerminalRecorderView view(m_err, finish);
    CWriteSoundFile writer;
    CRecordSound capture(m_options.inputFile.isEmpty() ? CRecordSound::microphone()
                                                       : CRecordSound::wavFile(m_options.inputFile),
                         SystemFolders::dataFolder());
    QStringList kept;
    bool failedNow = false;
    {
        RecorderController::Config config;
        config.programFolder = SystemFolders::programFolder();
        RecorderController controller(view, m_list, m_settings, capture, writer, config);
        QObject::connect(&controller, &RecorderController::recordingKept, &loop,
                         [&kept](const QString& name) { kept << name; });
        QObject::connect(&capture, &CRecordSound::inputEnded, &loop, finish, Qt::QueuedConnection);
        // Nothing more reaches the file after a failure, so waiting for the input to end
        // could last for ever; the view has told the reason already.
        QObject::connect(&controller, &RecorderController::recordingFailed, &loop,
                         [&](int stringId) {
                             WriteLog(QStringLiteral("parlunectl record: errore %1").arg(stringId));
                             failedNow = true;
                             finish();
                         });
        TerminationSignals signals_;
        QObject::connect(&signals_, &TerminationSignals::terminationRequested, &loop,
                         [&](int number) {
                             WriteLog(QStringLiteral("parlunectl record: segnale %1").arg(number));
                             finish();
                         });
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, finish);

        controller.start();
        if (m_options.autoRecord)
            controller.ToggleAutoRecording();
        else
            controller.StartRecording();
        if (m_options.seconds)
            deadline.start(*m_options.seconds * 1000);
        if (!finishing)
            loop.exec();
        // As the Stop command: the recording is named with its default name.
        controller.StopRecording(true);
        controller.shutdown();
    }
    failed = failedNow || view.failed();
    return kept;
}
