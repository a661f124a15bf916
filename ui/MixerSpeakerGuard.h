#pragma once

#include "control/SpeakerGuard.h"

class QSlider;
class RecorderMixer;

/// The window's speakers, silenced while armed through its mixer's speaker line; the volume
/// slider is locked at 0 meanwhile. UI thread; the mixer and the slider outlive it.
class MixerSpeakerGuard : public SpeakerGuard {
public:
    MixerSpeakerGuard(RecorderMixer& mixer, QSlider* volumeSlider);

    void muteWhileArmed(bool mute) override;
    void setAudible(bool audible) override;

private:
    RecorderMixer& m_mixer;
    QSlider* m_volumeSlider;
};
