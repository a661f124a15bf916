#pragma once

#include <QDateTime>

/// Date-times and durations as OLE Automation dates: days since 30 December 1899 00:00, the
/// fraction being the time of day. This is the form the index file stores. Local time, as a
/// desk clock shows it.
class OleDate {
public:
    /// The value of "not measured yet" for a duration.
    static constexpr double kNoDuration = -1.0;
    static constexpr double kSecondsPerDay = 86400.0;

    /// The OLE date of a local date-time (milliseconds are dropped).
    static double fromDateTime(const QDateTime& dateTime);
    /// The local date-time of an OLE date, to the second; invalid for values out of range.
    static QDateTime toDateTime(double oleDate);
    /// The current local time as an OLE date, to the second.
    static double now();
    /// A duration of `seconds` as a span in days.
    static double fromSeconds(qint64 seconds)
    {
        return static_cast<double>(seconds) / kSecondsPerDay;
    }
    /// The whole seconds of a span (rounded to the nearest second; negative spans give -1).
    static qint64 toSeconds(double span);
    /// "%02d:%02d": minutes (hours included) and seconds of a span, or "--:--" when unknown.
    static QString durationText(double span);
    /// "mm:ss" of `seconds` (whole hours counted in the minutes).
    static QString clockText(qint64 seconds);
};
