#pragma once

#include "control/RecorderMode.h"

#include "ui/TrayBalloon.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

class QMenu;
class QWidget;
class RecorderController;

/// The window's icon in the notification area and its menu. The icon exists only while the
/// window is hidden; while hidden it shows the recorder's mode and follows its changes. Clicks
/// on it do nothing while a finished recording is being named.
///
/// Lives on the UI thread; the window and the controller outlive it.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    /// The window's own commands the menu runs: the options and the exit of the program.
    struct Commands {
        std::function<void()> openOptions;
        std::function<void()> exit;
    };

    /// `trayAvailable`: a tray host shows icons; without one the window is minimised instead.
    TrayIcon(QWidget& window, RecorderController& controller, bool recordingFeatures,
             Commands commands, bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable());
    ~TrayIcon() override;

    /// How long the tray host is given to place a new icon before the hint is put above it.
    static constexpr int kBalloonDelayMs = 300;

    /// Hides the window behind the icon (tray mode 2) and shows the restore hint (string 89)
    /// above it for a few seconds; without a tray host it is minimised and the tray mode stays
    /// 0.
    void hideWindow();
    /// The icon was clicked: Trigger restores the window, Context runs the menu at the cursor.
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    /// Runs tray command `command` (TrayMenuRules' ids); other numbers do nothing.
    void runCommand(int command);

    /// 2 while the window lives only as the icon, 0 otherwise.
    int trayMode() const { return m_trayMode; }
    /// The icon shown (TrayMenuRules::iconId), meaningful while trayMode() is 2.
    int iconId() const { return m_iconId; }
    bool iconVisible() const { return m_icon.isVisible(); }
    TrayBalloon& balloon() { return m_balloon; }

private:
    void restoreWindow();
    void showIcon(int id);
    void onModeChanged(RecorderMode mode);
    void fillMenu(QMenu& menu) const;
    void showBalloon();

    QWidget& m_window;
    RecorderController& m_controller;
    bool m_recordingFeatures;
    Commands m_commands;
    bool m_trayAvailable;
    QSystemTrayIcon m_icon;
    int m_trayMode = 0;
    int m_iconId = 0;
    TrayBalloon m_balloon;
    QTimer m_balloonDelay;
};
