#pragma once

#include "app/Settings.h"
#include "audio/CControlloVolume.h"

#include <QString>

#include <optional>

class MessagePresenter;
class QSlider;
class QWidget;

/// The Recorder window's three mixer lines: found and set at start-up, put back as they were
/// found at shutdown. Lives on the UI thread for the whole run of the window.
class RecorderMixer {
public:
    /// `factory` makes the lines' connections to the audio server; empty = PulseAudio.
    explicit RecorderMixer(const CControlloVolume::ServerFactory& factory = {});

    /// Writes the mixer tree to the log, through the microphone recording line.
    void logTree();
    /// Opens the speaker, microphone monitor and microphone recording lines in this order and
    /// sets them up as the settings say (devices, recording volume, firstRun, noMicSelect);
    /// errors are shown (first run only, except where always) over `window`.
    /// A stored recording volume is applied; without one the microphone keeps its volume, and
    /// that volume (0..65535) is returned for the caller to store. nullopt when a volume was
    /// stored or the microphone's could not be read.
    std::optional<int> setUp(const Settings& values, QSlider* volumeSlider,
                             MessagePresenter& messages, QWidget* window);
    /// Puts the speaker and monitor volumes back as they were found and closes both lines.
    void restore();
    /// The devices chosen in `values` differ from those the lines were set up with: a new play
    /// device gets the speaker line (the old one gets back the volume it was found with, and
    /// speakers silenced for arming stay silenced on the new one); a new record device is
    /// selected and given the stored recording volume, as at start. Errors as in setUp().
    void changeDevices(const Settings& previous, const Settings& values, QSlider* volumeSlider,
                       MessagePresenter& messages, QWidget* window);

    /// Arming with the warning sound on (true): keeps the speaker volume, sets the speakers
    /// to 0 and locks `slider` at 0; disarming (false): gives the volume back and unlocks it.
    void muteSpeakersWhileArmed(bool mute, QSlider* slider);
    /// While muted for arming: the kept volume while the warning sounds (true), 0 again after.
    void setSpeakersAudible(bool audible);
    /// From now on `slider` shows the speaker volume each time the speaker line reports a change
    /// of it (made by any program), except while the user holds the slider; moving it so does
    /// not set the volume again. The speaker line must have been opened by setUp() with a
    /// window; the following ends with the line or the slider.
    void followSpeakerVolume(QSlider* slider);

    CControlloVolume& speaker() { return m_speaker; }

private:
    void setUpSpeaker(const Settings& values, QSlider* slider, MessagePresenter& messages,
                      QWidget* window);
    void setUpMonitor();
    std::optional<int> setUpRecordingLine(const Settings& values, MessagePresenter& messages,
                                          QWidget* window);

    CControlloVolume m_speaker;
    CControlloVolume m_monitor;
    CControlloVolume m_recording;
    uint32_t m_savedSpeakerVolume = 0;
    bool m_speakerVolumeRead = false;
    uint32_t m_savedMonitorVolume = 0;
    int m_monitorStatus = -1;
    uint32_t m_armedSpeakerVolume = 0;
    bool m_mutedForArming = false;
};
