#include "calendar/Ical.h"

#include "calendar/Store.h"
#include "platform/ErrObject.h"

#include <QHash>
#include <QMutex>
#include <QTimeZone>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace cal::detail {

namespace {
QMutex g_zoneMutex;
QHash<QByteArray, icaltimezone*> g_zones; // by database name; libical owns them

QByteArray StripLibicalPrefix(const char* tzid)
{
    // libical writes "/freeassociation.sourceforge.net/Europe/Stockholm" and older versions
    // "/softwarestudio.org/Olson_20011030_5/Europe/Stockholm": keep the part after the prefix.
    QByteArray id(tzid);
    if (id.startsWith('/')) {
        static const char* prefixes[] = {"/freeassociation.sourceforge.net/", "/citadel.org/"};
        for (const char* p : prefixes)
            if (id.startsWith(p))
                return id.mid(qsizetype(std::strlen(p)));
        const int olson = id.indexOf("/Olson_");
        if (olson >= 0) {
            const int next = id.indexOf('/', olson + 1);
            if (next > 0)
                return id.mid(next + 1);
        }
    }
    return id;
}
} // namespace

void InitIcal()
{
    static const bool done = [] {
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)done;
}

QString FromUtf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

ComponentPtr ParseCalendar(const QByteArray& input, const QString& where)
{
    InitIcal();
    QByteArray text = input;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    if (!text.trimmed().startsWith("BEGIN:VCALENDAR") && !text.trimmed().toUpper().startsWith("BEGIN:VCALENDAR"))
        vb::Raise(ErrCalendar, QStringLiteral("%1 is not an iCalendar file (it does not begin with BEGIN:VCALENDAR)").arg(where));
    ComponentPtr component(icalparser_parse_string(text.constData()));
    icalerror_clear_errno();
    if (!component)
        vb::Raise(ErrCalendar, QStringLiteral("%1 could not be read as iCalendar data").arg(where));
    if (icalcomponent_isa(component.get()) == ICAL_XROOT_COMPONENT) {
        // Several calendars in one text: take the first.
        icalcomponent* first = icalcomponent_get_first_component(component.get(), ICAL_VCALENDAR_COMPONENT);
        if (!first)
            vb::Raise(ErrCalendar, QStringLiteral("%1 holds no VCALENDAR").arg(where));
        icalcomponent_remove_component(component.get(), first);
        component.reset(first);
    }
    if (icalcomponent_isa(component.get()) != ICAL_VCALENDAR_COMPONENT)
        vb::Raise(ErrCalendar, QStringLiteral("%1 holds no VCALENDAR").arg(where));
    return component;
}

QByteArray Serialize(icalcomponent* component)
{
    char* text = icalcomponent_as_ical_string_r(component);
    QByteArray result(text);
    std::free(text);
    return result;
}

QByteArray VTimezoneId(icalcomponent* vtimezone)
{
    icalproperty* p = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY);
    return p ? QByteArray(icalproperty_get_tzid(p)) : QByteArray();
}

icaltimezone* BuiltinZone(const QByteArray& key)
{
    if (key.isEmpty())
        return nullptr;
    QMutexLocker lock(&g_zoneMutex);
    auto it = g_zones.constFind(key);
    if (it != g_zones.constEnd())
        return it.value();
    InitIcal();
    icaltimezone* zone = nullptr;
    if (key == "UTC" || key == "Etc/UTC" || key == "Z")
        zone = icaltimezone_get_utc_timezone();
    else
        zone = icaltimezone_get_builtin_timezone(key.constData());
    icalerror_clear_errno();
    g_zones.insert(key, zone);
    return zone;
}

icaltimezone* ResolveZone(icalcomponent* vcalendar, const char* tzid, QByteArray* key)
{
    if (key)
        key->clear();
    if (!tzid || !*tzid)
        return nullptr;
    const QByteArray name = StripLibicalPrefix(tzid);
    if (icaltimezone* zone = BuiltinZone(name)) {
        if (key)
            *key = name;
        return zone;
    }
    const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(name);
    if (!iana.isEmpty()) {
        if (icaltimezone* zone = BuiltinZone(iana)) {
            if (key)
                *key = iana;
            return zone;
        }
    }
    if (vcalendar) {
        icaltimezone* zone = icalcomponent_get_timezone(vcalendar, tzid);
        icalerror_clear_errno();
        if (zone)
            return zone;
    }
    return nullptr;
}

icaltimezone* SystemZone(QByteArray* key)
{
    const QByteArray id = QTimeZone::systemTimeZoneId();
    icaltimezone* zone = BuiltinZone(id);
    if (!zone) {
        const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(id);
        zone = BuiltinZone(iana);
        if (zone && key)
            *key = iana;
    } else if (key) {
        *key = id;
    }
    return zone;
}

icalcomponent* VTimezoneFor(const QByteArray& key, int fromYear)
{
    icaltimezone* zone = BuiltinZone(key);
    if (!zone || zone == icaltimezone_get_utc_timezone())
        return nullptr;
    icalcomponent* vtz = icalcomponent_new_clone(icaltimezone_get_component(zone));
    icaltimetype from = icaltime_null_time();
    from.year = fromYear;
    from.month = 1;
    from.day = 1;
    icaltimezone_truncate_vtimezone(vtz, from, icaltime_null_time(), 1);
    icalproperty* id = icalcomponent_get_first_property(vtz, ICAL_TZID_PROPERTY);
    if (id)
        icalproperty_set_tzid(id, key.constData());
    return vtz;
}

qint64 UtcOf(const icaltimetype& t, icaltimezone* zone)
{
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return kNoTime;
    if (icaltime_is_utc(t))
        return qint64(icaltime_as_timet(t));
    icaltimezone* z = zone ? zone : SystemZone();
    if (!z)
        z = icaltimezone_get_utc_timezone();
    icaltimetype local = t;
    if (icaltime_is_date(local)) {
        local.is_date = 0;
        local.hour = local.minute = local.second = 0;
    }
    return qint64(icaltime_as_timet_with_zone(local, z));
}

icaltimetype TimeIn(qint64 utc, icaltimezone* zone, bool isDate)
{
    icaltimezone* z = zone ? zone : icaltimezone_get_utc_timezone();
    icaltimetype t = icaltime_from_timet_with_zone(time_t(utc), 0, z);
    if (isDate) {
        t.is_date = 1;
        t.hour = t.minute = t.second = 0;
    }
    return t;
}

qint64 TimeOf(icalcomponent* vcalendar, icalproperty* property, bool* isDate, QByteArray* zoneKey, icaltimezone** zoneOut)
{
    if (isDate)
        *isDate = false;
    if (zoneKey)
        zoneKey->clear();
    if (zoneOut)
        *zoneOut = nullptr;
    if (!property)
        return kNoTime;
    icalvalue* value = icalproperty_get_value(property);
    if (!value)
        return kNoTime;
    const icalvalue_kind kind = icalvalue_isa(value);
    icaltimetype t;
    if (kind == ICAL_DATETIME_VALUE || kind == ICAL_DATE_VALUE)
        t = icalvalue_get_datetime(value);
    else if (kind == ICAL_DATETIMEPERIOD_VALUE) {
        const icaldatetimeperiodtype dp = icalvalue_get_datetimeperiod(value);
        t = icaltime_is_null_time(dp.time) ? dp.period.start : dp.time;
    } else if (kind == ICAL_PERIOD_VALUE)
        t = icalvalue_get_period(value).start;
    else
        return kNoTime;
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return kNoTime;
    if (isDate)
        *isDate = icaltime_is_date(t);
    icaltimezone* zone = nullptr;
    if (!icaltime_is_utc(t) && !icaltime_is_date(t)) {
        icalparameter* p = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
        if (p)
            zone = ResolveZone(vcalendar, icalparameter_get_tzid(p), zoneKey);
    }
    if (zoneOut)
        *zoneOut = zone;
    return UtcOf(t, zone);
}

bool DurationSeconds(const icaldurationtype& d, qint64* seconds)
{
    if (icaldurationtype_is_bad_duration(d))
        return false;
    // Anything beyond about three centuries is not a calendar item's length.
    constexpr qint64 limit = qint64(300) * 366 * 86400;
    const qint64 weeks = d.weeks, days = d.days, hours = d.hours, minutes = d.minutes, secs = d.seconds;
    if (weeks > limit / 604800 || days > limit / 86400 || hours > limit / 3600 || minutes > limit / 60 || secs > limit)
        return false;
    qint64 total = weeks * 604800 + days * 86400 + hours * 3600 + minutes * 60 + secs;
    if (total > limit)
        return false;
    *seconds = d.is_neg ? -total : total;
    return true;
}

} // namespace cal::detail
