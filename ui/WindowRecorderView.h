#pragma once

#include "control/RecorderView.h"

#include <functional>

class MessagePresenter;
class QWidget;
class RecorderLayout;

/// The Recorder window's side of the recording logic: transport looks, clock, level meter and
/// messages on the window's own controls; the list rows, the save dialog and the player are
/// reached through hooks the window sets (each may stay empty). UI thread; lives as long as the
/// window.
class WindowRecorderView : public RecorderView {
public:
    using NameAsker = std::function<std::optional<SaveAnswer>(const RecordingEntry&, const QString&,
                                                              const SaveAnswer&)>;
    struct Hooks {
        NameAsker askName;
        std::function<bool()> attended;       ///< empty: always attended
        std::function<bool()> playbackPaused; ///< empty: never paused
        std::function<void()> fatal;          ///< the window closes after the message
        std::function<void(RecordingEntry&, RowImage)> insertRow;
        std::function<void(const QString&, RecordingEntry&, RowImage)> updateRow;
        std::function<void(const QString&)> removeRow;
        std::function<void()> reloadList;
        std::function<void()> saveRecordingInfo;
        std::function<void()> updateControls;
        std::function<void()> stopPlayback;
        std::function<void()> focusList;
        std::function<std::optional<int>()> playWarning;
        std::function<void()> stopWarning;
        std::function<void(bool)> muteSpeakers;
        std::function<void(bool)> speakersAudible;
        /// The property fields show the recording in progress (empty: always), so that the
        /// running time never stands in another recording's duration field.
        std::function<bool()> showsRecordingInProgress;
    };

    WindowRecorderView(RecorderLayout& layout, MessagePresenter& messages, QWidget* window);
    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    std::optional<SaveAnswer> askRecordingName(const RecordingEntry& entry,
                                               const QString& temporaryFile,
                                               const SaveAnswer& proposed) override;
    bool attended() const override;
    void reportMessage(int stringId, const QString& argument, Severity severity) override;
    void reportFatal(int stringId) override;

    void setButtonLook(Button button, Look look) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setAutoRecordTooltip(int stringId) override;
    void showArmedIndicators(bool shown) override;
    void showClock(const QString& minutes, const QString& seconds, const QString& label,
                   bool recordingColour) override;
    /// The duration field (1210), while it shows the recording in progress.
    void showDurationText(const QString& text) override;
    void showLevel(int peak) override;
    void showThreshold(int threshold) override;
    void focusRecordingList() override;

    void insertRecordingRow(RecordingEntry& entry, RowImage image) override;
    void updateRecordingRow(const QString& oldName, RecordingEntry& entry, RowImage image) override;
    void removeRecordingRow(const QString& name) override;
    void reloadRecordingList() override;
    void saveRecordingInfo() override;
    void updateRecordingControls() override;
    void stopPlayback() override;
    bool playbackPaused() const override;
    void showInputLost(bool lost) override;
    std::optional<int> playWarningSound() override;
    void stopWarningSound() override;
    void muteSpeakersWhileArmed(bool mute) override;
    void setSpeakersAudible(bool audible) override;

private:
    RecorderLayout& m_layout;
    MessagePresenter& m_messages;
    QWidget* m_window;
    Hooks m_hooks;
};
