#include "ui/WarningSoundPlayer.h"

#include "audio/CPlaySound.h"

#include <algorithm>

WarningSoundPlayer::WarningSoundPlayer(CPlaySound& player, const Settings& settings)
    : m_player(player), m_settings(settings)
{}

std::optional<int> WarningSoundPlayer::play()
{
    if (!m_player.Play(m_settings.warningFile, m_settings.alternativePlaying))
        return std::nullopt;
    long long lengthMs = 0;
    long long positionMs = 0;
    m_player.GetLengthAndPosition(lengthMs, positionMs);
    // An hour at most: the length only times when the speakers go silent again.
    return static_cast<int>(std::clamp(lengthMs, 0LL, 3600000LL));
}

void WarningSoundPlayer::stop()
{
    m_player.StopPlay();
}
