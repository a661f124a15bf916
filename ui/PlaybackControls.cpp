#include "ui/PlaybackControls.h"

#include "app/DiagnosticLog.h"
#include "audio/CPlaySound.h"
#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"
#include "ui/ControlIds.h"
#include "ui/LevelMeter.h"
#include "ui/PositionBar.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"
#include "ui/SkinStatic.h"

#include <QColor>
#include <QFile>
#include <QSlider>
#include <QTreeWidget>

PlaybackControls::PlaybackControls(RecorderLayout& layout, CPlaySound& player,
                                   MessagePresenter& messages, QWidget* window,
                                   std::function<bool()> alternativePlaying)
    : m_layout(layout), m_player(player), m_messages(messages), m_window(window),
      m_alternativePlaying(std::move(alternativePlaying))
{
    m_timer.setInterval(TimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &PlaybackControls::onTick);
    for (int id : {ControlId::FastForward, ControlId::FastRewind}) {
        if (SkinButton* button = m_layout.button(id))
            connect(button, &SkinButton::repeated, this, &PlaybackControls::Step);
    }
    if (PositionBar* bar = m_layout.positionBar())
        connect(bar, &PositionBar::seekRequested, this, &PlaybackControls::Seek);
    // A playback that ends (or loses its server) between two ticks stops at once.
    connect(&m_player, &CPlaySound::playbackStarted, this, &PlaybackControls::onPlayerStarted);
    connect(&m_player, &CPlaySound::playbackEnded, this, &PlaybackControls::Stop);
    connect(&m_player, &CPlaySound::playbackFailed, this, [this] { Stop(); });
    // Nothing plays yet: the window opens with the look of a stopped playback.
    hideDisplays();
}

PlaybackControls::~PlaybackControls() = default;

QString PlaybackControls::playFile(const RecordingEntry& entry, bool decoded) const
{
    return decoded ? Protection::outputPath(entry) : entry.filePath();
}

void PlaybackControls::Play(RecordingEntry* entry)
{
    // No playback starts during a recording.
    if (m_mode.recording() && !m_active)
        return;
    if (m_paused && (entry == nullptr || entry == m_playing)) {
        resume();
        return;
    }
    if (entry == nullptr)
        return;
    if (m_active || m_paused)
        Stop();
    WriteLog(QStringLiteral("Comando Play del file"));
    if (entry->inUse())
        return;
    Q_EMIT newPlaybackStarting(entry);
    if (entry->isProtected) {
        WriteLog(QStringLiteral("Registrazione protetta"));
        Q_EMIT protectedPlayRequested(entry);
        return;
    }
    start(entry, false);
}

void PlaybackControls::PlayDecoded(RecordingEntry* entry)
{
    if (entry == nullptr || (m_mode.recording() && !m_active))
        return;
    if (m_active || m_paused)
        Stop();
    start(entry, true);
}

void PlaybackControls::start(RecordingEntry* entry, bool decoded)
{
    m_playing = entry;
    m_decoded = decoded;
    WriteLog(entry->name);
    m_playLength = entry->duration >= 0 ? static_cast<int>(OleDate::toSeconds(entry->duration)) : 0;

    showPlayingLook();
    m_active = true;
    Q_EMIT playbackRunning(true);
    if (SkinStatic* time = m_layout.label(ControlId::PlayTime))
        time->setText(StringTable::text(6));
    if (SkinStatic* position = m_layout.label(ControlId::PlayPosition))
        position->setText(StringTable::text(6));
    Q_EMIT playingChanged(entry);

    WriteLog(QStringLiteral("Comando play"));
    if (!m_player.Play(playFile(*entry, decoded), m_alternativePlaying && m_alternativePlaying())) {
        WriteLog(QStringLiteral("Errore durante il comando play"));
        Stop();
        return;
    }
    showLength();
    if (QTreeWidget* list = m_layout.list())
        list->setFocus();
}

void PlaybackControls::onPlayerStarted()
{
    if (!m_active && !m_paused)
        return;
    // The timer follows a playback that is heard: before that the player knows no length, and
    // the first tick would take the playback for ended.
    WriteLog(QStringLiteral("Impostazione timer play"));
    m_timer.start();
    // A recording not measured yet takes its length from the player.
    if (m_playLength <= 0) {
        long long lengthMs = 0;
        long long positionMs = 0;
        m_player.GetLengthAndPosition(lengthMs, positionMs);
        m_playLength = static_cast<int>(lengthMs / 1000);
        showLength();
    }
}

void PlaybackControls::showLength()
{
    if (PositionBar* bar = m_layout.positionBar()) {
        bar->setRange(0, m_playLength);
        bar->setPosition(0);
        bar->setEnabledBar(true);
    }
    // The far end of the bar tells how long the recording is.
    if (SkinStatic* total = m_layout.label(ControlId::PlayTotal))
        total->setText(OleDate::clockText(m_playLength));
}

void PlaybackControls::resume()
{
    showPlayingLook();
    WriteLog(QStringLiteral("Impostazione timer play"));
    m_timer.start();
    m_active = true;
    m_paused = false;
    Q_EMIT playbackRunning(true);
    const long long from = m_pausePosition;
    m_pausePosition = 0;
    if (!m_player.PlayFrom(from)) {
        WriteLog(QStringLiteral("Errore durante il comando play"));
        Stop();
        return;
    }
    if (QTreeWidget* list = m_layout.list())
        list->setFocus();
}

void PlaybackControls::showPlayingLook()
{
    if (SkinButton* play = m_layout.button(ControlId::Play)) {
        play->setTip(StringTable::text(151));
        const QString lit = QStringLiteral("PLAYRECDD");
        play->loadBitmaps(lit, lit, lit, lit);
        play->update();
    }
    if (SkinButton* stop = m_layout.button(ControlId::StopRecord)) {
        stop->setTip(StringTable::text(46));
        stop->setEnabled(true);
    }
    if (SkinButton* stopPlay = m_layout.button(ControlId::StopPlay))
        stopPlay->setEnabled(true);
    if (SkinButton* pause = m_layout.button(ControlId::Pause)) {
        pause->loadBitmaps(QStringLiteral("PAUSA"));
        pause->setEnabled(true);
        pause->update();
    }
    for (int id : {ControlId::FastForward, ControlId::FastRewind}) {
        if (SkinButton* button = m_layout.button(id))
            button->setEnabled(true);
    }
    showDisplays();
    if (SkinStatic* mode = m_layout.label(ControlId::ModeLabel))
        mode->setText(StringTable::text(14));
}

void PlaybackControls::Pause()
{
    if (!m_active) {
        Play(nullptr);
        return;
    }
    if (SkinButton* play = m_layout.button(ControlId::Play)) {
        play->setTip(StringTable::text(45));
        play->loadBitmaps(QStringLiteral("PLAYREC"));
        play->setEnabled(true);
        play->update();
    }
    m_player.PausePlay();
    // Read after the pause: the position the player holds is where it resumes.
    long long lengthMs = 0;
    long long positionMs = 0;
    m_player.GetLengthAndPosition(lengthMs, positionMs);
    m_pausePosition = positionMs;
    m_paused = true;
    m_active = false;
    if (SkinButton* pause = m_layout.button(ControlId::Pause)) {
        const QString held = QStringLiteral("PAUSAD");
        pause->loadBitmaps(held, held, held, held);
        pause->update();
    }
    Q_EMIT playbackRunning(false);
    // During a recording the mode label keeps its text.
    if (!m_mode.recording()) {
        if (SkinStatic* mode = m_layout.label(ControlId::ModeLabel))
            mode->setText(StringTable::text(152));
    }
}

void PlaybackControls::Stop()
{
    if (SkinButton* pause = m_layout.button(ControlId::Pause)) {
        pause->loadBitmaps(QStringLiteral("PAUSA"));
        pause->update();
    }
    if (!m_active && !m_paused)
        return;
    const bool wasActive = m_active;
    m_active = false;
    m_paused = false;
    m_pausePosition = 0;

    if (SkinButton* play = m_layout.button(ControlId::Play))
        play->setTip(StringTable::text(45));
    WriteLog(QStringLiteral("Stop play"));
    m_player.StopPlay();
    m_timer.stop();
    if (PositionBar* bar = m_layout.positionBar()) {
        bar->setPosition(0);
        bar->setEnabledBar(false);
    }
    if (wasActive)
        Q_EMIT playbackRunning(false);

    if (SkinButton* play = m_layout.button(ControlId::Play)) {
        // Whether Play is usable again is the list's rule (rows, recorder state), applied when
        // the list hears that nothing plays any more.
        play->loadBitmaps(QStringLiteral("PLAYREC"));
        play->update();
    }
    hideDisplays();
    // Stop is also the recording's own button: it stays usable while a recording runs.
    if (!m_mode.recording()) {
        if (SkinButton* stop = m_layout.button(ControlId::StopRecord))
            stop->setEnabled(false);
    }
    for (int id :
         {ControlId::Pause, ControlId::FastForward, ControlId::FastRewind, ControlId::StopPlay}) {
        if (SkinButton* button = m_layout.button(id))
            button->setEnabled(false);
    }
    if (SkinStatic* mode = m_layout.label(ControlId::ModeLabel))
        mode->setText(QString());
    if (SkinStatic* total = m_layout.label(ControlId::PlayTotal))
        total->setText(OleDate::clockText(0));
    for (int id : {ControlId::PlayTime, ControlId::PlayPosition}) {
        if (SkinStatic* label = m_layout.label(id))
            label->setText(StringTable::text(2));
    }

    RecordingEntry* stopped = m_playing;
    if (stopped != nullptr && m_decoded)
        QFile::remove(Protection::outputPath(*stopped));
    m_playing = nullptr;
    m_decoded = false;
    m_playLength = 0;
    if (stopped != nullptr)
        Q_EMIT playingChanged(nullptr);
}

void PlaybackControls::onTick()
{
    if (m_player.isLoading())
        return;
    long long lengthMs = 0;
    long long positionMs = 0;
    m_player.GetLengthAndPosition(lengthMs, positionMs);
    // While paused, steps and seeks move only the pause position, which the display follows.
    if (m_paused)
        positionMs = m_pausePosition;
    const long long elapsed =
        lengthMs > 0 ? static_cast<long long>(static_cast<double>(positionMs) /
                                              static_cast<double>(lengthMs) * m_playLength)
                     : 0;
    if (PositionBar* bar = m_layout.positionBar())
        bar->setPosition(static_cast<int>(elapsed));
    showTime(elapsed);
    if (m_active && positionMs >= lengthMs)
        Stop();
}

void PlaybackControls::Step(int controlId)
{
    if (!m_active && !m_paused)
        return;
    const bool forward = controlId == ControlId::FastForward;
    if (!forward && controlId != ControlId::FastRewind)
        return;
    long long position = 0;
    if (m_paused) {
        position = forward ? m_player.FastForward(m_pausePosition, false)
                           : m_player.Rewind(m_pausePosition, false);
        if (position > 0)
            m_pausePosition = position;
    } else {
        position = forward ? m_player.FastForward(0, true) : m_player.Rewind(0, true);
    }
    if (position > 0) {
        showTime(position / 1000);
        if (PositionBar* bar = m_layout.positionBar())
            bar->setPosition(static_cast<int>(position / 1000));
    }
    if (QTreeWidget* list = m_layout.list())
        list->setFocus();
}

void PlaybackControls::Seek(int seconds)
{
    if (!m_active && !m_paused)
        return;
    long long lengthMs = 0;
    long long positionMs = 0;
    m_player.GetLengthAndPosition(lengthMs, positionMs);
    const PositionBar* bar = m_layout.positionBar();
    const int range = bar != nullptr && bar->maximum() > 0 ? bar->maximum() : m_playLength;
    if (range <= 0)
        return;
    const auto target = static_cast<long long>(
        static_cast<double>(seconds) / range * static_cast<double>(lengthMs) + 0.5);
    if (m_paused)
        m_pausePosition = target;
    else
        m_player.PlayFrom(target);
    showTime(seconds);
    if (PositionBar* positionBar = m_layout.positionBar())
        positionBar->setPosition(seconds);
}

void PlaybackControls::showTime(long long seconds)
{
    if (SkinStatic* position = m_layout.label(ControlId::PlayPosition))
        position->setText(OleDate::clockText(seconds));
}

void PlaybackControls::showDisplays()
{
    // The slider's caption comes and goes with it: alone it would name nothing.
    for (int id : {ControlId::PlayPosition, ControlId::PositionBar, ControlId::VolumeSlider,
                   ControlId::VolumeCaption}) {
        if (QWidget* control = m_layout.control(id))
            control->show();
    }
    if (SkinButton* status = m_layout.button(ControlId::StatusIcon)) {
        const QString playing = QStringLiteral("144");
        status->loadBitmaps(playing, playing, playing, playing);
        status->show();
    }
    if (QWidget* meter = m_layout.control(ControlId::LevelMeter))
        meter->hide();
}

void PlaybackControls::hideDisplays()
{
    for (int id : {ControlId::PlayPosition, ControlId::PositionBar, ControlId::VolumeSlider,
                   ControlId::VolumeCaption}) {
        if (QWidget* control = m_layout.control(id))
            control->hide();
    }
    SkinButton* status = m_layout.button(ControlId::StatusIcon);
    if (m_mode.armed()) {
        if (status != nullptr) {
            const QString armed = QStringLiteral("143");
            status->loadBitmaps(armed, armed, armed, armed);
            status->show();
        }
        if (QWidget* meter = m_layout.control(ControlId::LevelMeter))
            meter->show();
    } else if (status != nullptr) {
        status->hide();
    }
}
