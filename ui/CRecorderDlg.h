#pragma once

#include "app/Settings.h"
#include "app/SettingsStartup.h"
#include "app/SettingsStore.h"
#include "audio/CRecordSound.h"
#include "ui/WindowRecorderView.h"

#include <QWidget>

#include <memory>

class CPlaySound;
class CWriteSoundFile;
class DesktopOpener;
class FindDialog;
class HelpCommands;
class ImportCommand;
class MessagePresenter;
class MixerSpeakerGuard;
class OptionsApplier;
class RecorderController;
class RecorderMixer;
class PlaybackControls;
class ProtectionCommands;
class RecordingList;
class RecordingListView;
class QAbstractButton;
class QTimer;
class RecorderLayout;
class TrayIcon;
class WindowMenus;
class WarningSoundPlayer;

/// The Recorder window: owns everything of a run and fixes the order in which it starts and
/// stops. Lives on the UI thread.
///
/// Lifecycle: construct, OnInitDialog() (which may end the window at once), show, then the
/// window runs until OnClose() ends it; ended() is emitted then and isEnded() turns true.
/// The caption's close and minimise boxes never end it: they put it away.
class CRecorderDlg : public QWidget {
    Q_OBJECT
public:
    /// Timer identities of the working folder messages.
    static constexpr int TIMER_FOLDER_LOST = 1295;
    static constexpr int TIMER_FOLDER_BACK = 1298;
    static constexpr int kFolderTimerMs = 2000;
    /// How often a list loaded without its folder's lock (another program had it) tries to
    /// take it again.
    static constexpr int kFolderRetryMs = 1000;

    /// `input` makes the capture's wave input; empty means the microphone (a WAV file takes
    /// its place in tests).
    explicit CRecorderDlg(MessagePresenter& messages, CRecordSound::InputFactory input = {},
                          QWidget* parent = nullptr);
    ~CRecorderDlg() override;

    /// Start-up of the window, before it is shown.
    void OnInitDialog();
    /// The close path (the Exit command): stops and saves what is running (asking for the name
    /// of a recording in progress), then ends the window. Runs once; later calls do nothing.
    /// While a save dialog is open, the close waits until its recording is settled.
    void OnClose();
    /// The close path when nobody can answer (a termination signal, the end of the session):
    /// a recording in progress is kept under its default name without asking; an open save
    /// dialog is closed and its recording kept under the name typed so far.
    void closeUnattended();
    /// The options may have changed in the settings file: takes them all, as after the Options
    /// sheet closes (whether OK or Cancel). A new working folder and a new single-file choice
    /// while armed may wait until the recording in progress is settled (see OptionsApplier).
    void applyStoredOptions();
    /// The recording logic of the window (null before OnInitDialog or without the library).
    RecorderController* controller() const { return m_controller.get(); }
    RecordingList* recordingList() const { return m_list.get(); }
    /// The capture thread (null before OnInitDialog or without the library).
    CRecordSound* capture() const { return m_capture.get(); }
    PlaybackControls* playback() const { return m_playback.get(); }
    /// The speaker, monitor and microphone lines (null before OnInitDialog or without the
    /// library).
    RecorderMixer* mixer() const { return m_mixer.get(); }

    bool isEnded() const { return m_ended; }
    /// The menu bar and the Tools and Info pop-ups (null before OnInitDialog).
    WindowMenus* menus() const { return m_menus; }
    /// Puts the window away (the notification area, or minimised where there is none).
    void hideToTray();
    /// The notification-area icon (null before OnInitDialog or without the library).
    TrayIcon* trayIcon() const { return m_tray.get(); }
    /// The Help, Update, on-line page and About commands (null before OnInitDialog).
    HelpCommands* helpCommands() const { return m_help.get(); }

    const Settings& settings() const { return m_settings; }
    const QString& programFolder() const { return m_programFolder; }
    bool realignmentPending() const { return m_realignmentPending; }
    /// A sound card able to record was found at start.
    bool soundCard() const { return m_soundCard; }
    /// The options command (button 1098, Tools > Options): runs the Options sheet, then takes
    /// whatever the settings file holds afterwards (OK or Cancel alike).
    void OnImpostazioni();
    /// The Find command (button 1044, menu 32806): shows the Find window, made at the first
    /// call and kept until the window ends.
    void OnFind();
    /// The Import command (menu 32796): imports recordings chosen in an open-file dialog, which
    /// opens in the fallback folder while a realignment is pending.
    void OnImport();
    /// The Join command (the list's context menu 32795): stops playback and runs the join
    /// wizard; the joined recording is then the selected row. Refused while the list does not
    /// hold its folder.
    void OnJoin();
    /// The Find window, null until the first OnFind().
    FindDialog* findDialog() const { return m_findDialog; }

Q_SIGNALS:
    /// The window has ended; the program ends with it.
    void ended();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void readSettings();
    void startRecorder();
    /// Arming begins: takes the arming values stored since (silence, single file, threshold)
    /// and gives the settings to the controller.
    void takeArmingSettings();
    void startListAndPlayback();
    void sendCurrent();
    /// Writes the list's modified tags and index records, with the "Saving..." window when
    /// they are many.
    void saveList();
    void checkSoundCard();
    void startFolderTimers(StartupSettings::FolderCheck check);
    void onFolderLost();
    void onFolderBack();
    /// The retry timer: takes the folder once nothing holds an entry of the list, then loads
    /// the list again, recovers the folder's leftovers and shows it all, keeping the selection.
    void retakeFolder();
    /// True while nothing (a recording, a playback, a dialog or menu) holds an entry of the
    /// list, so that it may be loaded again.
    bool listReloadable() const;
    /// True while a recording, a playback or an edit holds an entry of the list.
    bool listInUse() const;
    /// "Recreate index" of the Options sheet: saves what is pending, then reads every tag again
    /// into a new index and shows the list afresh; refused (610) while the list is in use.
    void recreateIndex();
    /// Gives the menus their commands, once everything they reach exists.
    void routeCommands();
    /// F5: saves pending edits, then loads the list again from the folder keeping the
    /// selection; nothing while a recording, a playback or an edit holds an entry.
    void reloadList();
    void setControlEnabled(int id, bool enabled);
    QAbstractButton* button(int id) const;
    void endDialog();

    MessagePresenter& m_messages;
    CRecordSound::InputFactory m_input;
    std::unique_ptr<DesktopOpener> m_desktop;
    std::unique_ptr<HelpCommands> m_help;
    std::unique_ptr<RecorderLayout> m_layout;
    std::unique_ptr<CPlaySound> m_player;
    /// Plays only the warning sound, so that it never disturbs a playback.
    std::unique_ptr<CPlaySound> m_warningPlayer;
    std::unique_ptr<RecorderMixer> m_mixer;
    std::unique_ptr<RecordingList> m_list;
    std::unique_ptr<CWriteSoundFile> m_writer;
    std::unique_ptr<CRecordSound> m_capture;
    std::unique_ptr<RecordingListView> m_listView;
    std::unique_ptr<PlaybackControls> m_playback;
    std::unique_ptr<ProtectionCommands> m_protection;
    std::unique_ptr<ImportCommand> m_import;
    FindDialog* m_findDialog = nullptr; ///< a child of the window
    std::unique_ptr<WarningSoundPlayer> m_warningSound;
    std::unique_ptr<MixerSpeakerGuard> m_speakerGuard;
    // The recorder goes first: its shutdown still shows and plays through everything above.
    std::unique_ptr<WindowRecorderView> m_view;
    std::unique_ptr<RecorderController> m_controller;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<OptionsApplier> m_optionsApplier;
    WindowMenus* m_menus = nullptr; ///< a child of the window
    bool m_soundCard = false;
    Settings m_settings;
    std::unique_ptr<SettingsStore> m_settingsStore;
    QString m_programFolder;
    QString m_fallbackFolder;
    bool m_realignmentPending = false;
    bool m_missingLibrary = false;
    bool m_startHidden = false; ///< the first show puts the window away (AvvioTaskBar)
    bool m_closing = false;
    bool m_closeAfterRound = false; ///< a close waits for the open save dialog's round
    bool m_ended = false;
    QTimer* m_folderLostTimer = nullptr;
    QTimer* m_folderBackTimer = nullptr;
    QTimer* m_folderRetryTimer = nullptr;
};
