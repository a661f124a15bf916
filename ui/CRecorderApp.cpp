#include "ui/CRecorderApp.h"

#include "app/SettingsStartup.h"
#include "platform/InstanceLock.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemFolders.h"
#include "platform/TerminationSignals.h"
#include "ui/CRecorderDlg.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSessionManager>

CRecorderApp::CRecorderApp(MessagePresenter& messages, QString lockPath,
                           CRecordSound::InputFactory input, QObject* parent)
    : QObject(parent), m_messages(messages), m_lockPath(std::move(lockPath)),
      m_input(std::move(input))
{}

void CRecorderApp::runUpdateProgram(const QString& programFolder)
{
    const QString updater = programFolder + QStringLiteral("Renewix");
    if (QFileInfo(updater).isFile())
        ProcessRunner::runAndWait(updater, {QStringLiteral("-SILENT")});
}

int CRecorderApp::InitInstance()
{
    InstanceLock instance;
    if (!instance.tryAcquire(m_lockPath))
        return 0;

    const QString programFolder = SystemFolders::programFolder();
    runUpdateProgram(programFolder);
    SettingsStartup(SystemFolders::userSettingsFile(), SystemFolders::machineSettingsFile(),
                    programFolder, SystemFolders::dataFolder())
        .copyMachineToUser();

    CRecorderDlg window(m_messages, m_input);
    // Whoever asks the program to end - a signal, the desktop session - goes the Exit way; a
    // signal during the start-up waits in the queue until the window is ready for it.
    TerminationSignals termination;
    connect(&termination, &TerminationSignals::terminationRequested, &window,
            &CRecorderDlg::closeUnattended);
    window.OnInitDialog();
    if (window.isEnded())
        return 0;

    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, &window,
                [&window](QSessionManager&) { window.closeUnattended(); });
    }

    QEventLoop loop;
    connect(&window, &CRecorderDlg::ended, &loop, &QEventLoop::quit);
    window.show();
    Q_EMIT windowStarted(&window);
    if (!window.isEnded())
        loop.exec();
    return 0;
}
