#pragma once

#include <QString>

#include <optional>

/// The playing time of the MPEG audio of a file, measured by scanning every frame with
/// libmpg123 through a buffered reader. Any thread; no shared state.
class MpegDuration {
public:
    /// Milliseconds of the MPEG stream that starts at `audioOffset` in `path`, or nullopt when
    /// the file cannot be opened or holds no MPEG audio there.
    static std::optional<long long> milliseconds(const QString& path, long long audioOffset);
};
