// The summary of an item from its text alone. Opening a large calendar without its cache reads
// every file, and libical's parser (a component, a property, a value and a parameter allocated
// for each line) costs about ten times what the few properties a summary needs cost to find.
// This reads those properties of the usual shape and gives up on anything else, so that the full
// parse, which is always right, decides every case this reading is not sure of.
#include "calendar/Model.h"
#include "calendar/RawIcs.h"

#include <QHash>
#include <QMutex>

#include <cstring>

namespace cal::detail {

namespace {
bool IsUpperAscii(QByteArrayView v, const char* upper)
{
    return v == QByteArrayView(upper);
}

// A value as libical keeps it for a text: escapes undone. False for an escape libical reads
// in a way of its own, a control character, blanks at either end (libical trims them, then
// they are put back only where the line is certain), or an empty value.
bool PlainText(QByteArrayView v, QByteArray* out)
{
    if (v.isEmpty() || v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t')
        return false;
    out->clear();
    out->reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const auto c = static_cast<unsigned char>(v[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c != '\\') {
            out->append(char(c));
            continue;
        }
        if (++i >= v.size())
            return false;
        switch (v[i]) {
        case 'n':
        case 'N': out->append('\n'); break;
        case '\\':
        case ';':
        case ',': out->append(v[i]); break;
        default: return false;
        }
    }
    return true;
}

// UTF-8 as QString reads it; false for bytes that are not UTF-8 (the parser's reading of those
// is its own).
bool Utf8(const QByteArray& bytes, QString* out)
{
    *out = QString::fromUtf8(bytes);
    return !out->contains(QChar::ReplacementCharacter) || bytes.contains("\xEF\xBF\xBD");
}

bool Number(QByteArrayView v, qsizetype at, int digits, int* out)
{
    int n = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = v[at + i];
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    *out = n;
    return true;
}

// A time property's value and the two parameters it may have.
struct TimeValue {
    bool present = false;
    icaltimetype time = icaltime_null_time();
    QByteArray tzid;
};

bool ParseTimeValue(QByteArrayView value, bool date, TimeValue* out)
{
    icaltimetype t = icaltime_null_time();
    if (date) {
        if (value.size() != 8)
            return false;
    } else if (value.size() != 15 && !(value.size() == 16 && value[15] == 'Z')) {
        return false;
    }
    if (!Number(value, 0, 4, &t.year) || !Number(value, 4, 2, &t.month) || !Number(value, 6, 2, &t.day))
        return false;
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31)
        return false;
    if (date) {
        t.is_date = 1;
    } else {
        if (value[8] != 'T' || !Number(value, 9, 2, &t.hour) || !Number(value, 11, 2, &t.minute) ||
            !Number(value, 13, 2, &t.second))
            return false;
        if (t.hour > 23 || t.minute > 59 || t.second > 59)
            return false;
        if (value.size() == 16)
            t.zone = icaltimezone_get_utc_timezone();
    }
    if (t.day > icaltime_days_in_month(t.month, t.year))
        return false;
    out->time = t;
    out->present = true;
    return true;
}

// [+-]P then weeks alone, or days and/or a time part.
bool ParseDuration(QByteArrayView v, icaldurationtype* out)
{
    icaldurationtype d = icaldurationtype_null_duration();
    qsizetype i = 0;
    if (i < v.size() && (v[i] == '+' || v[i] == '-'))
        d.is_neg = v[i++] == '-' ? 1 : 0;
    if (i >= v.size() || v[i++] != 'P')
        return false;
    bool inTime = false, any = false, timeAny = false, weeks = false;
    char last = 0; // the last designator, to keep their order
    static const char kOrder[] = "WDHMS";
    while (i < v.size()) {
        if (v[i] == 'T') {
            if (inTime)
                return false;
            inTime = true;
            ++i;
            continue;
        }
        qsizetype digits = 0;
        unsigned n = 0;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
            if (++digits > 9)
                return false;
            n = n * 10 + unsigned(v[i++] - '0');
        }
        if (digits == 0 || i >= v.size())
            return false;
        const char unit = v[i++];
        const char* at = std::strchr(kOrder, unit);
        if (!unit || !at || (last && at <= std::strchr(kOrder, last)))
            return false;
        const bool timeUnit = unit == 'H' || unit == 'M' || unit == 'S';
        if (timeUnit != inTime)
            return false;
        switch (unit) {
        case 'W': d.weeks = n; weeks = true; break;
        case 'D': d.days = n; break;
        case 'H': d.hours = n; break;
        case 'M': d.minutes = n; break;
        case 'S': d.seconds = n; break;
        }
        last = unit;
        any = true;
        timeAny = timeAny || timeUnit;
    }
    if (!any || (inTime && !timeAny) || (weeks && last != 'W'))
        return false;
    *out = d;
    return true;
}

// The VTIMEZONEs files carry are nearly always the same few texts: whether libical could use
// one (see UnusableZone) is worked out once for each text.
bool ZoneUsable(QByteArrayView block)
{
    static QMutex mutex;
    static QHash<QByteArray, bool> known;
    const QByteArray key = block.toByteArray();
    {
        QMutexLocker lock(&mutex);
        const auto it = known.constFind(key);
        if (it != known.constEnd())
            return it.value();
    }
    bool usable = false;
    try {
        ComponentPtr vcal = ParseCalendar("BEGIN:VCALENDAR\r\n" + key + "END:VCALENDAR\r\n", QString());
        usable = icalcomponent_count_components(vcal.get(), ICAL_ANY_COMPONENT) == 1 &&
                 icalcomponent_get_first_component(vcal.get(), ICAL_VTIMEZONE_COMPONENT) != nullptr &&
                 UnusableZone(vcal.get()).isEmpty();
    } catch (...) {
        usable = false;
    }
    QMutexLocker lock(&mutex);
    if (known.size() < 64)
        known.insert(key, usable);
    return usable;
}

enum class Where { Outside, Calendar, Event, Alarm, OtherAlarm, Zone, ZonePart, Done };

} // namespace

std::optional<Summary> QuickSummary(QByteArrayView text, Collection collection, const QString& fallbackUid)
{
    if (collection != Collection::Calendar)
        return std::nullopt;
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    RawLines lines(text);
    RawLine line;
    QByteArray unfolded, scratch;
    Where where = Where::Outside;
    int events = 0, alarms = 0;
    qsizetype zoneBegin = 0;
    TimeValue start, end;
    bool startDate = false;
    QByteArray uid, subject, body, location, markers[3], playSound, busy, transp, trigger;
    bool hasUid = false, hasSubject = false, hasBody = false, hasLocation = false, hasMarker[3] = {},
         hasPlaySound = false, hasBusy = false, hasTransp = false, hasTrigger = false, hasDuration = false;
    icaldurationtype duration = icaldurationtype_null_duration();
    icaldurationtype triggerDuration = icaldurationtype_null_duration();

    while (lines.Next(line)) {
        if (where == Where::Done)
            return std::nullopt; // more after the calendar's end
        QByteArrayView raw = text.sliced(line.begin, line.end - line.begin);
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        QByteArrayView full = raw;
        if (raw.contains('\n')) {
            unfolded = lines.Unfolded(line);
            full = unfolded;
        }
        if (full.contains('\r'))
            return std::nullopt;
        const QByteArrayView name = text.sliced(line.begin, line.nameEnd - line.begin);
        if (name.isEmpty() || !full.startsWith(name))
            return std::nullopt;
        for (const char c : name)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
                return std::nullopt;
        const qsizetype nameLength = name.size();
        // Parameters run to the first ':' outside quotes.
        const qsizetype valueAt = ValueStart(full);
        if (valueAt < 0 || valueAt <= nameLength)
            return std::nullopt;
        const QByteArrayView params = full.sliced(nameLength, valueAt - 1 - nameLength);
        const QByteArrayView value = full.sliced(valueAt);

        if (NameIs(name, "BEGIN") || NameIs(name, "END")) {
            if (!params.isEmpty())
                return std::nullopt;
            const bool begin = NameIs(name, "BEGIN");
            if (!IsUpperAscii(name, begin ? "BEGIN" : "END"))
                return std::nullopt;
            switch (where) {
            case Where::Outside:
                if (!begin || !IsUpperAscii(value, "VCALENDAR"))
                    return std::nullopt;
                where = Where::Calendar;
                break;
            case Where::Calendar:
                if (!begin) {
                    if (!IsUpperAscii(value, "VCALENDAR"))
                        return std::nullopt;
                    where = Where::Done;
                } else if (IsUpperAscii(value, "VEVENT")) {
                    if (++events > 1)
                        return std::nullopt;
                    where = Where::Event;
                } else if (IsUpperAscii(value, "VTIMEZONE")) {
                    zoneBegin = line.begin;
                    where = Where::Zone;
                } else {
                    return std::nullopt;
                }
                break;
            case Where::Event:
                if (begin) {
                    if (!IsUpperAscii(value, "VALARM"))
                        return std::nullopt;
                    where = ++alarms == 1 ? Where::Alarm : Where::OtherAlarm;
                } else {
                    if (!IsUpperAscii(value, "VEVENT"))
                        return std::nullopt;
                    where = Where::Calendar;
                }
                break;
            case Where::Alarm:
            case Where::OtherAlarm:
                if (begin || !IsUpperAscii(value, "VALARM"))
                    return std::nullopt;
                where = Where::Event;
                break;
            case Where::Zone:
                if (begin) {
                    if (!IsUpperAscii(value, "STANDARD") && !IsUpperAscii(value, "DAYLIGHT"))
                        return std::nullopt;
                    where = Where::ZonePart;
                } else {
                    if (!IsUpperAscii(value, "VTIMEZONE"))
                        return std::nullopt;
                    if (!ZoneUsable(text.sliced(zoneBegin, line.end - zoneBegin)))
                        return std::nullopt;
                    where = Where::Calendar;
                }
                break;
            case Where::ZonePart:
                if (begin || (!IsUpperAscii(value, "STANDARD") && !IsUpperAscii(value, "DAYLIGHT")))
                    return std::nullopt;
                where = Where::Zone;
                break;
            case Where::Done: return std::nullopt;
            }
            continue;
        }
        if (where == Where::Outside)
            return std::nullopt;
        if (where == Where::Alarm) {
            if (!NameIs(name, "TRIGGER"))
                continue;
            if (hasTrigger)
                return std::nullopt;
            hasTrigger = true;
            // A length before or after the start; a trigger at a fixed time goes the long way.
            if (!params.isEmpty() && !IsUpperAscii(params, ";RELATED=START") && !IsUpperAscii(params, ";RELATED=END") &&
                !IsUpperAscii(params, ";VALUE=DURATION"))
                return std::nullopt;
            if (!ParseDuration(value, &triggerDuration))
                return std::nullopt;
            continue;
        }
        if (where != Where::Event)
            continue; // the calendar's own lines, a zone's, a later alarm's: not in the summary

        auto timeProp = [&](TimeValue* out) {
            if (out->present)
                return false;
            bool date = false;
            // ;TZID=name and ;VALUE=DATE or DATE-TIME, nothing else, no quotes.
            qsizetype p = 0;
            while (p < params.size()) {
                if (params[p] != ';')
                    return false;
                qsizetype next = params.indexOf(';', p + 1);
                if (next < 0)
                    next = params.size();
                const QByteArrayView param = params.sliced(p + 1, next - p - 1);
                if (param.contains('"') || param.contains(','))
                    return false;
                if (param.startsWith("TZID=") && param.size() > 5 && out->tzid.isEmpty())
                    out->tzid = param.sliced(5).toByteArray();
                else if (param == "VALUE=DATE")
                    date = true;
                else if (param != "VALUE=DATE-TIME")
                    return false;
                p = next;
            }
            if (!ParseTimeValue(value, date, out))
                return false;
            // A zone with a UTC time or a date is ignored by libical's reading in ways of its own.
            return out->tzid.isEmpty() || (!date && icaltime_is_utc(out->time) == 0);
        };
        auto textProp = [&](bool* has, QByteArray* out) {
            if (*has || !params.isEmpty())
                return false;
            *has = true;
            return PlainText(value, out);
        };
        // An X- value as libical keeps it: plain bytes without the characters its reading of
        // X- values treats in a way of its own.
        auto xProp = [&](bool* has, QByteArray* out) {
            if (*has || !params.isEmpty() || value.isEmpty() || value.contains('\\') || value.contains(',') ||
                value.front() == ' ' || value.back() == ' ' || value.front() == '\t' || value.back() == '\t')
                return false;
            for (const char c : value)
                if (static_cast<unsigned char>(c) < 0x20)
                    return false;
            *has = true;
            *out = value.toByteArray();
            return true;
        };

        bool ok = true;
        if (NameIs(name, "DTSTART")) {
            ok = timeProp(&start);
            startDate = start.present && start.time.is_date != 0;
        } else if (NameIs(name, "DTEND")) {
            ok = timeProp(&end);
        } else if (NameIs(name, "DURATION")) {
            ok = !hasDuration && params.isEmpty() && ParseDuration(value, &duration);
            hasDuration = true;
        } else if (NameIs(name, "UID")) {
            ok = textProp(&hasUid, &uid);
        } else if (NameIs(name, "SUMMARY")) {
            ok = textProp(&hasSubject, &subject);
        } else if (NameIs(name, "DESCRIPTION")) {
            ok = textProp(&hasBody, &body);
        } else if (NameIs(name, "LOCATION")) {
            ok = textProp(&hasLocation, &location);
        } else if (NameIs(name, "TRANSP")) {
            ok = !hasTransp && params.isEmpty() && (value == "OPAQUE" || value == "TRANSPARENT");
            hasTransp = true;
            transp = value.toByteArray();
        } else if (NameIs(name, "RRULE") || NameIs(name, "RDATE") || NameIs(name, "RECURRENCE-ID") ||
                   NameIs(name, "EXRULE")) {
            ok = false; // a series: its summary needs the rule's expansion
        } else if (name.size() > 2 && (name[0] == 'X' || name[0] == 'x') && name[1] == '-') {
            // libical takes an X- name in capitals only.
            const bool ours = NameIs(name, kXBilling) || NameIs(name, kXMileage) || NameIs(name, kXSoundFile) ||
                              NameIs(name, kXPlaySound) || NameIs(name, kXBusy);
            if (ours && name.toByteArray().toUpper() != name)
                ok = false;
            else if (NameIs(name, kXBilling))
                ok = xProp(&hasMarker[0], &markers[0]);
            else if (NameIs(name, kXMileage))
                ok = xProp(&hasMarker[1], &markers[1]);
            else if (NameIs(name, kXSoundFile))
                ok = xProp(&hasMarker[2], &markers[2]);
            else if (NameIs(name, kXPlaySound))
                ok = xProp(&hasPlaySound, &playSound);
            else if (NameIs(name, kXBusy))
                ok = xProp(&hasBusy, &busy);
        }
        if (!ok)
            return std::nullopt;
    }
    if (where != Where::Done || events != 1 || !start.present)
        return std::nullopt;

    // The times as Summarize reads them (TimeOf, StartEnd).
    auto utc = [](const TimeValue& v, bool* ok) -> qint64 {
        icaltimezone* zone = nullptr;
        if (!v.tzid.isEmpty() && !v.time.is_date && !icaltime_is_utc(v.time)) {
            QByteArray key;
            zone = ResolveZone(nullptr, v.tzid.constData(), &key);
            if (!zone)
                *ok = false; // a zone only the file defines
        }
        return UtcOf(v.time, zone);
    };
    bool ok = true;
    Summary s;
    s.start = utc(start, &ok);
    if (!ok || s.start == kNoTime)
        return std::nullopt;
    s.allDay = startDate;
    if (end.present) {
        s.end = utc(end, &ok);
        if (!ok || s.end == kNoTime)
            return std::nullopt;
    } else if (hasDuration) {
        qint64 secs = 0;
        if (!DurationSeconds(duration, &secs))
            return std::nullopt;
        s.end = s.start + secs;
    } else if (startDate) {
        icaltimetype t = start.time;
        icaltime_adjust(&t, 1, 0, 0, 0);
        s.end = UtcOf(t, nullptr);
    } else {
        s.end = s.start;
    }

    SummaryTexts& texts = s.EditTexts();
    QString decoded;
    if (!Utf8(uid, &texts.uid))
        return std::nullopt;
    if (texts.uid.isEmpty())
        texts.uid = fallbackUid;
    for (int i = 0; i < 3; ++i)
        if (!Utf8(markers[i], &s.markers[i]))
            return std::nullopt;
    for (auto [bytes, out] : {std::pair{&subject, &texts.subject}, {&body, &texts.body}, {&location, &texts.location}}) {
        if (!Utf8(*bytes, &decoded))
            return std::nullopt;
        *out = bytes->isEmpty() ? QString() : ToOutlookText(bytes->constData());
    }
    if (hasBusy) {
        if (!Utf8(busy, &decoded))
            return std::nullopt;
        s.busyStatus = BusyFromText(decoded);
    } else {
        s.busyStatus = transp == "TRANSPARENT" ? olFree : olBusy;
    }
    s.reminderSet = alarms > 0;
    if (hasTrigger) {
        qint64 secs = 0;
        s.reminderMinutes = DurationSeconds(triggerDuration, &secs) ? int(-secs / 60) : 0;
    }
    s.playSound = playSound.compare("TRUE", Qt::CaseInsensitive) == 0;
    return s;
}

} // namespace cal::detail
