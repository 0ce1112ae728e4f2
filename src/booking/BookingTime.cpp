#include "booking/BookingTime.h"
#include "booking/BookingErrors.h"

#include <cstdio>

namespace booking::detail {

namespace {
constexpr qint64 kDay = 86400;

int Digits(QStringView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}
} // namespace

qint64 WallSeconds(const QDateTime& when)
{
    return when.date().toJulianDay() * kDay + when.time().msecsSinceStartOfDay() / 1000;
}

QString WallText(qint64 wallSeconds)
{
    qint64 day = wallSeconds / kDay;
    qint64 rest = wallSeconds % kDay;
    if (rest < 0) {
        rest += kDay;
        --day;
    }
    const QDate date = QDate::fromJulianDay(day);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                  int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    return QString::fromLatin1(buffer);
}

QString TimeText(const QDateTime& when)
{
    if (!when.isValid())
        vb::Raise(vb::ErrTypeMismatch, texts::NotADate(QStringLiteral("en bokningstid")));
    const int year = when.date().year();
    if (year < 1 || year > 9999)
        vb::Raise(vb::ErrInvalidProcedureCall, texts::YearOutOfRange(year));
    return WallText(WallSeconds(when));
}

QDateTime TimeFromText(QStringView text)
{
    if (text.size() != 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u' ' || text[13] != u':' ||
        text[16] != u':')
        return QDateTime();
    const QDate date(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2));
    const QTime time(Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

int DurationClass(qint64 seconds)
{
    int k = 0;
    while (k < kMaxDurationClass && ClassSpanSeconds(k) < seconds)
        ++k;
    return k;
}

qint64 ClassSpanSeconds(int durationClass)
{
    return qint64(60) << durationClass;
}

} // namespace booking::detail
