#include "ui/WindowRecorderView.h"

#include "res/StringTable.h"
#include "ui/ControlIds.h"
#include "ui/LevelMeter.h"
#include "ui/MessagePresenter.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"
#include "ui/SkinStatic.h"

#include <QColor>
#include <QLineEdit>

namespace {

// The display colours: grey while idle, the record red while a recording runs.
const QColor kIdleText(0xBE, 0xBE, 0xBE);
const QColor kRecordingText(0xD9, 0x3A, 0x3A);

} // namespace

WindowRecorderView::WindowRecorderView(RecorderLayout& layout, MessagePresenter& messages,
                                       QWidget* window)
    : m_layout(layout), m_messages(messages), m_window(window)
{}

std::optional<RecorderView::SaveAnswer>
WindowRecorderView::askRecordingName(const RecordingEntry& entry, const QString& temporaryFile,
                                     const SaveAnswer& proposed)
{
    if (m_hooks.askName)
        return m_hooks.askName(entry, temporaryFile, proposed);
    return std::nullopt;
}

bool WindowRecorderView::attended() const
{
    return !m_hooks.attended || m_hooks.attended();
}

void WindowRecorderView::reportMessage(int stringId, const QString& argument, Severity severity)
{
    const QString text =
        argument.isEmpty() ? StringTable::text(stringId) : StringTable::text(stringId, {argument});
    const MessagePresenter::Icon icon = severity == Severity::Error ? MessagePresenter::Icon::Error
                                        : severity == Severity::Warning
                                            ? MessagePresenter::Icon::Warning
                                            : MessagePresenter::Icon::Information;
    m_messages.showMessage(m_window, text, StringTable::caption(), icon);
}

void WindowRecorderView::reportFatal(int stringId)
{
    m_messages.showMessage(m_window, StringTable::text(stringId), StringTable::caption(),
                           MessagePresenter::Icon::Error);
    if (m_hooks.fatal)
        m_hooks.fatal();
}

void WindowRecorderView::setButtonLook(Button button, Look look)
{
    SkinButton* skin = m_layout.button(static_cast<int>(button));
    if (!skin)
        return;
    switch (look) {
    case Look::RecordIdle:
        skin->loadBitmaps(QStringLiteral("REGISTRA"));
        break;
    case Look::RecordLit: {
        const QString lit = QStringLiteral("REGISTRADD");
        skin->loadBitmaps(lit, lit, lit, lit);
        break;
    }
    case Look::AutoIdle:
        skin->loadBitmaps(QStringLiteral("REG_AUTO"));
        break;
    case Look::AutoArmed: {
        const QString armed = QStringLiteral("230");
        skin->loadBitmaps(armed, armed, armed, armed);
        break;
    }
    case Look::PauseNormal:
        skin->loadBitmaps(QStringLiteral("PAUSA"));
        break;
    case Look::PlayIdle:
        skin->loadBitmaps(QStringLiteral("PLAYREC"));
        break;
    }
    skin->update();
}

void WindowRecorderView::setButtonEnabled(Button button, bool enabled)
{
    if (QWidget* control = m_layout.control(static_cast<int>(button)))
        control->setEnabled(enabled);
}

void WindowRecorderView::setAutoRecordTooltip(int stringId)
{
    if (SkinButton* skin = m_layout.button(ControlId::AutoRecord))
        skin->setTip(StringTable::text(stringId));
}

void WindowRecorderView::showArmedIndicators(bool shown)
{
    if (SkinButton* status = m_layout.button(ControlId::StatusIcon)) {
        if (shown) {
            const QString armed = QStringLiteral("143");
            status->loadBitmaps(armed, armed, armed, armed);
        }
        status->setVisible(shown);
    }
    if (QWidget* meter = m_layout.control(ControlId::LevelMeter))
        meter->setVisible(shown);
}

void WindowRecorderView::showClock(const QString& minutes, const QString& seconds,
                                   const QString& label, bool recordingColour)
{
    const QColor colour = recordingColour ? kRecordingText : kIdleText;
    const std::pair<int, QString> texts[] = {{ControlId::ClockMinutes, minutes},
                                             {ControlId::ClockSeconds, seconds},
                                             {ControlId::RecLabel, label}};
    for (const auto& [id, text] : texts) {
        if (SkinStatic* display = m_layout.label(id)) {
            display->setText(text);
            display->setTextColor(colour);
        }
    }
    if (SkinStatic* colon = m_layout.label(ControlId::ClockColon))
        colon->setTextColor(colour);
}

void WindowRecorderView::showDurationText(const QString& text)
{
    if (m_hooks.showsRecordingInProgress && !m_hooks.showsRecordingInProgress())
        return;
    m_layout.durationField()->setText(text);
}

void WindowRecorderView::showLevel(int peak)
{
    m_layout.levelMeter()->setLevel(peak);
}

void WindowRecorderView::showThreshold(int threshold)
{
    m_layout.levelMeter()->setThreshold(threshold);
}

void WindowRecorderView::focusRecordingList()
{
    if (m_hooks.focusList)
        m_hooks.focusList();
}

void WindowRecorderView::insertRecordingRow(RecordingEntry& entry, RowImage image)
{
    if (m_hooks.insertRow)
        m_hooks.insertRow(entry, image);
}

void WindowRecorderView::updateRecordingRow(const QString& oldName, RecordingEntry& entry,
                                            RowImage image)
{
    if (m_hooks.updateRow)
        m_hooks.updateRow(oldName, entry, image);
}

void WindowRecorderView::removeRecordingRow(const QString& name)
{
    if (m_hooks.removeRow)
        m_hooks.removeRow(name);
}

void WindowRecorderView::reloadRecordingList()
{
    if (m_hooks.reloadList)
        m_hooks.reloadList();
}

void WindowRecorderView::saveRecordingInfo()
{
    if (m_hooks.saveRecordingInfo)
        m_hooks.saveRecordingInfo();
}

void WindowRecorderView::updateRecordingControls()
{
    if (m_hooks.updateControls)
        m_hooks.updateControls();
}

void WindowRecorderView::stopPlayback()
{
    if (m_hooks.stopPlayback)
        m_hooks.stopPlayback();
}

bool WindowRecorderView::playbackPaused() const
{
    return m_hooks.playbackPaused && m_hooks.playbackPaused();
}

void WindowRecorderView::showInputLost(bool lost)
{
    SkinButton* status = m_layout.button(ControlId::StatusIcon);
    if (!status)
        return;
    const QString picture = lost ? QStringLiteral("MICLOST") : QStringLiteral("143");
    status->loadBitmaps(picture, picture, picture, picture);
    status->setTip(lost ? StringTable::text(503) : QString());
    status->update();
}

std::optional<int> WindowRecorderView::playWarningSound()
{
    return m_hooks.playWarning ? m_hooks.playWarning() : std::optional<int>(0);
}

void WindowRecorderView::stopWarningSound()
{
    if (m_hooks.stopWarning)
        m_hooks.stopWarning();
}

void WindowRecorderView::muteSpeakersWhileArmed(bool mute)
{
    if (m_hooks.muteSpeakers)
        m_hooks.muteSpeakers(mute);
}

void WindowRecorderView::setSpeakersAudible(bool audible)
{
    if (m_hooks.speakersAudible)
        m_hooks.speakersAudible(audible);
}
