#pragma once

#include <QString>

/// The Recorder window's copy of the settings it uses, filled at start-up (and again after the
/// options dialog). Plain values; owned by the UI thread.
struct Settings {
    QString workingFolder;      ///< WorkDir, ending with "/"
    QString silenceSecondsText; ///< TempoAttesaRegAuto as read
    QString startModeText;      ///< AvvioTaskBar as read; "1" starts in the tray
    QString singleFileText;     ///< RegAutoSalvaUnicoFile as read; compared with "1"
    QString thresholdText;      ///< SogliaAttivazioneRegAuto as read
    bool askConfirmation = false;
    bool startArmed = false;
    bool warningEnabled = false;
    bool warningAfter = false;
    int warningAfterSeconds = 0;
    bool warningEvery = false;
    int warningEverySeconds = 0;
    QString warningFile;
    bool alternativePlaying = false;
    QString operatorName;
    bool firstRun = false;
    bool sendDisabled = false;
};
