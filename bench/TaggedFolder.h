#pragma once

#include <QString>

/// Folders of tagged recordings for the benchmarks: each file a tag as the program writes it
/// (a name, date and notes of its own, a length of one second) before a few silent frames.
class TaggedFolder {
public:
    /// Writes `count` recordings into `folder` (created); false when a file cannot be written.
    static bool make(const QString& folder, int count);
};
