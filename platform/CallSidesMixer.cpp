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
        // The microphone's head is kept whole (it may be a recording's start): the far side
        // is taken as silent before its stream began.
        if (m_microphone.size() > m_monitor.size())
            m_monitor.insert(m_monitor.begin(), m_microphone.size() - m_monitor.size(), 0);
        else
            m_monitor.erase(m_monitor.begin(), m_monitor.end() - ptrdiff_t(m_microphone.size()));
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
    if (both) {
        // Clock drift: the side that runs ahead drops its oldest samples, a few at a time.
        for (std::vector<int16_t>* side : {&m_microphone, &m_monitor}) {
            const std::vector<int16_t>& other = side == &m_microphone ? m_monitor : m_microphone;
            if (side->size() > other.size() + kMaxLagFrames) {
                const size_t excess = side->size() - other.size() - kMaxLagFrames;
                side->erase(side->begin(), side->begin() + ptrdiff_t(excess));
            }
        }
    }
    return true;
}
