#include "ui/CRecorderDlg.h"

#include "app/DiagnosticLog.h"
#include "app/SettingsNames.h"
#include "audio/CPlaySound.h"
#include "audio/CRecordSound.h"
#include "audio/CWriteSoundFile.h"
#include "audio/EncoderLibrary.h"
#include "control/RecorderController.h"
#include "platform/DesktopOpener.h"
#include "platform/MailClient.h"
#include "platform/SystemFolders.h"
#include "res/StringTable.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "store/Sender.h"
#include "ui/CDlgImpostazioniAvanzate.h"
#include "ui/CDlgSetImpostazioni.h"
#include "ui/COpzionePropertySheet.h"
#include "ui/ControlIds.h"
#include "ui/FindDialog.h"
#include "ui/HelpCommands.h"
#include "ui/ImportCommand.h"
#include "ui/JoinWizard.h"
#include "ui/LevelMeter.h"
#include "ui/MessagePresenter.h"
#include "ui/MixerSpeakerGuard.h"
#include "ui/OptionsApplier.h"
#include "ui/PlaybackControls.h"
#include "ui/ProtectionCommands.h"
#include "ui/RecorderLayout.h"
#include "ui/RecorderMixer.h"
#include "ui/RecordingListView.h"
#include "ui/SavingWindow.h"
#include "ui/SkinButton.h"
#include "ui/TrayIcon.h"
#include "ui/WaitCursor.h"
#include "ui/WarningSoundPlayer.h"
#include "ui/WindowCollapse.h"
#include "ui/WindowKeys.h"
#include "ui/WindowMenus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace {

constexpr int kWindowWidth = 470;
constexpr int kWindowHeight = 618;

// The menu bar's place in the header, between the logo and the Options button.
const QRect kMenuBarGeometry(166, 14, 178, 24);

} // namespace

CRecorderDlg::CRecorderDlg(MessagePresenter& messages, CRecordSound::InputFactory input,
                           QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_messages(messages), m_input(std::move(input))
{
    setObjectName(QStringLiteral("RecorderWindow"));
    setFixedSize(kWindowWidth, kWindowHeight);
    setWindowTitle(StringTable::text(354));
    m_folderLostTimer = new QTimer(this);
    m_folderLostTimer->setObjectName(QStringLiteral("TIMER_FOLDER_LOST"));
    m_folderLostTimer->setSingleShot(true);
    m_folderLostTimer->setInterval(kFolderTimerMs);
    connect(m_folderLostTimer, &QTimer::timeout, this, &CRecorderDlg::onFolderLost);
    m_folderBackTimer = new QTimer(this);
    m_folderBackTimer->setObjectName(QStringLiteral("TIMER_FOLDER_BACK"));
    m_folderBackTimer->setSingleShot(true);
    m_folderBackTimer->setInterval(kFolderTimerMs);
    connect(m_folderBackTimer, &QTimer::timeout, this, &CRecorderDlg::onFolderBack);
    m_folderRetryTimer = new QTimer(this);
    m_folderRetryTimer->setObjectName(QStringLiteral("TIMER_FOLDER_RETRY"));
    m_folderRetryTimer->setInterval(kFolderRetryMs);
    connect(m_folderRetryTimer, &QTimer::timeout, this, &CRecorderDlg::retakeFolder);
}

CRecorderDlg::~CRecorderDlg() = default;

void CRecorderDlg::OnInitDialog()
{
    m_realignmentPending = false;
    WaitCursor wait;

    m_layout = std::make_unique<RecorderLayout>(this);
    new WindowCollapse(this, *m_layout, m_layout->button(ControlId::Reduce));
    m_menus = new WindowMenus(*this, kMenuBarGeometry);
    if (auto* tools = button(ControlId::Tools))
        connect(tools, &QAbstractButton::clicked, this,
                [this, tools] { m_menus->showPopup(WindowMenus::Tools, tools); });
    if (auto* info = button(ControlId::Info))
        connect(info, &QAbstractButton::clicked, this,
                [this, info] { m_menus->showPopup(WindowMenus::Help, info); });
    if (auto* options = button(ControlId::Options))
        connect(options, &QAbstractButton::clicked, this, &CRecorderDlg::OnImpostazioni);

    m_programFolder = SystemFolders::programFolder();
    DiagnosticLog::reset();
    m_desktop = std::make_unique<DesktopOpener>();
    m_help = std::make_unique<HelpCommands>(m_programFolder, SystemFolders::dataFolder(),
                                            m_messages, *m_desktop, this);
    if (auto* help = button(ControlId::Help))
        connect(help, &QAbstractButton::clicked, m_help.get(), &HelpCommands::help);

    if (!QFileInfo(m_programFolder + EncoderLibrary::fileName()).isFile()) {
        m_missingLibrary = true;
        m_messages.showMessage(this, StringTable::text(22), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        OnClose();
        return;
    }

    setWindowIcon(QIcon(QStringLiteral(":/images/128.svg")));
    m_writer = std::make_unique<CWriteSoundFile>();
    m_capture = std::make_unique<CRecordSound>(m_input ? m_input : CRecordSound::microphone(),
                                               SystemFolders::dataFolder());
    readSettings();

    m_mixer = std::make_unique<RecorderMixer>();
    m_mixer->logTree();
    m_player = std::make_unique<CPlaySound>(this);
    m_warningPlayer = std::make_unique<CPlaySound>(this);
    checkSoundCard();
    if (m_soundCard) {
        const auto foundVolume =
            m_mixer->setUp(m_settings, m_layout->volumeSlider(), m_messages, this);
        // The microphone's own volume, kept as found, is what the next starts apply.
        if (foundVolume) {
            m_settings.recordingVolume = *foundVolume;
            m_settingsStore->save(m_settings, {SettingsNames::VolumeRegistrazione});
        }
        // A drag sets the volume once, at its release; keys, clicks on the groove and the wheel
        // set it at each change, as they move the slider one step at a time.
        QSlider* slider = m_layout->volumeSlider();
        const auto setSpeakerVolume = [this, slider] {
            m_mixer->speaker().SetVolume(static_cast<uint32_t>(std::max(0, slider->value())));
        };
        connect(slider, &QSlider::sliderReleased, this, setSpeakerVolume);
        connect(slider, &QSlider::valueChanged, this, [slider, setSpeakerVolume] {
            if (!slider->isSliderDown())
                setSpeakerVolume();
        });
        m_mixer->followSpeakerVolume(m_layout->volumeSlider());
    }

    for (int id : {ControlId::SaveInfo, ControlId::Pause, ControlId::FastForward,
                   ControlId::StopPlay, ControlId::FastRewind})
        setControlEnabled(id, false);
    startListAndPlayback();
    startRecorder();
    routeCommands();
    if (!m_soundCard) {
        setControlEnabled(ControlId::Record, false);
        setControlEnabled(ControlId::AutoRecord, false);
    } else if (m_settings.startArmed) {
        m_controller->ToggleAutoRecording();
    }
    if (QWidget* list = m_layout->control(ControlId::RecordingList))
        list->setFocus();
}

void CRecorderDlg::startRecorder()
{
    m_view = std::make_unique<WindowRecorderView>(
        *m_layout, m_messages, this, m_settings, *m_listView, *m_playback,
        [this] { QTimer::singleShot(0, this, &CRecorderDlg::OnClose); });
    m_warningSound = std::make_unique<WarningSoundPlayer>(*m_warningPlayer, m_settings);
    m_speakerGuard = std::make_unique<MixerSpeakerGuard>(*m_mixer, m_layout->volumeSlider());

    RecorderController::Config config;
    config.programFolder = m_programFolder;
    m_controller = std::make_unique<RecorderController>(
        *m_view, *m_list, m_settings, *m_capture, *m_writer, config,
        RecorderServices{m_warningSound.get(), m_speakerGuard.get(), m_playback.get()});
    connect(m_controller.get(), &RecorderController::modeChanged, m_listView.get(),
            &RecordingListView::setRecorderMode);
    connect(m_controller.get(), &RecorderController::modeChanged, m_playback.get(),
            &PlaybackControls::setRecorderMode);
    connect(m_playback.get(), &PlaybackControls::playbackRunning, m_controller.get(),
            &RecorderController::setPlaying);
    connect(m_controller.get(), &RecorderController::roundEnded, this, [this] {
        if (std::exchange(m_closeAfterRound, false))
            OnClose();
    });
    connect(m_controller.get(), &RecorderController::aboutToArm, this,
            &CRecorderDlg::takeArmingSettings, Qt::DirectConnection);
    m_controller->start();
    m_tray = std::make_unique<TrayIcon>(
        *this, *m_controller, m_soundCard,
        TrayIcon::Commands{[this] { OnImpostazioni(); }, [this] { OnClose(); }});
    m_optionsApplier = std::make_unique<OptionsApplier>(
        OptionsApplier::Parts{*m_settingsStore, m_settings, *m_controller, *m_list, *m_listView,
                              *m_playback, *m_layout->levelMeter(), *this, *m_folderRetryTimer,
                              [this] { return m_closing || m_ended; }});

    if (auto* record = button(ControlId::Record))
        connect(record, &QAbstractButton::clicked, m_controller.get(),
                &RecorderController::StartRecording);
    if (auto* autoRecord = button(ControlId::AutoRecord))
        connect(autoRecord, &QAbstractButton::clicked, m_controller.get(),
                &RecorderController::ToggleAutoRecording);
    if (auto* stop = button(ControlId::StopRecord))
        connect(stop, &QAbstractButton::clicked, m_controller.get(),
                [this] { m_controller->StopRecording(); });
    connect(m_layout->levelMeter(), &LevelMeter::thresholdChanged, m_controller.get(),
            &RecorderController::OnThresholdDragged);
    connect(m_layout->levelMeter(), &LevelMeter::thresholdChanged, this, [this](int threshold) {
        m_settings.threshold = threshold;
        m_settingsStore->save(m_settings, {SettingsNames::SogliaAttivazioneRegAuto});
    });
    m_listView->FillRecordingList(QString(), 0);
}

void CRecorderDlg::applyStoredOptions()
{
    if (!m_optionsApplier || m_closing)
        return;
    const Settings previous = m_settings;
    m_optionsApplier->applyStored();
    if (m_mixer && m_soundCard)
        m_mixer->changeDevices(previous, m_settings, m_layout->volumeSlider(), m_messages, this);
}

void CRecorderDlg::takeArmingSettings()
{
    // Values edited in the file while the window runs count from the next arming on.
    Settings stored = m_settings;
    if (m_settingsStore->load(stored)) {
        m_settings.silenceSeconds = stored.silenceSeconds;
        m_settings.singleFile = stored.singleFile;
        m_settings.threshold = stored.threshold;
    }
    m_controller->applySettings(m_settings);
}

void CRecorderDlg::startListAndPlayback()
{
    m_list = std::make_unique<RecordingList>();
    m_list->applySettings(m_settings);
    m_list->setFolder(m_settings.workingFolder);
    // The list view measures unknown lengths off the UI thread once the window shows.
    m_list->setDurationsMeasuredLater(true);
    m_list->LoadList();
    if (!m_list->holdsFolder()) {
        WriteLog(QStringLiteral("Lista in sola lettura: la cartella non e' di questo processo, "
                                "nuovo tentativo ogni secondo"));
        m_folderRetryTimer->start();
    }

    m_listView = std::make_unique<RecordingListView>(
        *m_layout, *m_list, m_messages,
        [this](const QString& text) {
            return m_messages.askYesNo(this, text, StringTable::text(166));
        },
        this);
    m_listView->setSendDisabled(m_settings.sendDisabled);
    m_playback = std::make_unique<PlaybackControls>(
        *m_layout, *m_player, m_messages, this, [this] { return m_settings.alternativePlaying; });
    connect(m_listView.get(), &RecordingListView::playRequested, m_playback.get(),
            &PlaybackControls::Play);
    connect(m_listView.get(), &RecordingListView::stopPlaybackRequested, m_playback.get(),
            &PlaybackControls::Stop, Qt::DirectConnection);
    connect(m_listView.get(), &RecordingListView::sendRequested, this, &CRecorderDlg::sendCurrent);
    connect(m_listView.get(), &RecordingListView::joinRequested, this, &CRecorderDlg::OnJoin);
    connect(m_playback.get(), &PlaybackControls::playingChanged, m_listView.get(),
            &RecordingListView::setPlayingRecording);
    connect(m_playback.get(), &PlaybackControls::newPlaybackStarting, m_listView.get(),
            &RecordingListView::refreshRecording, Qt::DirectConnection);
    if (auto* play = button(ControlId::Play))
        connect(play, &QAbstractButton::clicked, this,
                [this] { m_playback->Play(m_listView->currentRecording()); });
    if (auto* pause = button(ControlId::Pause))
        connect(pause, &QAbstractButton::clicked, m_playback.get(), &PlaybackControls::Pause);
    if (auto* stopPlay = button(ControlId::StopPlay))
        connect(stopPlay, &QAbstractButton::clicked, m_playback.get(), &PlaybackControls::Stop);
    if (auto* send = button(ControlId::Send))
        connect(send, &QAbstractButton::clicked, this, &CRecorderDlg::sendCurrent);
    m_protection =
        std::make_unique<ProtectionCommands>(*m_list, *m_listView, *m_playback, m_messages, this);
    if (auto* protect = button(ControlId::Protect))
        connect(protect, &QAbstractButton::clicked, m_protection.get(),
                &ProtectionCommands::ProtectCommand);
    connect(m_listView.get(), &RecordingListView::protectRequested, m_protection.get(),
            &ProtectionCommands::ProtectCommand);
    connect(m_playback.get(), &PlaybackControls::protectedPlayRequested, m_protection.get(),
            &ProtectionCommands::PlayProtected);
    if (auto* find = button(ControlId::Find))
        connect(find, &QAbstractButton::clicked, this, &CRecorderDlg::OnFind);
    // A close during the dialog leaves nothing to import into.
    m_import = std::make_unique<ImportCommand>(
        *m_list, *m_listView, m_messages, this, m_fallbackFolder, [this](QFileDialog& dialog) {
            const int result = dialog.exec();
            return m_closing ? int(QDialog::Rejected) : result;
        });
}

void CRecorderDlg::OnFind()
{
    if (!m_listView || m_closing)
        return;
    if (!m_findDialog)
        m_findDialog = new FindDialog(*m_listView, m_messages, this);
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

void CRecorderDlg::OnImport()
{
    if (m_import && !m_closing)
        m_import->ImportRecordings(m_realignmentPending);
}

void CRecorderDlg::OnJoin()
{
    if (m_closing || !m_listView || !m_listView->mayChangeFolder())
        return;
    // The wizard keeps the list's entries, and a call that ends may take its entry away.
    if (m_controller && (m_controller->inRound() || m_controller->recordingInProgress())) {
        m_messages.showMessage(this, StringTable::text(302), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return;
    }
    // Sources are rewritten (unprotected) or deleted: none may stay open in the player.
    if (m_playback->playingRecording() != nullptr)
        m_playback->Stop();
    JoinWizard wizard(*m_list, *m_listView->model(), m_listView->currentRecording(), m_messages,
                      this);
    connect(&wizard, &JoinWizard::recordingsJoined, this,
            [this](const QStringList& removed, const QString& joinedName) {
                m_listView->RemoveRows(removed);
                m_listView->FillRecordingList(joinedName, -1);
            });
    wizard.exec();
}

void CRecorderDlg::saveList()
{
    SavingWindow saving(this);
    m_list->SaveModified(saving.progress());
}

void CRecorderDlg::sendCurrent()
{
    RecordingEntry* entry = m_listView ? m_listView->currentRecording() : nullptr;
    if (!entry)
        return;
    if (entry->inUse()) {
        m_messages.showMessage(this, StringTable::text(300), StringTable::caption(),
                               MessagePresenter::Icon::Error);
        return;
    }
    const bool attachNotes =
        !entry->notes.isEmpty() &&
        m_messages.askYesNo(this, StringTable::text(154), StringTable::caption());
    MailClient mail;
    if (!Sender::SendRecording(*entry, attachNotes, mail))
        m_messages.showMessage(this, StringTable::text(97), StringTable::caption(),
                               MessagePresenter::Icon::Warning);
}

void CRecorderDlg::checkSoundCard()
{
    m_soundCard = m_player->ControlloPresenzaScheda();
    if (m_soundCard)
        return;
    m_messages.showMessage(this, StringTable::text(30), StringTable::caption(),
                           MessagePresenter::Icon::Warning);
    for (int id :
         {ControlId::Record, ControlId::AutoRecord, ControlId::Play, ControlId::FastForward,
          ControlId::FastRewind, ControlId::StopPlay, ControlId::StopRecord, ControlId::Pause})
        setControlEnabled(id, false);
}

void CRecorderDlg::readSettings()
{
    SettingsStartup startup(SystemFolders::userSettingsFile(), SystemFolders::machineSettingsFile(),
                            m_programFolder, SystemFolders::dataFolder());
    m_settingsStore = std::make_unique<SettingsStore>(startup.store());
    startup.createDefaults();
    const StartupSettings read = startup.read();
    m_settings = read.settings;
    if (!read.keyOpened) {
        // Without any settings the recordings still need a real place, never the current folder.
        m_settings.workingFolder = startup.fallbackFolder();
    }
    m_startHidden = m_settings.startInTray;
    if (read.keyOpened)
        m_layout->levelMeter()->setThreshold(m_settings.threshold);
    m_realignmentPending = read.realignmentPending;
    m_fallbackFolder = startup.fallbackFolder();
    setWindowTitle(OptionsApplier::windowTitle(m_settings.operatorName));
    if (m_settings.sendDisabled)
        setControlEnabled(ControlId::Send, false);
    startFolderTimers(read.folderCheck);
}

void CRecorderDlg::startFolderTimers(StartupSettings::FolderCheck check)
{
    if (check == StartupSettings::FolderCheck::Lost)
        m_folderLostTimer->start();
    else if (check == StartupSettings::FolderCheck::Back)
        m_folderBackTimer->start();
}

void CRecorderDlg::onFolderLost()
{
    m_messages.showMessage(this, StringTable::text(431), StringTable::caption(),
                           MessagePresenter::Icon::Warning);
}

void CRecorderDlg::onFolderBack()
{
    m_messages.showMessage(this, StringTable::text(432) + u'\n', StringTable::caption(),
                           MessagePresenter::Icon::Warning);
    // The message asks the user to pick the recordings kept in the fallback folder meanwhile.
    m_realignmentPending = true;
    // Through the menu's rule: under a recording the import waits for the user's next one.
    m_menus->runCommand(WindowMenus::kImport);
}

bool CRecorderDlg::listReloadable() const
{
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    return !listInUse();
}

bool CRecorderDlg::listInUse() const
{
    if (m_controller && (m_controller->inRound() || m_controller->recordingInProgress()))
        return true;
    if (m_playback && m_playback->playingRecording())
        return true;
    const auto& entries = m_list->entries();
    return std::any_of(entries.begin(), entries.end(),
                       [](const auto& entry) { return entry->inUse(); });
}

void CRecorderDlg::retakeFolder()
{
    if (!m_list || !m_listView || m_closing) {
        m_folderRetryTimer->stop();
        return;
    }
    // Taking the folder makes the list stale, so it is taken only when it can be reloaded.
    if (!listReloadable() || !m_list->tryTakeFolder())
        return;
    m_folderRetryTimer->stop();
    WriteLog(QStringLiteral("Cartella acquisita dalla finestra: lista ricaricata"));
    const WaitCursor wait;
    const RecordingEntry* current = m_listView->currentRecording();
    const QString selected = current ? current->name : QString();
    m_list->Clear();
    m_list->LoadList();
    if (m_controller)
        m_controller->recoverLeftovers();
    m_listView->FillRecordingList(selected, -1);
}

void CRecorderDlg::routeCommands()
{
    const auto idle = [this] { return !m_closing && m_controller != nullptr; };
    // A refill of the list under a recording would take its row away from it.
    const auto notRecording = [this, idle] {
        return idle() && !m_controller->inRound() && !m_controller->recordingInProgress();
    };
    m_menus->setHandler(WindowMenus::kExit, [this] { OnClose(); });
    m_menus->setHandler(
        WindowMenus::kOptions, [this] { OnImpostazioni(); }, idle);
    m_menus->setHandler(
        WindowMenus::kImport, [this] { OnImport(); }, notRecording);
    HelpCommands* help = m_help.get();
    m_menus->setHandler(WindowMenus::kHelp, [help] { help->help(); });
    m_menus->setHandler(WindowMenus::kUpdate, [help] { help->update(); });
    m_menus->setHandler(WindowMenus::kOnline, [help] { help->onlinePage(); });
    m_menus->setHandler(WindowMenus::kAbout, [help] { help->about(); });
    m_menus->refresh();

    WindowKeys::Actions keys;
    keys.escape = [this] {
        if (m_findDialog && m_findDialog->wasShown())
            m_findDialog->hide();
    };
    keys.play = [this] {
        if (m_playback && m_listView)
            m_playback->Play(m_listView->currentRecording());
    };
    keys.reload = [this] { reloadList(); };
    new WindowKeys(*this, std::move(keys));
}

void CRecorderDlg::reloadList()
{
    if (!m_list || !m_listView || m_closing || listInUse())
        return;
    const WaitCursor wait;
    const RecordingEntry* current = m_listView->currentRecording();
    const QString selected = current ? current->name : QString();
    // Edits not yet in their tags would be read back from the files as they were.
    saveList();
    m_list->Clear();
    m_list->LoadList();
    m_listView->FillRecordingList(selected, -1);
    m_listView->UpdateRecordingControls();
}

void CRecorderDlg::OnImpostazioni()
{
    if (!m_controller || m_closing)
        return;
    {
        COpzionePropertySheet sheet(this);
        sheet.addPage(new CDlgSetImpostazioni(*m_settingsStore, m_messages, {}, &sheet));
        CDlgImpostazioniAvanzate::Context context;
        context.programFolder = m_programFolder;
        context.programFile = QCoreApplication::applicationFilePath();
        context.indexAvailable = m_list && m_list->indexOpen();
        context.recreateIndex = [this] { recreateIndex(); };
        sheet.addPage(new CDlgImpostazioniAvanzate(*m_settingsStore, m_messages, context, &sheet));
        sheet.exec();
    }
    applyStoredOptions();
}

void CRecorderDlg::recreateIndex()
{
    if (!m_list || !m_listView || !m_list->indexOpen())
        return;
    // A new index replaces every entry: one a recording, playback or dialog holds would go.
    if (listInUse()) {
        m_messages.showMessage(QApplication::activeModalWidget(), StringTable::text(610),
                               StringTable::caption(), MessagePresenter::Icon::Warning);
        return;
    }
    const WaitCursor wait;
    const RecordingEntry* current = m_listView->currentRecording();
    const QString selected = current ? current->name : QString();
    // Edits not yet in their tags would be read back from the files as they were.
    saveList();
    m_list->RebuildIndex();
    m_listView->FillRecordingList(selected, -1);
}

void CRecorderDlg::OnClose()
{
    if (m_closing)
        return;
    if (m_controller && m_controller->inRound()) {
        // A save dialog is open: the close goes on once its recording is settled.
        m_closeAfterRound = true;
        return;
    }
    m_closing = true;
    WriteLog(QStringLiteral("Inizio chiusura applicazione"));
    WaitCursor wait;
    if (m_missingLibrary) {
        WriteLog(QStringLiteral("Chiusura per mancanza DLL"));
        endDialog();
        return;
    }
    m_folderLostTimer->stop();
    m_folderBackTimer->stop();
    m_folderRetryTimer->stop();

    if (m_controller)
        m_controller->stopForShutdown();
    WriteLog(QStringLiteral("Evento OnStopRec"));
    WriteLog(QStringLiteral("Salva la lista"));
    if (m_list)
        saveList();
    // The temporary file goes with the threads, and only when it holds no audio.
    WriteLog(QStringLiteral("Cancella il file"));
    // Through the playback controls, which also delete a protected recording's clear copy.
    if (m_playback)
        m_playback->Stop();
    if (m_warningPlayer)
        m_warningPlayer->StopPlay();
    if (m_mixer)
        m_mixer->restore();
    WriteLog(QStringLiteral("Inizio chiusura thread..."));
    if (m_controller)
        m_controller->endThreads();
    endDialog();
}

void CRecorderDlg::closeUnattended()
{
    if (m_view)
        m_view->setUnattended();
    if (m_controller && m_controller->inRound()) {
        // Nobody will answer the open dialog or message: close it, the round keeps the audio.
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->reject();
    }
    OnClose();
}

void CRecorderDlg::endDialog()
{
    m_ended = true;
    hide();
    Q_EMIT ended();
}

void CRecorderDlg::hideToTray()
{
    if (m_tray)
        m_tray->hideWindow();
    else
        showMinimized();
}

void CRecorderDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The minimise box puts the window away as the close box does; after the state change
    // has settled, and not when the window was restored meanwhile.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !m_ended)
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && !m_ended)
                hideToTray();
        });
}

void CRecorderDlg::closeEvent(QCloseEvent* event)
{
    if (m_ended) {
        event->accept();
        return;
    }
    // The caption's close box puts the window away; only the Exit command ends the program.
    event->ignore();
    hideToTray();
}

void CRecorderDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_F1:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void CRecorderDlg::paintEvent(QPaintEvent*)
{
    if (!m_layout)
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_layout->background());
}

void CRecorderDlg::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Only the first show starts hidden: a window later restored from the task bar stays.
    if (std::exchange(m_startHidden, false) && !isMinimized())
        QTimer::singleShot(0, this, &CRecorderDlg::hideToTray);
}

void CRecorderDlg::setControlEnabled(int id, bool enabled)
{
    if (QWidget* control = m_layout ? m_layout->control(id) : nullptr)
        control->setEnabled(enabled);
}

QAbstractButton* CRecorderDlg::button(int id) const
{
    return m_layout ? qobject_cast<QAbstractButton*>(m_layout->control(id)) : nullptr;
}
