#include "ui/WindowRecorderView.h"

#include "res/StringTable.h"
#include "store/RecordingEntry.h"
#include "ui/ControlIds.h"
#include "ui/LevelMeter.h"
#include "ui/MessagePresenter.h"
#include "ui/PlaybackControls.h"
#include "ui/RecorderLayout.h"
#include "ui/RecordingListView.h"
#include "ui/SaveRecordingDialog.h"
#include "ui/SkinButton.h"
#include "ui/SkinStatic.h"

#include <QColor>
#include <QLineEdit>
#include <QTreeWidget>

namespace {

// The display colours: grey while idle, the record red while a recording runs.
const QColor kIdleText(0xBE, 0xBE, 0xBE);
const QColor kRecordingText(0xD9, 0x3A, 0x3A);

} // namespace

WindowRecorderView::WindowRecorderView(RecorderLayout& layout, MessagePresenter& messages,
                                       QWidget* window, const Settings& settings,
                                       RecordingListView& listView, PlaybackControls& playback,
                                       std::function<void()> closeWindow)
    : m_layout(layout), m_messages(messages), m_window(window), m_settings(settings),
      m_listView(listView), m_closeWindow(std::move(closeWindow))
{
    m_playbackEnd = QObject::connect(&playback, &PlaybackControls::playingChanged, &playback,
                                     [this](RecordingEntry* playing) {
                                         if (!playing && m_inputLost)
                                             drawInputLost(true);
                                     });
}

WindowRecorderView::~WindowRecorderView()
{
    QObject::disconnect(m_playbackEnd);
}

std::optional<RecorderView::SaveAnswer>
WindowRecorderView::askRecordingName(const RecordingEntry& entry, const QString& temporaryFile,
                                     const SaveAnswer& proposed)
{
    SaveRecordingDialog dialog(proposed.name, proposed.notes, entry.folder, temporaryFile,
                               m_messages, m_settings.alternativePlaying, m_window);
    const int result = dialog.exec();
    // A log-out closed the dialog: nobody cancelled, so the recording is kept.
    if (m_unattended) {
        const QString typed = dialog.typedName();
        return SaveAnswer{typed.isEmpty() ? proposed.name : typed, dialog.typedNotes()};
    }
    if (result != QDialog::Accepted)
        return std::nullopt;
    return SaveAnswer{dialog.name(), dialog.notes()};
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
    if (m_closeWindow)
        m_closeWindow();
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

void WindowRecorderView::showDurationText(const RecordingEntry* recording, const QString& text)
{
    if (m_listView.currentRecording() != recording)
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
    m_layout.list()->setFocus();
}

void WindowRecorderView::insertRecordingRow(RecordingEntry& entry, RowImage image)
{
    m_listView.InsertRecordingRow(entry, static_cast<int>(image), 0);
}

void WindowRecorderView::updateRecordingRow(const QString& oldName, RecordingEntry& entry,
                                            RowImage image)
{
    m_listView.UpdateListRow(oldName, entry,
                             entry.inUse() ? static_cast<int>(image) : RecordingListView::ByRule);
}

void WindowRecorderView::removeRecordingRow(const QString& name)
{
    m_listView.RemoveRows({name});
}

void WindowRecorderView::reloadRecordingList()
{
    const RecordingEntry* current = m_listView.currentRecording();
    m_listView.FillRecordingList(current ? current->name : QString(), -1);
}

void WindowRecorderView::saveRecordingInfo()
{
    m_listView.SaveRecordingInfo();
}

void WindowRecorderView::updateRecordingControls()
{
    m_listView.UpdateRecordingControls();
}

void WindowRecorderView::showInputLost(bool lost)
{
    m_inputLost = lost;
    drawInputLost(lost);
}

void WindowRecorderView::drawInputLost(bool lost)
{
    SkinButton* status = m_layout.button(ControlId::StatusIcon);
    if (!status)
        return;
    const QString picture = lost ? QStringLiteral("MICLOST") : QStringLiteral("143");
    status->loadBitmaps(picture, picture, picture, picture);
    status->setTip(lost ? StringTable::text(503) : QString());
    status->update();
}
