#include "calendar/Ical.h"

#include "calendar/RawIcs.h"
#include "calendar/Store.h"
#include "calendar/Words.h"
#include "platform/ErrObject.h"
#include "platform/Locale.h"

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
        const qsizetype olson = id.indexOf("/Olson_");
        if (olson >= 0) {
            const qsizetype next = id.indexOf('/', olson + 1);
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

namespace {
// An RDATE period written without VALUE=PERIOD ("RDATE:20260105T100000/PT1H") is a period all
// the same to other readers; libical drops the whole property. Say what it is before parsing.
QByteArray MarkRdatePeriods(const QByteArray& text)
{
    if (!text.contains("RDATE") && !text.contains("rdate") && !text.contains("Rdate"))
        return text;
    QByteArray out;
    RawLines lines(text);
    RawLine line;
    qsizetype copied = 0;
    while (lines.Next(line)) {
        if (!NameIs(lines.Name(line), "RDATE"))
            continue;
        const QByteArray unfolded = lines.Unfolded(line);
        const qsizetype at = ValueStart(unfolded);
        if (at < 0 || !unfolded.mid(at).contains('/') || unfolded.left(at).toUpper().contains(";VALUE="))
            continue;
        if (out.isEmpty())
            out.reserve(text.size() + 64);
        out.append(text.constData() + copied, line.nameEnd - copied);
        out.append(";VALUE=PERIOD");
        copied = line.nameEnd;
    }
    if (copied == 0)
        return text;
    out.append(text.constData() + copied, text.size() - copied);
    return out;
}

// libical joins a long physical line piece by piece at a cost that grows with the square of its
// length (a 16 MB line takes it minutes), while folded lines it joins in linear time: fold every
// long line before parsing, which changes nothing in what it says.
QByteArray FoldLongLines(const QByteArray& text)
{
    constexpr qsizetype kLong = 4096, kPiece = 1024;
    const char* data = text.constData();
    const qsizetype size = text.size();
    bool any = false;
    for (qsizetype p = 0; p < size;) {
        const void* nl = std::memchr(data + p, '\n', size_t(size - p));
        const qsizetype end = nl ? static_cast<const char*>(nl) - data : size;
        if (end - p > kLong) {
            any = true;
            break;
        }
        p = end + 1;
    }
    if (!any)
        return text;
    QByteArray out;
    out.reserve(size + size / kPiece * 3 + 16);
    for (qsizetype p = 0; p < size;) {
        const void* nl = std::memchr(data + p, '\n', size_t(size - p));
        const qsizetype end = nl ? static_cast<const char*>(nl) - data + 1 : size;
        qsizetype q = p;
        while (end - q > kLong) {
            out.append(data + q, kPiece);
            out.append("\r\n ");
            q += kPiece;
        }
        out.append(data + q, end - q);
        p = end;
    }
    return out;
}

QByteArray UnescapeText(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char n = value[++i];
            out.append(n == 'n' || n == 'N' ? '\n' : n);
        } else {
            out.append(c);
        }
    }
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView StripBlanks(QByteArrayView v)
{
    while (!v.isEmpty() && IsBlank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && IsBlank(v.back()))
        v.chop(1);
    return v;
}

struct RawText {
    int component;      // the component's place in the text, counting every BEGIN
    icalproperty_kind kind;
    int nth;            // the how-manieth property of that kind in its component
    QByteArray value;   // unescaped, blanks as written
};

void Walk(icalcomponent* c, int& ordinal, const QList<RawText>& texts, qsizetype& next)
{
    const int mine = ordinal++;
    while (next < texts.size() && texts[next].component < mine)
        ++next;
    for (qsizetype i = next; i < texts.size() && texts[i].component == mine; ++i) {
        const RawText& t = texts[i];
        int n = 0;
        for (icalproperty* p = icalcomponent_get_first_property(c, t.kind); p;
             p = icalcomponent_get_next_property(c, t.kind), ++n) {
            if (n != t.nth)
                continue;
            icalvalue* v = icalproperty_get_value(p);
            // Only where libical read the same text without its blanks: anything else means
            // the two readings are not of the same line.
            if (v && icalvalue_isa(v) == ICAL_TEXT_VALUE) {
                const char* read = icalvalue_get_text(v);
                if (read && StripBlanks(t.value) == QByteArrayView(read))
                    icalvalue_set_text(v, t.value.constData());
            }
            break;
        }
    }
    for (icalcomponent* child = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        Walk(child, ordinal, texts, next);
}

// libical trims the blanks at both ends of a text; other programs keep them, and so do we.
void RestoreTextBlanks(const QByteArray& text, icalcomponent* root)
{
    QList<RawText> texts;
    RawLines lines(text);
    RawLine line;
    int ordinal = -1;
    QList<int> stack;
    QHash<QPair<int, int>, int> seen; // (component, kind) -> properties of that kind so far
    while (lines.Next(line)) {
        const QByteArrayView name = lines.Name(line);
        if (name.isEmpty())
            continue;
        if (NameIs(name, "BEGIN")) {
            stack.append(++ordinal);
            continue;
        }
        if (NameIs(name, "END")) {
            if (!stack.isEmpty())
                stack.removeLast();
            continue;
        }
        if (stack.isEmpty())
            continue;
        icalproperty_kind kind = ICAL_NO_PROPERTY;
        if (NameIs(name, "SUMMARY"))
            kind = ICAL_SUMMARY_PROPERTY;
        else if (NameIs(name, "DESCRIPTION"))
            kind = ICAL_DESCRIPTION_PROPERTY;
        else if (NameIs(name, "LOCATION"))
            kind = ICAL_LOCATION_PROPERTY;
        else
            continue;
        const int nth = seen[{stack.last(), int(kind)}]++;
        const QByteArray unfolded = lines.Unfolded(line);
        const qsizetype at = ValueStart(unfolded);
        if (at < 0 || at >= unfolded.size())
            continue;
        if (!IsBlank(unfolded[at]) && !IsBlank(unfolded.back()))
            continue;
        texts.append({stack.last(), kind, nth, UnescapeText(QByteArrayView(unfolded).sliced(at))});
    }
    if (texts.isEmpty())
        return;
    int walked = 0;
    qsizetype next = 0;
    if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT))
            Walk(c, walked, texts, next);
    } else {
        Walk(root, walked, texts, next);
    }
}
} // namespace

ComponentPtr ParseCalendar(const QByteArray& input, const QString& where)
{
    InitIcal();
    QByteArray text = input;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    if (!text.trimmed().startsWith("BEGIN:VCALENDAR") && !text.trimmed().toUpper().startsWith("BEGIN:VCALENDAR"))
        vb::Raise(ErrCalendar, Words(Message::NotIcalendar).arg(where));
    text = MarkRdatePeriods(FoldLongLines(text));
    ComponentPtr component(icalparser_parse_string(text.constData()));
    icalerror_clear_errno();
    if (!component)
        vb::Raise(ErrCalendar, Words(Message::NotIcalendarData).arg(where));
    RestoreTextBlanks(text, component.get());
    if (icalcomponent_isa(component.get()) == ICAL_XROOT_COMPONENT) {
        // Several calendars in one text: take the first.
        icalcomponent* first = icalcomponent_get_first_component(component.get(), ICAL_VCALENDAR_COMPONENT);
        if (!first)
            vb::Raise(ErrCalendar, Words(Message::NoVcalendar).arg(where));
        icalcomponent_remove_component(component.get(), first);
        component.reset(first);
    }
    if (icalcomponent_isa(component.get()) != ICAL_VCALENDAR_COMPONENT)
        vb::Raise(ErrCalendar, Words(Message::NoVcalendar).arg(where));
    return component;
}

namespace {
// libical's own notes (X-LIC-ERROR, X-LIC-LOCATION) are not ours to write into anyone's file.
void DropLibicalNotes(icalcomponent* c)
{
    std::vector<icalproperty*> notes;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        const char* name = kind == ICAL_X_PROPERTY ? icalproperty_get_x_name(p) : nullptr;
        if (kind == ICAL_XLICERROR_PROPERTY || kind == ICAL_XLICCLASS_PROPERTY || kind == ICAL_XLICCLUSTERCOUNT_PROPERTY ||
            kind == ICAL_XLICMIMECHARSET_PROPERTY || kind == ICAL_XLICMIMECID_PROPERTY ||
            kind == ICAL_XLICMIMECONTENTTYPE_PROPERTY || kind == ICAL_XLICMIMEENCODING_PROPERTY ||
            kind == ICAL_XLICMIMEFILENAME_PROPERTY || kind == ICAL_XLICMIMEOPTINFO_PROPERTY ||
            (name && qstrnicmp(name, "X-LIC-", 6) == 0))
            notes.push_back(p);
    }
    for (icalproperty* p : notes) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
    for (icalcomponent* child = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        DropLibicalNotes(child);
}
} // namespace

QByteArray Serialize(icalcomponent* component)
{
    DropLibicalNotes(component);
    char* text = icalcomponent_as_ical_string_r(component);
    QByteArray result(text);
    std::free(text); // NOLINT(cppcoreguidelines-no-malloc): libical hands the text over to us
    return result;
}

QByteArray VTimezoneId(icalcomponent* vtimezone)
{
    icalproperty* p = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY);
    return p ? QByteArray(icalproperty_get_tzid(p)) : QByteArray();
}

namespace {
// Real zones change their offset a few times a year at most (a rule of "the Sunday among
// these seven days" is one change). libical works out every change
// from a rule's first year on, so a rule that changes every minute since 1601 would take it
// hours and gigabytes: such a zone is refused before libical sees it.
constexpr int kZoneChangesPerYear = 60;
constexpr int kZoneDates = 2000;

int Count(const short* values, int size)
{
    int n = 0;
    while (n < size && values[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

// How many changes a year a rule gives at most, from its parts alone (stepping libical's
// iterator through a hostile rule can itself take very long).
bool RuleTooDense(icalproperty* rrule)
{
    const icalrecurrencetype rule = icalproperty_get_rrule(rrule);
    qint64 perYear = 0;
    switch (rule.freq) {
    case ICAL_NO_RECURRENCE: return false;
    case ICAL_YEARLY_RECURRENCE: perYear = 1; break;
    case ICAL_MONTHLY_RECURRENCE: perYear = 12; break;
    default: return true;
    }
    // Day parts narrow each other (BYDAY=SU with seven BYMONTHDAYs is one day a month): the
    // narrowest counts. Without BYMONTH a yearly rule with day parts runs through every month.
    const int days = Count(rule.by_day, ICAL_BY_DAY_SIZE);
    bool everyWeekday = false;
    for (int i = 0; i < days; ++i)
        everyWeekday = everyWeekday || icalrecurrencetype_day_position(rule.by_day[i]) == 0;
    qint64 perMonth = 0;
    auto narrow = [&perMonth](qint64 n) {
        if (n > 0)
            perMonth = perMonth ? std::min(perMonth, n) : n;
    };
    narrow(qint64(days) * (everyWeekday ? 5 : 1));
    narrow(Count(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE));
    const int yearDays = Count(rule.by_year_day, ICAL_BY_YEARDAY_SIZE);
    const int weeks = Count(rule.by_week_no, ICAL_BY_WEEKNO_SIZE);
    const int months = Count(rule.by_month, ICAL_BY_MONTH_SIZE);
    if (yearDays || weeks) {
        perYear = std::max(yearDays, weeks * 7);
    } else if (perMonth) {
        perYear = perMonth * (months ? months : 12);
    } else if (months && rule.freq == ICAL_YEARLY_RECURRENCE) {
        perYear = months;
    }
    perYear = std::max<qint64>(1, perYear / std::max<short>(rule.interval, 1));
    auto times = [&perYear](int n) { perYear *= std::max(n, 1); };
    times(Count(rule.by_hour, ICAL_BY_HOUR_SIZE));
    times(Count(rule.by_minute, ICAL_BY_MINUTE_SIZE));
    times(Count(rule.by_second, ICAL_BY_SECOND_SIZE));
    return perYear > kZoneChangesPerYear;
}
} // namespace

QByteArray UnusableZone(icalcomponent* vcalendar)
{
    for (icalcomponent* z = icalcomponent_get_first_component(vcalendar, ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(vcalendar, ICAL_VTIMEZONE_COMPONENT)) {
        int dates = 0;
        for (icalcomponent* o = icalcomponent_get_first_component(z, ICAL_ANY_COMPONENT); o;
             o = icalcomponent_get_next_component(z, ICAL_ANY_COMPONENT)) {
            dates += icalcomponent_count_properties(o, ICAL_RDATE_PROPERTY);
            for (icalproperty* r = icalcomponent_get_first_property(o, ICAL_RRULE_PROPERTY); r;
                 r = icalcomponent_get_next_property(o, ICAL_RRULE_PROPERTY))
                if (RuleTooDense(r))
                    return VTimezoneId(z).isEmpty() ? QByteArray("?") : VTimezoneId(z);
        }
        if (dates > kZoneDates)
            return VTimezoneId(z).isEmpty() ? QByteArray("?") : VTimezoneId(z);
    }
    return QByteArray();
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
    const QByteArray id = vb::LocalZoneId();
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
        *isDate = icaltime_is_date(t) != 0;
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
