#include "ui/WarningSoundPlayer.h"

#include "audio/CPlaySound.h"

#include <algorithm>
#include <utility>

WarningSoundPlayer::WarningSoundPlayer(CPlaySound& player, const Settings& settings)
    : m_player(player), m_settings(settings)
{
    m_started = QObject::connect(&m_player, &CPlaySound::playbackStarted, &m_player, [this] {
        if (!m_pending)
            return;
        long long lengthMs = 0;
        long long positionMs = 0;
        m_player.GetLengthAndPosition(lengthMs, positionMs);
        // An hour at most: the length only times when the speakers go silent again.
        std::exchange(m_pending, {})(static_cast<int>(std::clamp(lengthMs, 0LL, 3600000LL)));
    });
    m_failed = QObject::connect(&m_player, &CPlaySound::playbackFailed, &m_player, [this] {
        if (m_pending)
            std::exchange(m_pending, {})(std::nullopt);
    });
}

WarningSoundPlayer::~WarningSoundPlayer()
{
    QObject::disconnect(m_started);
    QObject::disconnect(m_failed);
}

void WarningSoundPlayer::play(Outcome outcome)
{
    m_pending = {};
    if (!m_player.Play(m_settings.warningFile, m_settings.alternativePlaying)) {
        outcome(std::nullopt);
        return;
    }
    m_pending = std::move(outcome);
}

void WarningSoundPlayer::stop()
{
    m_pending = {};
    m_player.StopPlay();
}
