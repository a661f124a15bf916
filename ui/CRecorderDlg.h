#pragma once

#include "app/Settings.h"
#include "app/SettingsStartup.h"

#include <QWidget>

#include <memory>

class CPlaySound;
class MessagePresenter;
class RecorderMixer;
class QAbstractButton;
class QTimer;
class RecorderLayout;

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

    explicit CRecorderDlg(MessagePresenter& messages, QWidget* parent = nullptr);
    ~CRecorderDlg() override;

    /// Start-up of the window, before it is shown.
    void OnInitDialog();
    /// The close path (the Exit command, a termination signal, the end of the session):
    /// stops and saves what is running, then ends the window. Runs once; later calls do nothing.
    void OnClose();

    bool isEnded() const { return m_ended; }
    /// 2 while the window lives only as an icon, 0 otherwise.
    int trayMode() const { return m_trayMode; }
    /// Puts the window away (the notification area, or minimised where there is none).
    void hideToTray();

    const Settings& settings() const { return m_settings; }
    const QString& programFolder() const { return m_programFolder; }
    bool missingLibrary() const { return m_missingLibrary; }
    bool realignmentPending() const { return m_realignmentPending; }
    /// A sound card able to record was found at start.
    bool soundCard() const { return m_soundCard; }
    /// The one-shot timers of the working folder check (for tests).
    QTimer* folderLostTimer() const { return m_folderLostTimer; }
    QTimer* folderBackTimer() const { return m_folderBackTimer; }

Q_SIGNALS:
    /// The window has ended; the program ends with it.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    StartupSettings readSettings();
    void checkSoundCard();
    void startFolderTimers(StartupSettings::FolderCheck check);
    void onFolderLost();
    void onFolderBack();
    void showToolsMenu();
    void showInfoMenu();
    void setControlEnabled(int id, bool enabled);
    QAbstractButton* button(int id) const;
    void endDialog();

    MessagePresenter& m_messages;
    std::unique_ptr<RecorderLayout> m_layout;
    std::unique_ptr<CPlaySound> m_player;
    std::unique_ptr<RecorderMixer> m_mixer;
    bool m_soundCard = false;
    Settings m_settings;
    QString m_programFolder;
    bool m_realignmentPending = false;
    bool m_missingLibrary = false;
    int m_trayMode = 0;
    bool m_closing = false;
    bool m_ended = false;
    QTimer* m_folderLostTimer = nullptr;
    QTimer* m_folderBackTimer = nullptr;
};
