#pragma once

#include "app/Settings.h"
#include "control/RecorderView.h"

#include <QMetaObject>

#include <functional>

class MessagePresenter;
class PlaybackControls;
class QWidget;
class RecorderLayout;
class RecordingListView;

/// The Recorder window's side of the recording logic: transport looks, clock, level meter and
/// messages on the window's own controls, the rows on its RecordingListView, the save dialog
/// over the window. UI thread; lives as long as the window, and its list view, playback
/// controls and settings outlive it.
class WindowRecorderView : public RecorderView {
public:
    /// `closeWindow` is called after a fatal error's message and ends the window from the event
    /// loop, once the recorder has finished reporting; the save dialog plays with `settings`'
    /// playing method.
    WindowRecorderView(RecorderLayout& layout, MessagePresenter& messages, QWidget* window,
                       const Settings& settings, RecordingListView& listView,
                       PlaybackControls& playback, std::function<void()> closeWindow);
    ~WindowRecorderView() override;
    WindowRecorderView(const WindowRecorderView&) = delete;
    WindowRecorderView& operator=(const WindowRecorderView&) = delete;

    /// Nobody answers any more (a log-out, a termination signal): recordings keep their
    /// default names, and an open save dialog that is closed keeps the name typed so far.
    void setUnattended() { m_unattended = true; }

    std::optional<SaveAnswer> askRecordingName(const RecordingEntry& entry,
                                               const QString& temporaryFile,
                                               const SaveAnswer& proposed) override;
    bool attended() const override { return !m_unattended; }
    void reportMessage(int stringId, const QString& argument, Severity severity) override;
    void reportFatal(int stringId) override;

    void setButtonLook(Button button, Look look) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setAutoRecordTooltip(int stringId) override;
    void showArmedIndicators(bool shown) override;
    void showClock(const QString& minutes, const QString& seconds, const QString& label,
                   bool recordingColour) override;
    /// The duration field (1210), while the property fields show `recording`, so that the
    /// running time never stands in another recording's field.
    void showDurationText(const RecordingEntry* recording, const QString& text) override;
    void showLevel(int peak) override;
    void showThreshold(int threshold) override;
    void focusRecordingList() override;

    void insertRecordingRow(RecordingEntry& entry, RowImage image) override;
    void updateRecordingRow(const QString& oldName, RecordingEntry& entry, RowImage image) override;
    void removeRecordingRow(const QString& name) override;
    void reloadRecordingList() override;
    void saveRecordingInfo() override;
    void updateRecordingControls() override;
    /// The status picture "MICLOST" with its tooltip; a playback's end puts its armed picture
    /// back, so the loss is drawn again then while it lasts.
    void showInputLost(bool lost) override;

private:
    void drawInputLost(bool lost);

    RecorderLayout& m_layout;
    MessagePresenter& m_messages;
    QWidget* m_window;
    const Settings& m_settings;
    RecordingListView& m_listView;
    std::function<void()> m_closeWindow;
    QMetaObject::Connection m_playbackEnd;
    bool m_unattended = false;
    bool m_inputLost = false;
};
