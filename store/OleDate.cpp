#include "store/OleDate.h"

#include <cmath>

namespace {

const QDate kEpoch(1899, 12, 30);

} // namespace

double OleDate::fromDateTime(const QDateTime& dateTime)
{
    const qint64 days = kEpoch.daysTo(dateTime.date());
    const QTime time = dateTime.time();
    const int seconds = time.hour() * 3600 + time.minute() * 60 + time.second();
    return static_cast<double>(days) + seconds / kSecondsPerDay;
}

QDateTime OleDate::toDateTime(double oleDate)
{
    // Beyond these bounds QDate cannot hold the day, and a damaged index may hold anything.
    if (!std::isfinite(oleDate) || oleDate < -657434.0 || oleDate > 2958466.0)
        return {};
    double days = std::floor(oleDate);
    qint64 seconds = std::llround((oleDate - days) * kSecondsPerDay);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QDate date = kEpoch.addDays(static_cast<qint64>(days));
    return QDateTime(date, QTime(0, 0).addSecs(static_cast<int>(seconds)));
}

double OleDate::now()
{
    return fromDateTime(QDateTime::currentDateTime());
}

qint64 OleDate::toSeconds(double span)
{
    if (!std::isfinite(span) || span < 0)
        return -1;
    if (span > 1e9)
        return static_cast<qint64>(1e9 * kSecondsPerDay);
    return std::llround(span * kSecondsPerDay);
}

QString OleDate::durationText(double span)
{
    const qint64 seconds = toSeconds(span);
    if (seconds < 0)
        return QStringLiteral("--:--");
    return clockText(seconds);
}

QString OleDate::clockText(qint64 seconds)
{
    return QString::asprintf("%02lld:%02lld", seconds / 60, seconds % 60);
}
