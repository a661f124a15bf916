#pragma once

#include <QString>

#include <optional>

struct RecordingEntry;

/// What the recording logic needs from the window it drives: show the transport looks, the
/// clock, the level and the rows of the list, ask for a recording's name and report messages.
/// The sounds and the playback are the controller's other ports (WarningSound, SpeakerGuard,
/// PlaybackPort). The Recorder window implements it with its widgets, parlunectl for the
/// terminal, the tests with a script.
/// Lifecycle: outlives the RecorderController given it. Every call comes on the UI thread.
/// Display calls have empty defaults, so a view without a display simply ignores them; the
/// questions and reports must be answered.
class RecorderView {
public:
    /// The transport buttons, by their control ids.
    enum class Button { Record = 1011, Stop = 1013, Pause = 1015, AutoRecord = 1019, Play = 1022 };
    /// The looks a transport button takes; the window maps each to its four bitmaps.
    enum class Look {
        RecordIdle,  ///< "REGISTRAU", "REGISTRAD", "REGISTRAF", "REGISTRAX"
        RecordLit,   ///< "REGISTRADD" in all four states
        AutoIdle,    ///< "REG_AUTOU", "REG_AUTOD", "REG_AUTOF", "REG_AUTOX"
        AutoArmed,   ///< bitmap 230 in all four states
        PauseNormal, ///< "PAUSAU", "PAUSAD", "PAUSAF", "PAUSAX"
        PlayIdle,    ///< "PLAYRECU", "PLAYRECD", "PLAYRECF", "PLAYRECX"
    };
    /// The image of a recording's row.
    enum class RowImage { Recording = 1, Saved = 2, Collecting = 3 };
    enum class Severity { Information, Warning, Error };
    /// The save dialog's answer.
    struct SaveAnswer {
        QString name;
        QString notes;
    };

    virtual ~RecorderView() = default;

    /// The save-recording dialog for `entry`, whose audio is in `temporaryFile` (the dialog may
    /// play it), opened with `proposed` in its fields (the entry's name and notes, or what the
    /// user typed before a name was refused): the name and notes to save it under, or nullopt
    /// when the user cancelled. The controller checks the name and renames the file; after a
    /// refused name it reports the message and asks again, as long as it takes. Only called
    /// while attended().
    virtual std::optional<SaveAnswer> askRecordingName(const RecordingEntry& entry,
                                                       const QString& temporaryFile,
                                                       const SaveAnswer& proposed) = 0;
    /// False when nobody can answer a question now (a terminal, a log-out): recordings are
    /// then kept under their default names without asking.
    virtual bool attended() const { return true; }
    /// A message box: string `stringId` with "%s" replaced by `argument`.
    virtual void reportMessage(int stringId, const QString& argument, Severity severity) = 0;
    /// The recorder cannot work at all (string 24 or 22): show it and close the window.
    virtual void reportFatal(int stringId) = 0;

    virtual void setButtonLook(Button, Look) {}
    virtual void setButtonEnabled(Button, bool) {}
    virtual void setAutoRecordTooltip(int /*stringId*/) {}
    /// The status button (bitmap 143) and the level meter, shown while armed.
    virtual void showArmedIndicators(bool /*shown*/) {}
    /// The minutes, seconds and recording label displays, in the recording or idle colour.
    virtual void showClock(const QString& /*minutes*/, const QString& /*seconds*/,
                           const QString& /*label*/, bool /*recordingColour*/)
    {}
    /// The duration field under the list ("Duration: 01:05") of `recording`, the recording in
    /// progress (may be null); a view showing another recording's fields leaves them alone.
    virtual void showDurationText(const RecordingEntry* /*recording*/, const QString& /*text*/) {}
    /// The level meter: a peak 0..32767, and its threshold mark.
    virtual void showLevel(int /*peak*/) {}
    virtual void showThreshold(int /*threshold*/) {}
    virtual void focusRecordingList() {}

    /// A new row at the top of the list for `entry`, selected alone, its name and notes in the
    /// property fields.
    virtual void insertRecordingRow(RecordingEntry&, RowImage) {}
    /// Rewrites the row shown as `oldName` with `entry`.
    virtual void updateRecordingRow(const QString& /*oldName*/, RecordingEntry&, RowImage) {}
    /// Removes the row of `name` and selects the one that took its place.
    virtual void removeRecordingRow(const QString& /*name*/) {}
    /// The list was loaded again from the folder: show it all again.
    virtual void reloadRecordingList() {}
    /// Takes the edited name and notes of the current recording into its entry, when that
    /// entry is being recorded.
    virtual void saveRecordingInfo() {}
    virtual void updateRecordingControls() {}

    /// While armed: the sound input is lost (true) and being reconnected, or back (false). The
    /// loss stays shown until then, whatever else draws over it meanwhile.
    virtual void showInputLost(bool /*lost*/) {}
};
