#include "ui/OptionsApplier.h"

#include "app/DiagnosticLog.h"
#include "app/SettingsStore.h"
#include "control/RecorderController.h"
#include "res/StringTable.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "ui/LevelMeter.h"
#include "ui/PlaybackControls.h"
#include "ui/RecordingListView.h"
#include "ui/WaitCursor.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace {

/// The stored folder as the list names folders, or empty when it names no existing folder.
QString usableFolder(const QString& stored)
{
    QString folder = stored;
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\')))
        folder.chop(1);
    if (!QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        return {};
    return folder == QStringLiteral("/") ? folder : folder + u'/';
}

} // namespace

OptionsApplier::OptionsApplier(Parts parts) : m_parts(std::move(parts))
{
    m_settleTimer.setInterval(kSettleIntervalMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &OptionsApplier::settle);
    // Looked at after the signal's sender has finished what it was doing.
    connect(&m_parts.controller, &RecorderController::modeChanged, this,
            &OptionsApplier::scheduleSettle);
    connect(&m_parts.controller, &RecorderController::roundEnded, this,
            &OptionsApplier::scheduleSettle);
}

QString OptionsApplier::windowTitle(const QString& operatorName)
{
    QString title = StringTable::text(354);
    if (!operatorName.isEmpty())
        title += QStringLiteral(" (") + operatorName + u')';
    return title;
}

void OptionsApplier::applyStored()
{
    Settings stored = m_parts.settings;
    if (!m_parts.store.load(stored)) {
        WriteLog(QStringLiteral("Opzioni non applicate: impostazioni non leggibili"));
        return;
    }
    Settings& settings = m_parts.settings;
    RecorderController& controller = m_parts.controller;

    const bool singleFileChanged = stored.singleFile != settings.singleFile;
    settings.silenceSeconds = stored.silenceSeconds;
    settings.singleFile = stored.singleFile;
    settings.threshold = stored.threshold;
    m_parts.levelMeter.setThreshold(settings.threshold);
    settings.askConfirmation = stored.askConfirmation;
    settings.startArmed = stored.startArmed;
    settings.antiBump = stored.antiBump;
    settings.warningEnabled = stored.warningEnabled;
    settings.warningAfter = stored.warningAfter;
    settings.warningAfterSeconds = stored.warningAfterSeconds;
    settings.warningEvery = stored.warningEvery;
    settings.warningEverySeconds = stored.warningEverySeconds;
    settings.warningFile = stored.warningFile;
    settings.alternativePlaying = stored.alternativePlaying;
    settings.operatorName = stored.operatorName;
    settings.recordingDevice = stored.recordingDevice;
    settings.playbackDevice = stored.playbackDevice;
    settings.recordingVolume = stored.recordingVolume;
    settings.bothSides = stored.bothSides;
    settings.startOnMicrophoneOpen = stored.startOnMicrophoneOpen;
    settings.preRollSeconds = stored.preRollSeconds;
    settings.ignoredPrograms = stored.ignoredPrograms;
    m_parts.window.setWindowTitle(windowTitle(settings.operatorName));

    // The working folder stays the old one in the settings until the list has moved, so
    // that nothing hands the new one to the recorder before.
    m_parts.list.applySettings(settings);
    controller.applySettings(settings);
    controller.setWarningEnabled(settings.warningEnabled);

    const QString folder = usableFolder(stored.workingFolder);
    if (folder.isEmpty()) {
        WriteLog(QStringLiteral("Cartella di lavoro non valida, ignorata: ") +
                 stored.workingFolder);
    } else if (folder == m_parts.list.folder()) {
        m_pendingFolder.clear();
    } else {
        m_pendingFolder = folder;
        WriteLog(QStringLiteral("Nuova cartella di lavoro: %1").arg(folder));
    }
    if (singleFileChanged && controller.mode().armed())
        m_rearmPending = true;
    if (m_rearmPending || !m_pendingFolder.isEmpty())
        settle();
}

void OptionsApplier::scheduleSettle()
{
    if (m_rearmPending || !m_pendingFolder.isEmpty())
        QMetaObject::invokeMethod(this, &OptionsApplier::settle, Qt::QueuedConnection);
}

bool OptionsApplier::folderChangeable() const
{
    const RecorderController& controller = m_parts.controller;
    if (controller.inRound() || controller.recordingInProgress() || controller.mode().recording())
        return false;
    const auto& entries = m_parts.list.entries();
    return std::none_of(entries.begin(), entries.end(),
                        [](const auto& entry) { return entry->inUse(); });
}

void OptionsApplier::settle()
{
    RecorderController& controller = m_parts.controller;
    if ((!m_rearmPending && m_pendingFolder.isEmpty()) || m_parts.closing()) {
        m_settleTimer.stop();
        return;
    }
    m_settleTimer.start();
    // A dialog or menu may hold an entry of the list; a round owns its recording.
    if (controller.inRound() || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget())
        return;
    const bool armed = controller.mode().armed();
    if (!armed)
        m_rearmPending = false;
    const bool folderNow = !m_pendingFolder.isEmpty() && folderChangeable();
    if (!m_rearmPending && !folderNow)
        return;
    // An armed writer has its next file open in the old folder already: arming again opens
    // it in the new one. A call being recorded is stopped and named as any disarm does.
    const bool rearm = armed;
    m_rearmPending = false;
    if (rearm) {
        WriteLog(QStringLiteral("Opzioni: registrazione automatica riavviata"));
        controller.ToggleAutoRecording();
        if (controller.mode().armed()) {
            m_rearmPending = true;
            return;
        }
    }
    if (!m_pendingFolder.isEmpty() && folderChangeable())
        changeFolder();
    if (rearm && !m_parts.closing())
        controller.ToggleAutoRecording();
    if (m_pendingFolder.isEmpty())
        m_settleTimer.stop();
}

void OptionsApplier::changeFolder()
{
    const QString folder = std::exchange(m_pendingFolder, QString());
    const WaitCursor wait;
    WriteLog(
        QStringLiteral("Cambio cartella di lavoro: %1 -> %2").arg(m_parts.list.folder(), folder));
    RecordingList& list = m_parts.list;
    // A protected recording's clear copy goes with its playback.
    m_parts.playback.Stop();
    list.SaveModified();
    list.Clear();
    list.setFolder(folder);
    m_parts.settings.workingFolder = folder;
    // Loading another folder takes its lock and gives the old one up.
    list.LoadList();
    if (list.holdsFolder()) {
        m_parts.folderRetryTimer.stop();
    } else {
        WriteLog(QStringLiteral("Lista in sola lettura: la cartella non e' di questo processo, "
                                "nuovo tentativo ogni secondo"));
        m_parts.folderRetryTimer.start();
    }
    // Filled before the recovery, which shows its recordings through the view's current rows.
    m_parts.listView.FillRecordingList(QString(), 0);
    m_parts.controller.changeWorkingFolder(folder);
}
