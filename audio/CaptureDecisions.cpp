#include "audio/CaptureDecisions.h"

#include <algorithm>

void CaptureDecisions::setAutoMode(bool on)
{
    m_forwarding = false;
    m_autoMode = on;
}

CaptureDecisions::Outcome CaptureDecisions::onBuffer(const int16_t* samples, size_t count,
                                                     int64_t now, const Params& params)
{
    Outcome outcome;
    // The peak starts at 0, so a buffer of negative samples only never counts as voice.
    int peak = 0;
    int minimum = 32767;
    for (size_t i = 0; i < count; ++i) {
        peak = std::max<int>(peak, samples[i]);
        minimum = std::min<int>(minimum, samples[i]);
    }
    m_levelPeak = std::max(m_levelPeak, peak);
    if (now - m_lastLevelTime > kLevelIntervalMs) {
        m_lastLevelTime = now;
        outcome.level = Level{m_levelPeak, minimum};
        m_levelPeak = 0;
    }

    if (!m_autoMode) {
        m_forwarding = true;
        return outcome;
    }
    const bool voice = peak >= params.threshold || m_microphoneInUse;
    if (voice && !m_inCall) {
        // A pending mark left by an earlier call must not judge this one.
        m_antiBumpPending = params.antiBump;
        m_callStart = now;
        outcome.voiceDetected = true;
        m_inCall = true;
        m_forwarding = true;
        m_lastVoice = now;
    } else if (voice) {
        m_lastVoice = now;
        if (m_antiBumpPending && now - m_callStart > kAntiBumpVoiceMs)
            m_antiBumpPending = false;
        m_forwarding = true;
    } else if (m_inCall) {
        if (m_antiBumpPending && now - m_callStart > kAntiBumpDiscardMs && m_forwarding) {
            outcome.callEnded = true;
            outcome.restart = true;
            m_inCall = false;
            m_forwarding = false;
        } else if (now - m_lastVoice >= int64_t{params.silenceSeconds} * 1000) {
            if (m_forwarding) {
                outcome.callEnded = false;
                outcome.restart = true;
                m_inCall = false;
                m_forwarding = false;
            }
        }
    }
    return outcome;
}

bool CaptureDecisions::idleRestartDue(int64_t now, bool recording) const
{
    return m_autoMode && (!m_forwarding || !recording) && now - m_openTime >= kIdleRestartMs;
}
