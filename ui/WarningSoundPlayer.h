#pragma once

#include "app/Settings.h"
#include "control/WarningSound.h"

#include <QMetaObject>

class CPlaySound;

/// The window's warning sound: the file of the settings ("SegnaleAcusticoFile") on a player of
/// its own, with the playing method of the settings. UI thread; the player and the settings
/// outlive it.
class WarningSoundPlayer : public WarningSound {
public:
    WarningSoundPlayer(CPlaySound& player, const Settings& settings);
    ~WarningSoundPlayer() override;
    WarningSoundPlayer(const WarningSoundPlayer&) = delete;
    WarningSoundPlayer& operator=(const WarningSoundPlayer&) = delete;

    void play(Outcome outcome) override;
    void stop() override;

private:
    CPlaySound& m_player;
    const Settings& m_settings;
    Outcome m_pending; ///< the play() whose file is opening
    // The player may outlive this object: its signals must not reach it afterwards.
    QMetaObject::Connection m_started;
    QMetaObject::Connection m_failed;
};
