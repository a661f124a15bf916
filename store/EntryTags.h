#pragma once

#include "store/Id3Tag.h"

#include <QString>

#include <vector>

struct RecordingEntry;

/// Moves a recording's properties between its RecordingEntry and the tag of its file.
/// UI thread (or a tool's main thread); CalcolaDurata on any thread.
class EntryTags {
public:
    /// The eleven frames of `entry`'s tag, in the order they are written (an invalid start
    /// time stands as now).
    static std::vector<Id3Tag::Frame> entryFrames(const RecordingEntry& entry);
    /// Writes the eleven frames of `entry` (in their fixed order, nothing else kept) in front of
    /// the audio of entry.filePath(). On success sets `tagSize` and `state` = Saved.
    static bool WriteEntryTag(RecordingEntry& entry);
    /// Fills `entry` from the tag of the file at `path` (whose folder is `folder`), repairing
    /// missing or bad frames in the entry (`state` = Modified; the tag is written later).
    /// Returns true when a tag was read; false when the file had none, in which case a complete
    /// tag has just been written in front of its audio when `mayWrite` (else the entry stays
    /// Modified). With `computeDuration`, or when the tag tells no duration and
    /// `measureUnknown`, the duration is measured from the audio (else it stays kNoDuration).
    static bool LoadEntryFromFile(const QString& path, RecordingEntry& entry, const QString& folder,
                                  bool computeDuration, bool mayWrite = true,
                                  bool measureUnknown = true);
    /// The duration of the audio of `path` behind a tag of `tagSize` bytes (0: as the file's
    /// header says), as a span in days truncated to whole seconds; 0 when it cannot be measured.
    static double CalcolaDurata(const QString& path, uint32_t tagSize);
    /// The size of folder + name + ".mp3" (low 32 bits), 0 when missing.
    static uint32_t listedSize(const QString& path);

    static QString defaultGenre() { return QStringLiteral("(24)Soundtrack"); }
    static QString defaultArtist() { return QStringLiteral("Parlune"); }
};
