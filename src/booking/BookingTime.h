#pragma once
// Booking times as the database keeps them: local wall-clock text "yyyy-MM-dd HH:mm:ss",
// which sorts as it reads, and the duration classes that keep range queries logarithmic.
#include <QDateTime>
#include <QString>
#include <QStringView>

namespace booking::detail {

// Seconds of wall-clock time since a fixed day, ignoring daylight-saving shifts. Durations
// and range bounds are computed this way so that they agree with the order of the texts.
qint64 WallSeconds(const QDateTime& when);
QString WallText(qint64 wallSeconds);

// The stored text of a date-time. An invalid date-time raises 13; a year outside
// 1..9999 (which would not sort as text) raises 5.
QString TimeText(const QDateTime& when);
// Back from the stored text; an invalid QDateTime when the text is not in that form.
QDateTime TimeFromText(QStringView text);

// A booking of class k lasts at most 2^k minutes (class 0: up to one minute). A range query
// looks at class k only from 2^k minutes before the range, so every class costs one index
// seek however many bookings there are, and a rare year-long booking costs no more.
int DurationClass(qint64 seconds);
qint64 ClassSpanSeconds(int durationClass);
constexpr int kMaxDurationClass = 40;

} // namespace booking::detail
