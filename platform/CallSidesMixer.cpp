#include "platform/CallSidesMixer.h"

#include <algorithm>
#include <cmath>

void CallSidesMixer::pushMicrophone(const int16_t* samples, size_t count)
{
    m_microphone.insert(m_microphone.end(), samples, samples + count);
}

void CallSidesMixer::pushMonitor(const int16_t* samples, size_t count)
{
    m_monitor.insert(m_monitor.end(), samples, samples + count);
}

size_t CallSidesMixer::microphoneBacklog() const
{
    return m_microphone.size();
}

void CallSidesMixer::pushMicrophoneSilence(size_t count)
{
    m_microphone.insert(m_microphone.end(), count, 0);
}

void CallSidesMixer::pushMonitorSilence(size_t count)
{
    m_monitor.insert(m_monitor.end(), count, 0);
}

void CallSidesMixer::setMonitorGain(float gain)
{
    m_gain = std::isfinite(gain) ? std::clamp(gain, 1.0f, kMaxGain) : 1.0f;
}

void CallSidesMixer::setFarSideLive(bool live)
{
    m_farLive = live;
    if (!live)
        m_monitor.clear();
}

void CallSidesMixer::clear()
{
    m_microphone.clear();
    m_monitor.clear();
    m_farLive = true;
    m_aligned = false;
}

bool CallSidesMixer::take(std::vector<int16_t>& out)
{
    if (!m_farLive) {
        if (m_microphone.size() < m_frames)
            return false;
        out.assign(m_microphone.begin(), m_microphone.begin() + ptrdiff_t(m_frames));
        m_microphone.erase(m_microphone.begin(), m_microphone.begin() + ptrdiff_t(m_frames));
        return true;
    }
    if (!m_aligned && !m_microphone.empty() && !m_monitor.empty()) {
        m_aligned = true;
        // The newest samples of both sides meet: the shorter side is taken as silent before
        // its stream began (or came back), so nothing of either side is dropped for it.
        std::vector<int16_t>& shorter =
            m_microphone.size() < m_monitor.size() ? m_microphone : m_monitor;
        const size_t missing = std::max(m_microphone.size(), m_monitor.size()) - shorter.size();
        shorter.insert(shorter.begin(), missing, 0);
    }
    const bool both = m_microphone.size() >= m_frames && m_monitor.size() >= m_frames;
    // A side that has fallen this far behind is taken as silent for the missing part.
    const bool stalled =
        std::max(m_microphone.size(), m_monitor.size()) >= m_frames + 2 * kMaxLagFrames;
    if (!both && !stalled)
        return false;
    out.resize(m_frames);
    const size_t near = std::min(m_frames, m_microphone.size());
    const size_t far = std::min(m_frames, m_monitor.size());
    for (size_t i = 0; i < m_frames; ++i) {
        const float mixed = (i < near ? float(m_microphone[i]) : 0.0f) +
                            (i < far ? float(m_monitor[i]) * m_gain : 0.0f);
        out[i] = int16_t(std::lround(std::clamp(mixed, -32768.0f, 32767.0f)));
    }
    m_microphone.erase(m_microphone.begin(), m_microphone.begin() + ptrdiff_t(near));
    m_monitor.erase(m_monitor.begin(), m_monitor.begin() + ptrdiff_t(far));
    if (!both) {
        // The stalled side meets the other again by its newest samples when it comes back.
        m_aligned = false;
    } else if (m_monitor.size() > m_microphone.size() + kMaxLagFrames) {
        // Clock drift: the microphone keeps every sample; the far side, ahead, loses the few
        // beyond the lag, or, behind, gets as few samples of silence.
        m_monitor.erase(m_monitor.begin(),
                        m_monitor.end() - ptrdiff_t(m_microphone.size() + kMaxLagFrames));
    } else if (m_microphone.size() > m_monitor.size() + kMaxLagFrames) {
        m_monitor.insert(m_monitor.begin(), m_microphone.size() - m_monitor.size() - kMaxLagFrames,
                         0);
    }
    return true;
}
