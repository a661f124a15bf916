#include "ui/RecorderMixer.h"

#include "app/DiagnosticLog.h"
#include "res/StringTable.h"
#include "ui/MessagePresenter.h"

#include <QSignalBlocker>
#include <QSlider>

namespace {

// A step of the set-up that failed, named by its error word.
struct MixerError {
    QString word;
};

} // namespace

RecorderMixer::RecorderMixer(const CControlloVolume::ServerFactory& factory)
    : m_speaker(factory), m_monitor(factory), m_recording(factory)
{}

void RecorderMixer::logTree()
{
    m_recording.LoggaAlberoMixer(false);
}

std::optional<int> RecorderMixer::setUp(const Settings& values, QSlider* volumeSlider,
                                        MessagePresenter& messages, QWidget* window)
{
    setUpSpeaker(values, volumeSlider, messages, window);
    setUpMonitor();
    return setUpRecordingLine(values, messages, window);
}

void RecorderMixer::setUpSpeaker(const Settings& values, QSlider* slider,
                                 MessagePresenter& messages, QWidget* window)
{
    try {
        if (!m_speaker.Open(window, false, CControlloVolume::ComponentDstSpeakers, 0,
                            values.playbackDevice) &&
            values.firstRun)
            throw MixerError{QStringLiteral("ErroreAudioSpeaker")};
        uint32_t volume = 0;
        const bool volumeRead = m_speaker.GetCurrentVolume(volume);
        if (!volumeRead && values.firstRun)
            throw MixerError{QStringLiteral("ErroreAudioSpeaker")};
        if (slider) {
            slider->setRange(static_cast<int>(m_speaker.GetMin()),
                             static_cast<int>(m_speaker.GetMax()));
            slider->setValue(static_cast<int>(volume));
        }
        m_savedSpeakerVolume = volume;
        // An open line whose volume could not be read has nothing to be put back at exit.
        m_speakerVolumeRead = volumeRead;
    } catch (const MixerError& error) {
        messages.showMessage(window, StringTable::text(75) + error.word, StringTable::caption(),
                             MessagePresenter::Icon::Information);
        WriteLog(error.word);
    }
}

void RecorderMixer::setUpMonitor()
{
    try {
        uint32_t volume = 0;
        if (!m_monitor.Open(nullptr, false, CControlloVolume::ComponentSrcMicrophone, 1, 0) ||
            !m_monitor.GetCurrentVolume(volume))
            throw MixerError{QStringLiteral("ErroreAudioMicrofonoOut")};
        m_savedMonitorVolume = volume;
        if (volume == m_monitor.GetMax()) {
            m_monitorStatus = 0;
        } else {
            // The caller's own voice must not come back through the speakers while recording.
            if (!m_monitor.SetVolume(m_monitor.GetMin()))
                throw MixerError{QStringLiteral("ErroreAudioMicrofonoOut")};
            m_monitorStatus = 1;
        }
    } catch (const MixerError& error) {
        m_monitorStatus = -1;
        WriteLog(error.word);
    }
}

std::optional<int> RecorderMixer::setUpRecordingLine(const Settings& values,
                                                     MessagePresenter& messages, QWidget* window)
{
    std::optional<int> found;
    try {
        if (!m_recording.Open(nullptr, true, CControlloVolume::ComponentSrcMicrophone, 0,
                              values.recordingDevice) &&
            values.firstRun)
            throw MixerError{QStringLiteral("ErroreOpenMicrofonoIn")};
        if (!values.noMicSelect && !m_recording.AbilitaDisabilitaSulMixer(true, -1) &&
            values.firstRun)
            throw MixerError{QStringLiteral("ErroreAbilitaMicrofonoIn")};
        uint32_t current = 0;
        const bool currentRead = m_recording.GetCurrentVolume(current);
        if (!currentRead) {
            if (values.firstRun)
                throw MixerError{QStringLiteral("ErroreGetVolunmeMicrofonoIn")};
            WriteLog(QStringLiteral("Errore nel reperimento dei volume microfono IN"));
        }
        if (!values.recordingVolume) {
            // The microphone is shared with every other program: its volume is the user's
            // choice, so it is kept as found and becomes the value the next starts apply.
            if (currentRead)
                found = static_cast<int>(current);
            else
                WriteLog(QStringLiteral("!bVolumeRegistrazioneImpostato e volume di registratore "
                                        "iMaxVol uguale a 0"));
        } else if (*values.recordingVolume != 0) {
            m_recording.SetVolume(static_cast<uint32_t>(std::max(0, *values.recordingVolume)));
        } else {
            WriteLog(QStringLiteral("bVolumeRegistrazioneImpostato e volume di registratore "
                                    "VolumeRec uguale a 0"));
        }
        if (values.firstRun)
            m_recording.ResetMicrophoneSwitches();
        m_recording.Close();
    } catch (const MixerError& error) {
        messages.showMessage(window, StringTable::text(75), StringTable::caption(),
                             MessagePresenter::Icon::Information);
        WriteLog(QStringLiteral("Errore nella selezione del microfono di ingresso"));
        WriteLog(error.word);
        m_recording.Close();
    }
    return found;
}

void RecorderMixer::restore()
{
    WriteLog(QStringLiteral("Setta volume speaker"));
    WriteLog(QStringLiteral("Impostazione vecchio volume speaker"));
    // A volume that was never read is not put back: that would silence the speakers.
    if (m_speakerVolumeRead)
        m_speaker.SetVolume(m_savedSpeakerVolume);
    WriteLog(QStringLiteral("Chiusura volume speaker"));
    m_speaker.Close();
    WriteLog(QStringLiteral("Setta volume microfono"));
    if (m_monitorStatus != -1)
        m_monitor.SetVolume(m_savedMonitorVolume);
    m_monitor.Close();
}

void RecorderMixer::changeDevices(const Settings& previous, const Settings& values,
                                  QSlider* volumeSlider, MessagePresenter& messages,
                                  QWidget* window)
{
    if (values.playbackDevice != previous.playbackDevice) {
        const bool muted = m_mutedForArming;
        if (muted)
            muteSpeakersWhileArmed(false, volumeSlider);
        if (m_speakerVolumeRead)
            m_speaker.SetVolume(m_savedSpeakerVolume);
        m_speaker.Close();
        setUpSpeaker(values, volumeSlider, messages, window);
        if (muted)
            muteSpeakersWhileArmed(true, volumeSlider);
    }
    if (values.recordingDevice != previous.recordingDevice)
        setUpRecordingLine(values, messages, window);
}

void RecorderMixer::muteSpeakersWhileArmed(bool mute, QSlider* slider)
{
    if (mute) {
        if (!m_mutedForArming) {
            uint32_t volume = 0;
            // A volume that cannot be read is not taken back later: the speakers keep theirs.
            m_mutedForArming = m_speaker.GetCurrentVolume(volume);
            m_armedSpeakerVolume = volume;
            if (m_mutedForArming)
                m_speaker.SetVolume(0);
        }
        if (slider != nullptr) {
            const QSignalBlocker quiet(slider);
            slider->setValue(0);
            slider->setEnabled(false);
        }
        return;
    }
    if (m_mutedForArming) {
        m_speaker.SetVolume(m_armedSpeakerVolume);
        m_mutedForArming = false;
    }
    if (slider != nullptr) {
        const QSignalBlocker quiet(slider);
        uint32_t volume = 0;
        if (m_speaker.GetCurrentVolume(volume))
            slider->setValue(static_cast<int>(volume));
        slider->setEnabled(true);
    }
}

void RecorderMixer::setSpeakersAudible(bool audible)
{
    if (m_mutedForArming)
        m_speaker.SetVolume(audible ? m_armedSpeakerVolume : 0);
}

void RecorderMixer::followSpeakerVolume(QSlider* slider)
{
    QObject::connect(&m_speaker, &CControlloVolume::mixerControlChange, slider,
                     [this, slider](quintptr mixer, quint32 controlId) {
                         if (mixer != m_speaker.GetMixerHandle() ||
                             controlId != m_speaker.GetVolumeControlId())
                             return;
                         // The user's own drag sets the volume; its reports lag behind the hand.
                         if (slider->isSliderDown())
                             return;
                         const std::optional<uint32_t> volume = m_speaker.reportedVolume();
                         if (!volume)
                             return;
                         // Setting the volume the server just reported would report it again.
                         const QSignalBlocker quiet(slider);
                         slider->setValue(static_cast<int>(*volume));
                     });
}
