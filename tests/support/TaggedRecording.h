#pragma once

#include "store/RecordingEntry.h"

#include <QByteArray>
#include <QString>

/// Recordings for tests: real audio behind a tag written from the entry, as the program
/// writes them.
class TaggedRecording {
public:
    /// An entry named `name` in `folder` (ending with "/"), started at the OLE date `start`,
    /// with the genre and artist every recording carries; nothing is written.
    static RecordingEntry entry(const QString& folder, const QString& name, double start);
    /// Writes `audio` as `entry`'s file and its tag; an unmeasured duration is measured from
    /// the audio first. False when a write failed.
    static bool write(RecordingEntry& entry, const QByteArray& audio);
};
