#include "control/RecorderController.h"

#include "app/DiagnosticLog.h"
#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "control/LeftoverRecovery.h"
#include "control/PlaybackPort.h"
#include "control/RecorderTransitions.h"
#include "control/SpeakerGuard.h"
#include "control/WarningSound.h"
#include "platform/MicrophoneUsers.h"
#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"

#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>

using Button = RecorderView::Button;
using Look = RecorderView::Look;
using RowImage = RecorderView::RowImage;
using Severity = RecorderView::Severity;
using RecorderEvent = RecorderTransitions::Event;

namespace {

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

RecorderController::RecorderController(RecorderView& view, RecordingList& list,
                                       const Settings& settings, CRecordSound& capture,
                                       CWriteSoundFile& writer, Config config,
                                       RecorderServices services)
    : m_view(view), m_list(list), m_settings(settings), m_capture(capture), m_writer(writer),
      m_config(std::move(config)), m_finisher(view, list), m_services(services)
{
    // Voice and file notifications come from two threads; taken straight into one queue they
    // keep the order in which the calls happened, so every file finds the entry of its call.
    connect(
        &m_capture, &CRecordSound::voiceDetected, this,
        [this](qint64 leadMs) {
            pushEvent({Event::Voice, {}, false, leadMs});
        },
        Qt::DirectConnection);
    connect(
        &m_writer, &CWriteSoundFile::fileReady, this,
        [this](const QString& path, bool discard) {
            pushEvent({Event::File, path, discard, 0});
        },
        Qt::DirectConnection);
    connect(&m_capture, &CRecordSound::inputLevel, this, &RecorderController::OnInputLevel,
            Qt::QueuedConnection);
    connect(&m_writer, &CWriteSoundFile::writeError, this, &RecorderController::onWriteError,
            Qt::QueuedConnection);
    connect(&m_writer, &CWriteSoundFile::fatalError, this, &RecorderController::onFatalError,
            Qt::QueuedConnection);
    connect(this, &RecorderController::recordingKept, this, [this] { ++m_keptCount; });
    connect(&m_capture, &CRecordSound::inputLost, this, &RecorderController::onInputLost,
            Qt::QueuedConnection);
    connect(&m_capture, &CRecordSound::inputRestored, this, &RecorderController::onInputRestored,
            Qt::QueuedConnection);

    m_clockTimer.setInterval(kClockIntervalMs);
    connect(&m_clockTimer, &QTimer::timeout, this, &RecorderController::onClockTick);
    m_warningTimer.setSingleShot(true);
    connect(&m_warningTimer, &QTimer::timeout, this, &RecorderController::onWarningTimer);
    m_warningEndTimer.setSingleShot(true);
    connect(&m_warningEndTimer, &QTimer::timeout, this, &RecorderController::onWarningEnd);
}

RecorderController::~RecorderController()
{
    shutdown();
}

void RecorderController::start()
{
    if (m_started)
        return;
    if (recoverLeftovers())
        m_view.reloadRecordingList();
    m_writer.setWriterFolders(m_config.programFolder, m_settings.workingFolder);
    m_capture.setAntiBump(m_settings.antiBump);
    m_capture.setThreshold(m_settings.threshold);
    m_capture.setSilenceSeconds(m_settings.silenceSeconds);
    m_capture.setRecordingDevice(m_settings.recordingDevice);
    applyCallSettings();
    m_capture.startThread();
    m_writer.startThread();
    m_capture.postSetWriter(&m_writer);
    m_started = true;
    UpdateIdleDisplay();
}

void RecorderController::shutdown()
{
    stopForShutdown();
    endThreads();
}

void RecorderController::stopForShutdown()
{
    if (m_stoppedForShutdown)
        return;
    m_stoppedForShutdown = true;
    // A file waiting to be moved is decided now; a Stop would only wait for it.
    m_finisher.finishMoveNow();
    if (m_started && m_mode.capturing())
        StopRecording(true);
}

void RecorderController::endThreads()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    stopForShutdown();
    if (m_started) {
        if (!m_capture.endThread(10000))
            WriteLog(QStringLiteral("Thread di registrazione non terminati in tempo"));
        drainEvents();
    }
    deleteEmptyTemporary();
    m_clockTimer.stop();
    m_warningTimer.stop();
    m_warningEndTimer.stop();
}

void RecorderController::applySettings(const Settings& settings)
{
    const QString folder = m_settings.workingFolder;
    m_settings = settings;
    if (!m_started || m_shutDown)
        return;
    m_capture.setAntiBump(settings.antiBump);
    m_capture.setThreshold(settings.threshold);
    m_capture.setSilenceSeconds(settings.silenceSeconds);
    m_capture.setRecordingDevice(settings.recordingDevice);
    applyCallSettings();
    // Both sides switched on or off while armed: the speakers carry the far side or not.
    const bool waiting = m_mode.armed() && !m_mode.recording();
    const bool silenced = waiting && settings.warningEnabled && !settings.bothSides;
    if (waiting && silenced != m_speakersMuted) {
        if (m_services.speakers)
            m_services.speakers->muteWhileArmed(silenced);
        m_speakersMuted = silenced;
    }
    if (settings.workingFolder != folder) {
        m_settings.workingFolder = folder;
        changeWorkingFolder(settings.workingFolder);
    }
}

void RecorderController::applyCallSettings()
{
    WaveInput::CallOptions options;
    options.bothSides = m_settings.bothSides;
    options.playDevice = m_settings.playbackDevice;
    options.watchMicrophone = m_settings.startOnMicrophoneOpen;
    options.ignoredPrograms = MicrophoneUsers::parseIgnored(m_settings.ignoredPrograms);
    m_capture.setCallOptions(options);
    m_capture.setPreRollSeconds(m_settings.preRollSeconds);
}

void RecorderController::changeWorkingFolder(const QString& folder)
{
    m_settings.workingFolder = folder;
    if (recoverLeftovers())
        m_view.reloadRecordingList();
    m_writer.setTempFolder(folder);
}

void RecorderController::setWarningEnabled(bool enabled)
{
    m_settings.warningEnabled = enabled;
    if (!m_started || m_shutDown)
        return;
    if (enabled) {
        if (m_mode.armed() && !m_speakersMuted && !m_settings.bothSides) {
            if (m_services.speakers)
                m_services.speakers->muteWhileArmed(true);
            m_speakersMuted = true;
        }
        return;
    }
    stopWarning();
    m_warningEndTimer.stop();
    if (m_speakersMuted) {
        if (m_services.speakers)
            m_services.speakers->muteWhileArmed(false);
        m_speakersMuted = false;
    }
}

bool RecorderController::recoverLeftovers()
{
    // Only the folder's holder turns files into recordings (the recovery checks); the others
    // wait for their turn.
    bool listChanged = false;
    LeftoverRecovery::recover(m_list, m_settings.workingFolder, m_settings.operatorName,
                              &listChanged);
    return listChanged;
}

void RecorderController::UpdateIdleDisplay()
{
    m_view.setButtonEnabled(Button::AutoRecord, true);
    if (m_mode.armed()) {
        m_view.setButtonLook(Button::AutoRecord, Look::AutoArmed);
        m_view.setAutoRecordTooltip(kDisarmTip);
        m_view.setButtonEnabled(Button::Record, false);
        m_view.showArmedIndicators(true);
    } else {
        m_view.setButtonLook(Button::AutoRecord, Look::AutoIdle);
        m_view.setAutoRecordTooltip(kArmTip);
        m_view.showArmedIndicators(false);
        m_view.setButtonEnabled(Button::Record, true);
        // While playing, Stop is the playback's.
        if (!m_mode.playing())
            m_view.setButtonEnabled(Button::Stop, false);
    }
    m_shownMinutes.clear();
    m_shownSeconds.clear();
    m_view.showClock(StringTable::text(2), StringTable::text(2), StringTable::text(224), false);
}

void RecorderController::StartRecording()
{
    const auto outcome = RecorderTransitions::decide(m_mode, RecorderEvent::Record,
                                                     {.playbackPaused = playbackPaused()});
    if (!(outcome.actions & RecorderTransitions::StartRecording)) {
        m_view.focusRecordingList();
        return;
    }
    WriteLog(QStringLiteral("Registrazione avviata"));
    if (outcome.actions & RecorderTransitions::StopPlayback)
        stopPlayback();
    m_capture.disableAutoRecording();

    m_view.setButtonEnabled(Button::Stop, true);
    m_view.setButtonLook(Button::Record, Look::RecordLit);
    m_view.setButtonEnabled(Button::Record, false);
    m_view.setButtonEnabled(Button::AutoRecord, false);
    m_view.setButtonEnabled(Button::Play, false);
    setMode(outcome.next);

    WriteLog(QStringLiteral("-->Inserisco elemento in lista"));
    m_inProgress = m_list.NewEntry(QString(), m_settings.operatorName);
    m_inProgress->operatorName = m_settings.operatorName;
    m_view.insertRecordingRow(*m_inProgress, RowImage::Recording);
    m_segmentStart = m_inProgress->startTime;
    m_writeErrorReported = false;

    showRecordingDisplays();
    WriteLog(QStringLiteral("-->Imposto il timer"));
    startRecordingTimers();
    WriteLog(QStringLiteral("-->Inizio moRegistra.Registra"));
    m_capture.postStartRecording();
    m_view.focusRecordingList();
}

void RecorderController::ToggleAutoRecording()
{
    // During a manual recording the Auto Rec. button is disabled, and a click does nothing.
    const auto outcome = RecorderTransitions::decide(m_mode, RecorderEvent::AutoRecord);
    if (outcome.actions & RecorderTransitions::Arm) {
        m_view.setButtonLook(Button::AutoRecord, Look::AutoArmed);
        m_view.showArmedIndicators(true);
        m_view.setAutoRecordTooltip(kDisarmTip);
        setMode(outcome.next);
        m_view.setButtonEnabled(Button::Record, false);

        reloadSettingsForArming();
        const int threshold = m_settings.threshold;
        // Kept for the armed period, so that the writer and the controller agree on it.
        m_armedSingleFile = m_settings.singleFile;
        const int singleFileFlag = singleFile() ? 1 : 0;
        m_view.showThreshold(threshold);
        // Recording both sides, the speakers carry the far side: silenced, it is neither heard
        // nor recorded.
        if (m_settings.warningEnabled && !m_settings.bothSides) {
            if (m_services.speakers)
                m_services.speakers->muteWhileArmed(true);
            m_speakersMuted = true;
        }
        m_capture.setSilenceSeconds(m_settings.silenceSeconds);
        m_capture.setThreshold(threshold);
        m_writer.setSingleFile(singleFileFlag);
        m_writeErrorReported = false;
        m_openCalls = 0;
        WriteLog(QStringLiteral("Registrazione automatica attivata (soglia %1, silenzio %2 s, "
                                "file unico %3)")
                     .arg(threshold)
                     .arg(m_settings.silenceSeconds)
                     .arg(singleFileFlag));
        m_capture.enableAutoRecording();
        m_capture.postStartRecording();
    } else if (outcome.actions & RecorderTransitions::StopRecorder) {
        WriteLog(QStringLiteral("Registrazione automatica disattivata"));
        StopRecording(true);
    }
    m_view.focusRecordingList();
}

void RecorderController::reloadSettingsForArming()
{
    // The owner may bring in what was stored since the start (a value edited in the file).
    Q_EMIT aboutToArm();
}

void RecorderController::pushEvent(Event event)
{
    {
        std::lock_guard lock(m_eventMutex);
        m_events.push_back(std::move(event));
    }
    QMetaObject::invokeMethod(this, &RecorderController::drainEvents, Qt::QueuedConnection);
}

void RecorderController::drainEvents()
{
    // A save dialog may run an event loop; the events behind it wait for the outer round.
    if (m_draining || m_inRound)
        return;
    m_draining = true;
    for (;;) {
        Event event;
        {
            std::lock_guard lock(m_eventMutex);
            if (m_events.empty())
                break;
            event = std::move(m_events.front());
            m_events.pop_front();
        }
        if (event.kind == Event::Voice)
            OnVoiceDetected(event.leadMs);
        else
            OnFileReady(event.path, event.discard);
    }
    m_draining = false;
}

void RecorderController::OnVoiceDetected(qint64 leadMs)
{
    const auto outcome = RecorderTransitions::decide(m_mode, RecorderEvent::VoiceDetected,
                                                     {.playbackPaused = playbackPaused()});
    if (!(outcome.actions & RecorderTransitions::StartCall)) {
        WriteLog(QStringLiteral("Voce rilevata a registrazione automatica disattivata: ignorata"));
        return;
    }
    ++m_openCalls;
    m_view.setButtonLook(Button::Pause, Look::PauseNormal);
    if (outcome.actions & RecorderTransitions::StopPlayback)
        stopPlayback();
    setMode(outcome.next);
    m_view.setButtonEnabled(Button::Play, false);
    m_view.setButtonLook(Button::Record, Look::RecordLit);
    m_view.setButtonEnabled(Button::Record, true);

    RecordingEntry* reused = nullptr;
    if (singleFile()) {
        for (const auto& entry : m_list.entries()) {
            if (entry->state == RecordingEntry::Collecting) {
                reused = entry.get();
                break;
            }
        }
    }
    if (reused) {
        m_inProgress = reused;
    } else {
        m_inProgress = m_list.NewEntry(QString(), m_settings.operatorName);
        m_inProgress->operatorName = m_settings.operatorName;
        m_pending.push_front(m_inProgress);
        if (singleFile())
            m_inProgress->state = RecordingEntry::Collecting;
    }
    // The recording begins with its first sample, the audio kept from before the voice.
    const double lead = double(leadMs) / (24.0 * 3600.0 * 1000.0);
    m_segmentStart = OleDate::now() - lead;
    if (!reused)
        m_inProgress->startTime -= lead;
    WriteLog(QStringLiteral("Voce rilevata: registrazione %1").arg(m_inProgress->name));

    showRecordingDisplays();
    startRecordingTimers(false);
    if (reused)
        m_view.updateRecordingRow(reused->name, *reused, RowImage::Recording);
    else
        m_view.insertRecordingRow(*m_inProgress, RowImage::Recording);
}

void RecorderController::OnFileReady(const QString& path, bool discard)
{
    // The writer keeps the file locked against leftover recovery until it is dealt with here.
    auto releaseHandOver = qScopeGuard([this, path] { m_writer.releaseHandOver(path); });

    if (m_inProgress && m_inProgress->inUse())
        m_view.saveRecordingInfo();

    if (m_pending.empty()) {
        stopWarning();
        // No call is waiting for this file (it outlived a disarm): never lose its audio.
        if (!discard && LeftoverRecovery::holdsAudio(path)) {
            // Another process has the folder: the file waits there for the leftover recovery.
            if (!m_list.holdsFolder())
                return;
            const QString name = LeftoverRecovery::adopt(m_list, path, m_settings.operatorName);
            if (!name.isEmpty()) {
                m_list.SaveModified();
                m_view.reloadRecordingList();
                Q_EMIT recordingKept(name);
            }
        } else {
            QFile::remove(path);
        }
        return;
    }

    if (m_openCalls > 0)
        --m_openCalls;
    // With a file input the next call may have begun before this one's file arrived.
    const bool callGoesOn = m_openCalls > 0;
    // The warning timer running now was started for the call that goes on, and stays its own.
    if (!callGoesOn)
        stopWarning();
    const auto callEnd =
        RecorderTransitions::decide(m_mode, RecorderEvent::CallEnded, {.callGoesOn = callGoesOn});
    if (callEnd.actions & RecorderTransitions::EndCall) {
        setMode(callEnd.next);
        m_view.setButtonLook(Button::Record, Look::RecordIdle);
    }

    RecordingEntry* entry = m_pending.back();
    const double now = OleDate::now();
    const bool collecting = entry->state == RecordingEntry::Collecting;
    if (collecting) {
        entry->duration = std::max(0.0, entry->duration) + (now - m_segmentStart);
    } else {
        m_pending.pop_back();
        entry->duration = now - entry->startTime;
    }
    m_inProgress = entry;
    entry->fileSize = static_cast<uint32_t>(QFileInfo(path).size());
    if (!callGoesOn) {
        m_clockTimer.stop();
        UpdateIdleDisplay();
    }
    const auto afterFile = [&] {
        if (!collecting)
            m_inProgress = m_pending.empty() ? nullptr : m_pending.front();
        m_view.setButtonEnabled(Button::Play, m_list.Count() > 0);
    };

    if (discard) {
        if (!collecting) {
            WriteLog(QStringLiteral("Registrazione troppo breve scartata: %1").arg(entry->name));
            QFile::remove(path);
            m_finisher.removeEntry(*entry);
        } else {
            m_view.updateRecordingRow(entry->name, *entry, RowImage::Collecting);
        }
        afterFile();
        return;
    }
    if (collecting) {
        m_view.updateRecordingRow(entry->name, *entry, RowImage::Collecting);
        afterFile();
        return;
    }
    if (m_settings.askConfirmation) {
        const RecordingFinisher::Outcome outcome = runRound(*entry, path);
        if (outcome == RecordingFinisher::Outcome::Cancelled) {
            WriteLog(QStringLiteral("Registrazione annullata dall'utente"));
            QFile::remove(path);
        } else if (outcome == RecordingFinisher::Outcome::Saved) {
            m_view.updateRecordingControls();
            Q_EMIT recordingKept(entry->name);
        }
    } else {
        // The move may wait between attempts; like a round, it holds back the events behind
        // it, a Stop and a close until it is decided.
        releaseHandOver.dismiss();
        m_inRound = true;
        m_finisher.moveIntoFolder(path, *entry, [this, path, entry](bool moved) {
            if (moved) {
                entry->folder = m_list.folder();
                m_finisher.complete(*entry, entry->name);
                WriteLog(QStringLiteral("Registrazione automatica salvata: %1").arg(entry->name));
                Q_EMIT recordingKept(entry->name);
            } else {
                // The file stays in the folder; the next opening of the folder recovers it.
                m_finisher.removeEntry(*entry);
            }
            m_writer.releaseHandOver(path);
            endRound();
        });
    }
    afterFile();
}

void RecorderController::StopRecording(bool fromAutoRecord)
{
    if (m_inRound) {
        // The round's entry must stay whole: the stop follows once the round has ended.
        m_stopDeferred = true;
        return;
    }
    const auto outcome = RecorderTransitions::decide(
        m_mode, fromAutoRecord ? RecorderEvent::EndRecording : RecorderEvent::Stop,
        {.playbackPaused = playbackPaused()});
    if (outcome.actions & RecorderTransitions::StopPlayback) {
        stopPlayback();
        return;
    }
    m_view.setButtonLook(Button::Record, Look::RecordIdle);
    m_view.setButtonLook(Button::Pause, Look::PauseNormal);
    m_view.setButtonLook(Button::Play, Look::PlayIdle);
    m_clockTimer.stop();

    if (m_mode.capturing()) {
        WriteLog(QStringLiteral("Stop registrazione"));
        // The file is renamed next: while the writer still has buffers to encode (a file
        // input runs ahead of it) the wait goes on, or the end of the recording is lost.
        // Meanwhile the window keeps its pending repaints coming under a wait cursor; nothing
        // else runs, so no command or notification meets a half-stopped recorder.
        bool busyShown = false;
        const auto keepPainting = [&busyShown] {
            if (!busyShown && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
                busyShown = true;
                QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        };
        const bool closed = m_capture.stopRecordingAndWait(
            kStopWaitMs * kStopWaitRounds, kStopWaitMs,
            [] { WriteLog(QStringLiteral("Il writer non ha ancora chiuso il file: attendo")); },
            keepPainting);
        if (busyShown)
            QGuiApplication::restoreOverrideCursor();
        if (!closed)
            WriteLog(QStringLiteral("Il writer non ha chiuso il file in tempo"));
        // Calls the threads finished before the stop are handed over first, in order.
        drainEvents();
    }

    if (m_inProgress) {
        const double now = OleDate::now();
        if (m_inProgress->state == RecordingEntry::Collecting) {
            if (m_openCalls > 0)
                m_inProgress->duration =
                    std::max(0.0, m_inProgress->duration) + (now - m_segmentStart);
        } else {
            m_inProgress->duration = now - m_inProgress->startTime;
        }
    }

    m_view.setButtonEnabled(Button::Play, false);
    // Calls whose file never came (a failed writer) keep no entry; a file that still comes is
    // adopted as a leftover, so nothing is lost.
    for (RecordingEntry* entry : m_pending) {
        if (entry != m_inProgress && entry->state != RecordingEntry::Collecting)
            m_finisher.removeEntry(*entry);
    }
    m_pending.clear();
    m_openCalls = 0;
    stopWarning();
    m_view.showLevel(0);
    if (m_inProgress && m_inProgress->inUse())
        m_view.saveRecordingInfo();
    showInputLost(false);
    if (m_speakersMuted) {
        if (m_services.speakers)
            m_services.speakers->muteWhileArmed(false);
        m_speakersMuted = false;
        if (m_list.Count() > 0)
            m_view.setButtonEnabled(Button::Play, true);
    }
    // Decided on the mode of now: the calls handed over meanwhile may have moved it.
    setMode(RecorderTransitions::afterStop(m_mode));
    UpdateIdleDisplay();

    if (m_inProgress)
        finishStoppedRecording();
    deleteEmptyTemporary();
    m_view.updateRecordingControls();
}

void RecorderController::finishStoppedRecording()
{
    RecordingEntry* entry = m_inProgress;
    m_inProgress = nullptr;
    const QString temporary = m_writer.temporaryFile();
    // The writer keeps the closed file locked against leftover recovery until it is saved.
    const auto releaseHandOver =
        qScopeGuard([this, temporary] { m_writer.releaseHandOver(temporary); });
    if (!LeftoverRecovery::holdsAudio(temporary)) {
        WriteLog(QStringLiteral("Nessun audio registrato per %1").arg(entry->name));
        if (!m_writeErrorReported) {
            m_writeErrorReported = true;
            m_view.reportMessage(CWriteSoundFile::kTemporaryFileString, temporary, Severity::Error);
            Q_EMIT recordingFailed(CWriteSoundFile::kTemporaryFileString);
        }
        m_finisher.removeEntry(*entry);
        return;
    }
    const RecordingFinisher::Outcome outcome = runRound(*entry, temporary);
    switch (outcome) {
    case RecordingFinisher::Outcome::Saved:
        WriteLog(QStringLiteral("Registrazione salvata: %1").arg(entry->name));
        Q_EMIT recordingKept(entry->name);
        break;
    case RecordingFinisher::Outcome::Cancelled:
        // A discarded recording must not come back as a leftover.
        QFile::remove(temporary);
        break;
    case RecordingFinisher::Outcome::Failed:
        break;
    }
}

RecordingFinisher::Outcome RecorderController::runRound(RecordingEntry& entry,
                                                        const QString& audioFile)
{
    const bool attended = m_view.attended() && !m_keepWithoutAsking;
    m_inRound = true;
    const RecordingFinisher::Outcome outcome = m_finisher.nameAndSave(entry, audioFile, attended);
    endRound();
    return outcome;
}

void RecorderController::endRound()
{
    m_inRound = false;
    // What waited for the round runs after the caller has finished with the entry.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_stopDeferred) {
                m_stopDeferred = false;
                if (m_mode.capturing() && !m_shutDown)
                    StopRecording(true);
            }
            drainEvents();
            Q_EMIT roundEnded();
        },
        Qt::QueuedConnection);
}

void RecorderController::onInputLost(const QString& reason)
{
    WriteLog(QStringLiteral("Nessun suono dall'ingresso audio: %1").arg(reason));
    if (m_shutDown)
        return;
    const auto outcome = RecorderTransitions::decide(m_mode, RecorderEvent::InputLost,
                                                     {.liveInput = m_capture.isLiveInput()});
    if (outcome.actions & RecorderTransitions::KeepWithoutAsking) {
        // Nothing more can come: keep what was heard, as an unattended Stop would. The input's
        // own message stands for the temporary file's.
        const int keptBefore = m_keptCount;
        m_keepWithoutAsking = true;
        m_writeErrorReported = true;
        StopRecording(true);
        m_keepWithoutAsking = false;
        const int stringId = m_keptCount > keptBefore ? kInputLostString : kNothingHeardString;
        m_view.reportMessage(stringId, reason, Severity::Error);
        Q_EMIT recordingFailed(stringId);
        return;
    }
    // Armed: the capture reconnects by itself; a call in progress arrives as its file. Idle: the
    // capture was stopped meanwhile.
    if (outcome.actions & RecorderTransitions::ShowInputLost)
        showInputLost(true);
}

void RecorderController::onInputRestored()
{
    WriteLog(QStringLiteral("Ingresso audio di nuovo disponibile"));
    if (m_mode.armed())
        showInputLost(false);
}

void RecorderController::showInputLost(bool lost)
{
    if (m_inputLost == lost)
        return;
    m_inputLost = lost;
    m_view.showInputLost(lost);
}

void RecorderController::deleteEmptyTemporary()
{
    const QString temporary = m_writer.temporaryFile();
    if (m_writer.isWriterIdle() && QFileInfo::exists(temporary) && QFileInfo(temporary).size() == 0)
        QFile::remove(temporary);
}

void RecorderController::OnInputLevel(int peak, int /*minimum*/)
{
    if (!m_mode.capturing())
        return;
    m_view.showLevel(peak);
}

void RecorderController::OnThresholdDragged(int threshold)
{
    m_capture.setThreshold(threshold);
    m_settings.threshold = threshold;
}

void RecorderController::setPlaying(bool playing)
{
    m_capture.setOwnPlayback(playing);
    setMode(RecorderTransitions::decide(m_mode, playing ? RecorderEvent::PlaybackStarted
                                                        : RecorderEvent::PlaybackStopped)
                .next);
}

void RecorderController::setMode(RecorderMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    Q_EMIT modeChanged(mode);
}

bool RecorderController::playbackPaused() const
{
    return m_services.playback && m_services.playback->playbackPaused();
}

void RecorderController::stopPlayback()
{
    if (m_services.playback)
        m_services.playback->stopPlayback();
    // The playback says so itself; without one nothing else would.
    setPlaying(false);
}

void RecorderController::onWriteError(int stringId)
{
    WriteLog(QStringLiteral("Errore del writer (stringa %1)").arg(stringId));
    if (!m_writeErrorReported) {
        m_writeErrorReported = true;
        m_view.reportMessage(stringId, m_writer.temporaryFile(), Severity::Error);
        Q_EMIT recordingFailed(stringId);
    }
    // Nothing more reaches the file: end the recording (or the armed period) now, keeping
    // whatever audio was written.
    if (m_mode.capturing() && !m_shutDown)
        StopRecording(true);
}

void RecorderController::onFatalError(int stringId)
{
    WriteLog(QStringLiteral("Libreria di codifica non utilizzabile (stringa %1)").arg(stringId));
    m_writeErrorReported = true;
    Q_EMIT recordingFailed(stringId);
    if (m_mode.capturing() && !m_shutDown)
        StopRecording(true);
    m_view.reportFatal(stringId);
}

void RecorderController::showRecordingDisplays()
{
    m_shownMinutes = StringTable::text(6);
    m_shownSeconds = StringTable::text(6);
    m_view.showClock(m_shownMinutes, m_shownSeconds, StringTable::text(5), true);
}

void RecorderController::startRecordingTimers(bool logWarning)
{
    m_recordingClock.start();
    m_clockTimer.start();
    if (!m_settings.warningEnabled)
        return;
    if (logWarning)
        WriteLog(QStringLiteral("-->Segnale Acustico"));
    if (m_settings.warningAfter)
        m_warningTimer.start(m_settings.warningAfterSeconds * 1000);
    else if (m_settings.warningEvery)
        m_warningTimer.start(m_settings.warningEverySeconds * 1000);
}

void RecorderController::onClockTick()
{
    qint64 elapsed = m_recordingClock.elapsed() / 1000;
    if (m_mode.kind() == RecorderMode::AutoRecording && m_inProgress &&
        m_inProgress->state == RecordingEntry::Collecting && m_inProgress->duration > 0)
        elapsed += OleDate::toSeconds(m_inProgress->duration);
    const QString minutes = twoDigits(elapsed / 60);
    const QString seconds = twoDigits(elapsed % 60);
    if (minutes == m_shownMinutes && seconds == m_shownSeconds)
        return;
    const bool secondsChanged = seconds != m_shownSeconds;
    m_shownMinutes = minutes;
    m_shownSeconds = seconds;
    m_view.showClock(minutes, seconds, StringTable::text(5), true);
    if (secondsChanged)
        m_view.showDurationText(
            m_inProgress, QStringLiteral("%1 %2:%3").arg(StringTable::text(172), minutes, seconds));
}

void RecorderController::onWarningTimer()
{
    m_warningTimer.stop();
    stopWarningSound();
    if (!m_mode.recording())
        return;
    if (m_settings.warningEvery)
        m_warningTimer.start(m_settings.warningEverySeconds * 1000);
    if (m_mode.kind() == RecorderMode::AutoRecording && m_speakersMuted)
        setSpeakersAudible(true);
    if (m_services.warningSound)
        m_services.warningSound->play(
            [this](std::optional<int> length) { onWarningPlayed(length); });
}

void RecorderController::onWarningPlayed(std::optional<int> length)
{
    if (!length) {
        // Silenced before the message, which waits for the user while the call goes on.
        stopWarningSound();
        if (m_mode.armed() && m_speakersMuted)
            setSpeakersAudible(false);
        // The next ticks come while the box waits for its OK: one box says it for them all.
        if (!m_warningMessageOpen) {
            m_warningMessageOpen = true;
            m_view.reportMessage(kWarningFailedString, QString(), Severity::Warning);
            m_warningMessageOpen = false;
        }
        return;
    }
    if (*length > 0)
        m_warningEndTimer.start(*length);
}

void RecorderController::onWarningEnd()
{
    m_warningEndTimer.stop();
    if (m_mode.armed() && m_speakersMuted)
        setSpeakersAudible(false);
}

void RecorderController::stopWarning()
{
    m_warningTimer.stop();
    stopWarningSound();
}

void RecorderController::stopWarningSound()
{
    if (m_services.warningSound)
        m_services.warningSound->stop();
}

void RecorderController::setSpeakersAudible(bool audible)
{
    if (m_services.speakers)
        m_services.speakers->setAudible(audible);
}
