#pragma once

#include "control/RecorderMode.h"

#include <QString>

#include <vector>

/// One line of the notification-area menu: a command or, with command 0, a separator.
struct TrayMenuItem {
    int command = 0;
    int stringId = 0;
    bool enabled = false;
    /// The mark of the item; it chooses which of the item's two pictures is shown.
    bool marked = false;
    /// The item's picture, 0 for none.
    int pictureId = 0;

    friend bool operator==(const TrayMenuItem&, const TrayMenuItem&) = default;
};

/// What the notification-area icon and its menu show for a recorder mode. No widgets.
class TrayMenuRules {
public:
    static constexpr int kOpen = 32772;
    static constexpr int kAutoRecording = 32773;
    static constexpr int kNewRecording = 32774;
    static constexpr int kStop = 32775;
    static constexpr int kExit = 32776;
    static constexpr int kOptions = 32777;

    /// The menu's lines in order for `mode`. Without recording features nothing can record, so
    /// auto-recording, new recording and stop are greyed.
    static std::vector<TrayMenuItem> items(RecorderMode mode, bool recordingFeatures);
    /// The icon for `mode`: 271 idle or without recording features, 242 recording by hand, 241
    /// armed, 324 recording a call.
    static int iconId(RecorderMode mode, bool recordingFeatures);
    /// The resource path of picture or icon `id`.
    static QString picturePath(int id);
};
