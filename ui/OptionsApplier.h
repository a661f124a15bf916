#pragma once

#include "app/Settings.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class LevelMeter;
class PlaybackControls;
class RecorderController;
class RecordingList;
class RecordingListView;
class SettingsStore;
class QWidget;

/// Brings the options stored in the settings file into the running Recorder window, as after
/// the Options sheet closes: the window's settings, the level meter's threshold mark, the
/// window's title, the speakers, the capture and writer threads and the recording list.
///
/// Two changes wait for a moment when they can be made safely, and are then made by
/// themselves: a changed single-file choice while armed switches auto-recording off and on
/// again once no finishing round runs (a call being recorded is stopped and named as any
/// disarm does); a changed working folder waits until no recording is in progress (a
/// manual one, a call, the calls collected into one file), no round runs and no dialog or
/// menu is open, since the recording in progress belongs to the old folder's list and
/// temporary file. An armed recorder is then switched off, the list and the writer move to
/// the new folder, and it is armed again, so the next call is recorded there.
///
/// UI thread; everything it is given outlives it.
class OptionsApplier : public QObject {
    Q_OBJECT
public:
    /// The parts of the window the options reach. `folderRetryTimer` runs while the list is
    /// read-only because another program holds its folder; `closing` tells when the window
    /// has begun to close, after which nothing more is applied.
    struct Parts {
        SettingsStore& store;
        Settings& settings;
        RecorderController& controller;
        RecordingList& list;
        RecordingListView& listView;
        PlaybackControls& playback;
        LevelMeter& levelMeter;
        QWidget& window;
        QTimer& folderRetryTimer;
        std::function<bool()> closing;
    };
    /// How often a waiting change looks again whether it can be made, besides the recorder's
    /// own changes of mode and ends of rounds.
    static constexpr int kSettleIntervalMs = 250;

    explicit OptionsApplier(Parts parts);

    /// Reads the settings file once and applies every option it holds; nothing when it
    /// cannot be read. Applying unchanged values changes nothing.
    void applyStored();
    /// A working folder that waits to be taken (empty when none waits).
    const QString& pendingFolder() const { return m_pendingFolder; }

    /// The Recorder window's title: string 354, followed by the operator in brackets when
    /// there is one.
    static QString windowTitle(const QString& operatorName);

private:
    /// Makes the waiting changes that can be made now; the others go on waiting.
    void settle();
    void scheduleSettle();
    /// Nothing of the current list is held by a recording, a round, a dialog or a menu.
    bool folderChangeable() const;
    void changeFolder();

    Parts m_parts;
    QString m_pendingFolder;
    bool m_rearmPending = false;
    QTimer m_settleTimer;
};
