#include "ui/TrayIcon.h"

#include "control/RecorderController.h"
#include "res/StringTable.h"
#include "ui/TrayMenuRules.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// A picture not (yet) among the resources leaves its item or icon without one.
QIcon picture(int id)
{
    const QString path = TrayMenuRules::picturePath(id);
    return id != 0 && QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace

TrayIcon::TrayIcon(QWidget& window, RecorderController& controller, bool recordingFeatures,
                   Commands commands, bool trayAvailable)
    : m_window(window), m_controller(controller), m_recordingFeatures(recordingFeatures),
      m_commands(std::move(commands)), m_trayAvailable(trayAvailable)
{
    // Queued: restoring removes the icon, whose click must not still be on the stack then.
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated,
            Qt::QueuedConnection);
    connect(&m_controller, &RecorderController::modeChanged, this, &TrayIcon::onModeChanged);
    m_balloonDelay.setSingleShot(true);
    m_balloonDelay.setInterval(kBalloonDelayMs);
    connect(&m_balloonDelay, &QTimer::timeout, this, &TrayIcon::showBalloon);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::hideWindow()
{
    if (!m_trayAvailable) {
        m_trayMode = 0;
        m_window.showMinimized();
        return;
    }
    showIcon(TrayMenuRules::iconId(m_controller.mode(), m_recordingFeatures));
    m_icon.setToolTip(StringTable::text(84));
    m_icon.show();
    m_trayMode = 2;
    m_window.hide();
    m_balloonDelay.start();
}

void TrayIcon::showBalloon()
{
    if (m_trayMode != 2)
        return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    m_balloon.showNear(m_icon.geometry(), screen ? screen->availableGeometry() : QRect(),
                       StringTable::text(89));
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    m_balloonDelay.stop();
    m_balloon.close();
    if (m_controller.inRound())
        return;
    if (reason == QSystemTrayIcon::Trigger) {
        restoreWindow();
    } else if (reason == QSystemTrayIcon::Context && !QApplication::activeModalWidget()) {
        // Under an open dialog the menu's commands would run inside that dialog's loop.
        QMenu menu(&m_window);
        menu.setObjectName(QStringLiteral("TrayMenu"));
        fillMenu(menu);
        if (QAction* chosen = menu.exec(QCursor::pos()))
            runCommand(chosen->data().toInt());
    }
}

void TrayIcon::runCommand(int command)
{
    switch (command) {
    case TrayMenuRules::kOpen:
        restoreWindow();
        break;
    case TrayMenuRules::kAutoRecording:
        m_controller.ToggleAutoRecording();
        break;
    case TrayMenuRules::kNewRecording:
        if (m_controller.mode().armed())
            m_controller.StopRecording(true);
        m_controller.StartRecording();
        break;
    case TrayMenuRules::kStop:
        m_controller.StopRecording();
        break;
    case TrayMenuRules::kExit:
        // Posted, as the window's own Exit is: the close may run dialogs of its own.
        QTimer::singleShot(0, this, [this] { m_commands.exit(); });
        break;
    case TrayMenuRules::kOptions:
        QTimer::singleShot(0, this, [this] { m_commands.openOptions(); });
        break;
    default:
        break;
    }
}

void TrayIcon::restoreWindow()
{
    m_trayMode = 0;
    m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
    m_balloonDelay.stop();
    m_balloon.close();
    m_icon.hide();
}

void TrayIcon::showIcon(int id)
{
    m_iconId = id;
    QIcon icon = picture(id);
    // A tray host shows nothing for an empty icon: the window's own stands in.
    m_icon.setIcon(icon.isNull() ? m_window.windowIcon() : icon);
}

void TrayIcon::onModeChanged(RecorderMode mode)
{
    // Hidden, the icon is all the user sees of the recorder, so it must not lag behind a call.
    if (m_trayMode == 2)
        showIcon(TrayMenuRules::iconId(mode, m_recordingFeatures));
}

void TrayIcon::fillMenu(QMenu& menu) const
{
    for (const TrayMenuItem& item :
         TrayMenuRules::items(m_controller.mode(), m_recordingFeatures)) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        const QIcon icon = picture(item.pictureId);
        QAction* action = menu.addAction(icon, StringTable::text(item.stringId));
        action->setData(item.command);
        action->setEnabled(item.enabled);
        // The picture shows the mark; without it, only a marked item shows a check box.
        action->setCheckable(item.marked || !icon.isNull());
        action->setChecked(item.marked);
    }
}
