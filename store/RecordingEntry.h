#pragma once

#include "store/OleDate.h"

#include <QString>

#include <cstdint>

/// One recording of the working folder: the file folder + name + ".mp3". Owned by the
/// RecordingList; its tag mapping is in EntryTags, its index record in RecordingIndex.
struct RecordingEntry {
    /// `state` values.
    enum State { Saved = 0, Modified = 1, Recording = 2, Collecting = 3 };
    /// `deleted` value of an index record marked deleted.
    static constexpr int kRecordDeleted = 1;
    static constexpr int kScanned = 2;

    QString name;                           ///< the file's base name, without folder and ".mp3"
    double startTime = 0;                   ///< OLE date
    double duration = OleDate::kNoDuration; ///< span in days; kNoDuration = not measured
    uint32_t fileSize = 0;                  ///< bytes
    QString notes;
    bool isProtected = false;
    bool seenOnDisk = false; ///< transient, while the index is reconciled
    QString keyWord;         ///< memory only: the key word last typed, or a marker
    QString folder;          ///< ends with "/"
    QString genre;
    QString artist;
    QString operatorName;
    int deleted = 0;          ///< 1: its index record is marked deleted
    uint32_t indexOffset = 0; ///< offset of its record in "Index.txt"
    int state = Saved;
    uint32_t tagSize = 0; ///< the tag header's size value = offset of the audio

    /// folder + name + ".mp3"
    QString filePath() const { return folder + name + QStringLiteral(".mp3"); }
    /// True while it is being recorded (its file does not exist under its name yet).
    bool inUse() const { return state == Recording || state == Collecting; }
};
