#include "ui/MixerSpeakerGuard.h"

#include "ui/RecorderMixer.h"

MixerSpeakerGuard::MixerSpeakerGuard(RecorderMixer& mixer, QSlider* volumeSlider)
    : m_mixer(mixer), m_volumeSlider(volumeSlider)
{}

void MixerSpeakerGuard::muteWhileArmed(bool mute)
{
    m_mixer.muteSpeakersWhileArmed(mute, m_volumeSlider);
}

void MixerSpeakerGuard::setAudible(bool audible)
{
    m_mixer.setSpeakersAudible(audible);
}
