// Outlook's item properties over iCalendar components.
#include "calendar/Model.h"

#include "calendar/Words.h"
#include "platform/ErrObject.h"

#include <QDateTime>
#include <QMutex>
#include <QUuid>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace cal::detail {

const char kXBilling[] = "X-ALMBRO-BILLINGINFORMATION";
const char kXMileage[] = "X-ALMBRO-MILEAGE";
const char kXSoundFile[] = "X-ALMBRO-REMINDERSOUNDFILE";
const char kXPlaySound[] = "X-ALMBRO-REMINDERPLAYSOUND";
const char kXBusy[] = "X-MICROSOFT-CDO-BUSYSTATUS";

namespace {
const PropDef kProps[pPropCount] = {
    {"Subject", PropType::Text, pSubject},
    {"Body", PropType::Text, pBody},
    {"Location", PropType::Text, pLocation},
    {"Start", PropType::Date, pStart},
    {"End", PropType::Date, pEnd},
    {"Duration", PropType::Number, pDuration},
    {"BusyStatus", PropType::Number, pBusyStatus},
    {"ReminderMinutesBeforeStart", PropType::Number, pReminderMinutesBeforeStart},
    {"ReminderSet", PropType::Bool, pReminderSet},
    {"ReminderPlaySound", PropType::Bool, pReminderPlaySound},
    {"ReminderSoundFile", PropType::Text, pReminderSoundFile},
    {"BillingInformation", PropType::Text, pBillingInformation},
    {"Mileage", PropType::Text, pMileage},
    {"EntryID", PropType::Text, pEntryID},
    {"CreationTime", PropType::Date, pCreationTime},
    {"LastModificationTime", PropType::Date, pLastModificationTime},
    {"AllDayEvent", PropType::Bool, pAllDayEvent},
    {"IsRecurring", PropType::Bool, pIsRecurring},
    {"Categories", PropType::Text, pCategories},
    {"StartDate", PropType::Date, pStartDate},
    {"DueDate", PropType::Date, pDueDate},
    {"DateCompleted", PropType::Date, pDateCompleted},
    {"Complete", PropType::Bool, pComplete},
};

bool Applies(Collection collection, int prop)
{
    switch (collection) {
    case Collection::Calendar: return prop <= pCategories;
    case Collection::Notes:
        return prop == pSubject || prop == pBody || prop == pEntryID || prop == pCreationTime ||
               prop == pLastModificationTime || prop == pCategories;
    case Collection::Tasks:
        return prop == pSubject || prop == pBody || prop == pEntryID || prop == pCreationTime ||
               prop == pLastModificationTime || prop == pCategories || prop == pBillingInformation ||
               prop == pMileage || prop >= pStartDate;
    }
    return false;
}

class Schema : public FilterSchema {
public:
    explicit Schema(Collection c)
        : m_collection(c)
    {
    }
    const PropDef* Lookup(const QString& name) const override { return FindProp(m_collection, name); }

private:
    Collection m_collection;
};

} // namespace

// --- texts: Outlook's CR LF line breaks outside, LF inside the file ---
QString ToOutlookText(const char* text)
{
    QString s = FromUtf8(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return s;
}

namespace {
QByteArray ToIcalText(const QString& text)
{
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s.toUtf8();
}

void RemoveAll(icalcomponent* c, icalproperty_kind kind)
{
    while (icalproperty* p = icalcomponent_get_first_property(c, kind)) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
}

icalproperty* FindX(icalcomponent* c, const char* name)
{
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_X_PROPERTY)) {
        const char* x = icalproperty_get_x_name(p);
        if (x && qstricmp(x, name) == 0)
            return p;
    }
    return nullptr;
}

QString XText(icalproperty* p)
{
    if (!p)
        return QString();
    icalvalue* v = icalproperty_get_value(p);
    if (!v)
        return QString();
    switch (icalvalue_isa(v)) {
    case ICAL_X_VALUE: return FromUtf8(icalvalue_get_x(v));
    case ICAL_TEXT_VALUE: return FromUtf8(icalvalue_get_text(v));
    default: return FromUtf8(icalproperty_get_value_as_string(p));
    }
}

QString GetX(icalcomponent* c, const char* name)
{
    return XText(FindX(c, name));
}

void SetX(icalcomponent* c, const char* name, const QString& value)
{
    while (icalproperty* p = FindX(c, name)) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
    if (value.isEmpty())
        return;
    // No VALUE parameter: other programs read an X- property as text by default.
    icalproperty* p = icalproperty_new_x(ToIcalText(value).constData());
    icalproperty_set_x_name(p, name);
    icalcomponent_add_property(c, p);
}

QString GetText(icalcomponent* c, icalproperty_kind kind)
{
    icalproperty* p = icalcomponent_get_first_property(c, kind);
    if (!p)
        return QString();
    icalvalue* v = icalproperty_get_value(p);
    if (!v)
        return QString();
    if (icalvalue_isa(v) == ICAL_TEXT_VALUE)
        return ToOutlookText(icalvalue_get_text(v));
    return ToOutlookText(icalproperty_get_value_as_string(p));
}

void SetText(icalcomponent* c, icalproperty_kind kind, const QString& value)
{
    RemoveAll(c, kind);
    if (value.isEmpty())
        return;
    icalproperty* p = icalproperty_new(kind);
    icalproperty_set_value(p, icalvalue_new_text(ToIcalText(value).constData()));
    icalcomponent_add_property(c, p);
}

void EnsureVTimezone(icalcomponent* vcal, const QByteArray& key)
{
    for (icalcomponent* z = icalcomponent_get_first_component(vcal, ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(vcal, ICAL_VTIMEZONE_COMPONENT)) {
        if (VTimezoneId(z) == key)
            return;
    }
    // One truncated copy per zone, made once; the map owns them, so they are freed at exit
    // like everything else (a leak checker sees no component without an owner).
    static QMutex mutex;
    static std::map<QByteArray, ComponentPtr> templates;
    icalcomponent* vtz = nullptr;
    {
        QMutexLocker lock(&mutex);
        auto it = templates.find(key);
        if (it == templates.end())
            it = templates.emplace(key, ComponentPtr(VTimezoneFor(key, 1970))).first;
        if (it->second)
            vtz = icalcomponent_new_clone(it->second.get());
    }
    if (!vtz)
        return;
    icalcomponent_add_component(vcal, vtz);
}

// Writes a time property: a date as such, else a date-time in the system's zone with its TZID,
// or in UTC when the zone has no name (never a floating time).
void SetTime(icalcomponent* vcal, icalcomponent* c, icalproperty_kind kind, qint64 utc, bool asDate = false,
             bool forceUtc = false)
{
    RemoveAll(c, kind);
    if (utc == kNoTime)
        return;
    icalproperty* p = icalproperty_new(kind);
    QByteArray key;
    icaltimezone* zone = SystemZone(&key);
    if (asDate) {
        icaltimetype t = TimeIn(utc, zone, true);
        t.zone = nullptr;
        icalproperty_set_value(p, icalvalue_new_date(t));
    } else if (forceUtc || !zone || zone == icaltimezone_get_utc_timezone()) {
        icalproperty_set_value(p, icalvalue_new_datetime(TimeIn(utc, icaltimezone_get_utc_timezone())));
    } else {
        icaltimetype t = TimeIn(utc, zone);
        t.zone = nullptr;
        icalproperty_set_value(p, icalvalue_new_datetime(t));
        icalproperty_add_parameter(p, icalparameter_new_tzid(key.constData()));
        EnsureVTimezone(vcal, key);
    }
    icalcomponent_add_property(c, p);
}

qint64 GetTime(icalcomponent* vcal, icalcomponent* c, icalproperty_kind kind, bool* isDate = nullptr)
{
    return TimeOf(vcal, icalcomponent_get_first_property(c, kind), isDate);
}

// The start of an event, and its end: DTEND, or DTSTART + DURATION, or the next day for a
// date, or the start itself. ok is cleared for a DURATION no calendar item can have.
void StartEnd(icalcomponent* vcal, icalcomponent* c, qint64* start, qint64* end, bool* isDate, bool* ok)
{
    *ok = true;
    bool date = false;
    *start = GetTime(vcal, c, ICAL_DTSTART_PROPERTY, &date);
    if (isDate)
        *isDate = date;
    const icalcomponent_kind kind = icalcomponent_isa(c);
    if (kind == ICAL_VTODO_COMPONENT) {
        *end = GetTime(vcal, c, ICAL_DUE_PROPERTY);
        return;
    }
    if (kind != ICAL_VEVENT_COMPONENT) {
        *end = *start;
        return;
    }
    if (icalproperty* dtend = icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY)) {
        *end = TimeOf(vcal, dtend);
        if (*end != kNoTime)
            return;
    }
    if (*start == kNoTime) {
        *end = kNoTime;
        return;
    }
    if (icalproperty* dur = icalcomponent_get_first_property(c, ICAL_DURATION_PROPERTY)) {
        qint64 secs = 0;
        if (!DurationSeconds(icalproperty_get_duration(dur), &secs)) {
            *ok = false;
            *end = *start;
            return;
        }
        *end = *start + secs;
        return;
    }
    if (date) {
        icaltimetype t = icalproperty_get_dtstart(icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY));
        icaltime_adjust(&t, 1, 0, 0, 0);
        *end = UtcOf(t, nullptr);
        return;
    }
    *end = *start;
}

QDateTime ToLocal(qint64 utc)
{
    return utc == kNoTime ? EmptyDate() : QDateTime::fromSecsSinceEpoch(utc);
}

qint64 FromLocal(const QVariant& value, int prop)
{
    QDateTime when;
    if (value.metaType().id() == QMetaType::QDateTime)
        when = value.toDateTime();
    else if (value.metaType().id() == QMetaType::QDate)
        when = QDateTime(value.toDate(), QTime(0, 0));
    if (!when.isValid())
        vb::Raise(vb::ErrTypeMismatch,
                  QStringLiteral("Type mismatch: %1 takes a date").arg(QString::fromLatin1(kProps[prop].name)));
    if (when == EmptyDate())
        return kNoTime;
    return when.toSecsSinceEpoch();
}

int ToInt(const QVariant& value, int prop)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok)
        vb::Raise(vb::ErrTypeMismatch,
                  QStringLiteral("Type mismatch: %1 takes a number").arg(QString::fromLatin1(kProps[prop].name)));
    return n;
}

} // namespace

int BusyFromText(const QString& text)
{
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("FREE"))
        return olFree;
    if (t == QLatin1String("TENTATIVE"))
        return olTentative;
    if (t == QLatin1String("OOF"))
        return olOutOfOffice;
    if (t == QLatin1String("WORKINGELSEWHERE"))
        return olWorkingElsewhere;
    return olBusy;
}

namespace {
const char* BusyText(int status)
{
    switch (status) {
    case olFree: return "FREE";
    case olTentative: return "TENTATIVE";
    case olOutOfOffice: return "OOF";
    case olWorkingElsewhere: return "WORKINGELSEWHERE";
    default: return "BUSY";
    }
}

icalcomponent* FirstAlarm(icalcomponent* c)
{
    return icalcomponent_get_first_component(c, ICAL_VALARM_COMPONENT);
}

int AlarmMinutes(icalcomponent* vcal, icalcomponent* c)
{
    icalcomponent* alarm = FirstAlarm(c);
    if (!alarm)
        return 0;
    icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!trigger)
        return 0;
    const icaltriggertype t = icalproperty_get_trigger(trigger);
    if (!icaltime_is_null_time(t.time)) {
        const qint64 start = GetTime(vcal, c, ICAL_DTSTART_PROPERTY);
        const qint64 at = UtcOf(t.time, nullptr);
        return start == kNoTime || at == kNoTime ? 0 : int((start - at) / 60);
    }
    qint64 secs = 0;
    if (!DurationSeconds(t.duration, &secs))
        return 0;
    return int(-secs / 60);
}

void SetAlarmMinutes(icalcomponent* c, int minutes)
{
    icalcomponent* alarm = FirstAlarm(c);
    if (!alarm) {
        alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icalcomponent_add_property(alarm, icalproperty_new_description("Reminder"));
        icalcomponent_add_component(c, alarm);
    }
    RemoveAll(alarm, ICAL_TRIGGER_PROPERTY);
    icaltriggertype t{};
    t.time = icaltime_null_time();
    t.duration = icaldurationtype_from_int(-minutes * 60);
    icalcomponent_add_property(alarm, icalproperty_new_trigger(t));
}

QString Categories(icalcomponent* c)
{
    QStringList all;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_CATEGORIES_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_CATEGORIES_PROPERTY))
        all << FromUtf8(icalproperty_get_categories(p));
    return all.join(QStringLiteral(", "));
}

bool IsOverride(icalcomponent* c)
{
    return icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

// A file of a vdir is one item, but some programs put several in one file: the item is the
// first UID's components.
bool SameUid(icalcomponent* a, icalcomponent* b)
{
    const char* x = icalcomponent_get_uid(a);
    const char* y = icalcomponent_get_uid(b);
    return qstrcmp(x ? x : "", y ? y : "") == 0;
}

bool Recurs(icalcomponent* c)
{
    return icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY) != nullptr ||
           icalcomponent_get_first_property(c, ICAL_RDATE_PROPERTY) != nullptr;
}

// The same kind of value (date or date-time) as the series' start, in UTC for a date-time.
icalproperty* RecurrenceTimeProperty(icalproperty_kind kind, icalcomponent* main, qint64 rid)
{
    bool date = false;
    TimeOf(nullptr, icalcomponent_get_first_property(main, ICAL_DTSTART_PROPERTY), &date);
    icalproperty* p = icalproperty_new(kind);
    if (date) {
        icaltimetype t = TimeIn(rid, SystemZone(), true);
        t.zone = nullptr;
        icalproperty_set_value(p, icalvalue_new_date(t));
    } else {
        icalproperty_set_value(p, icalvalue_new_datetime(TimeIn(rid, icaltimezone_get_utc_timezone())));
    }
    return p;
}

} // namespace

bool PropApplies(Collection collection, int prop)
{
    return Applies(collection, prop);
}

const PropDef* FindProp(Collection collection, const QString& name)
{
    for (const PropDef& def : kProps)
        if (name.compare(QLatin1String(def.name), Qt::CaseInsensitive) == 0)
            return Applies(collection, def.id) ? &def : nullptr;
    return nullptr;
}

const PropDef& PropById(int id)
{
    return kProps[id];
}

const FilterSchema& SchemaFor(Collection collection)
{
    static const Schema calendar(Collection::Calendar), notes(Collection::Notes), tasks(Collection::Tasks);
    switch (collection) {
    case Collection::Notes: return notes;
    case Collection::Tasks: return tasks;
    default: return calendar;
    }
}

icalcomponent_kind ComponentKind(Collection collection)
{
    switch (collection) {
    case Collection::Notes: return ICAL_VJOURNAL_COMPONENT;
    case Collection::Tasks: return ICAL_VTODO_COMPONENT;
    default: return ICAL_VEVENT_COMPONENT;
    }
}

ComponentPtr NewItemCalendar(Collection collection, const QString& uidPrefix)
{
    InitIcal();
    ComponentPtr vcal(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(vcal.get(), icalproperty_new_prodid("-//Almbro//Almbro for Linux//SV"));
    icalcomponent_add_property(vcal.get(), icalproperty_new_version("2.0"));
    icalcomponent* item = icalcomponent_new(ComponentKind(collection));
    const QByteArray uid = uidPrefix.toUtf8() + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    icalcomponent_add_property(item, icalproperty_new_uid(uid.constData()));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    icalcomponent_add_property(item, icalproperty_new_dtstamp(TimeIn(now, icaltimezone_get_utc_timezone())));
    icalcomponent_add_property(item, icalproperty_new_created(TimeIn(now, icaltimezone_get_utc_timezone())));
    icalcomponent_add_component(vcal.get(), item);
    return vcal;
}

icalcomponent* MainComponent(icalcomponent* vcal, Collection collection)
{
    const icalcomponent_kind kind = ComponentKind(collection);
    icalcomponent* first = icalcomponent_get_first_component(vcal, kind);
    // The series of the first UID, or else its first occurrence.
    for (icalcomponent* c = first; c; c = icalcomponent_get_next_component(vcal, kind))
        if (!IsOverride(c) && SameUid(c, first))
            return c;
    return first;
}

icalcomponent* OverrideComponent(icalcomponent* vcal, Collection collection, qint64 rid)
{
    const icalcomponent_kind kind = ComponentKind(collection);
    icalcomponent* main = MainComponent(vcal, collection);
    for (icalcomponent* c = icalcomponent_get_first_component(vcal, kind); c;
         c = icalcomponent_get_next_component(vcal, kind)) {
        icalproperty* p = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        if (p && SameUid(c, main) && TimeOf(vcal, p) == rid)
            return c;
    }
    return nullptr;
}

icalcomponent* GoverningComponent(icalcomponent* vcal, Collection collection, const Summary& summary, qint64 rid)
{
    const OverrideInfo* o = summary.Governing(rid);
    return o && o->rid != rid ? OverrideComponent(vcal, collection, o->rid) : nullptr;
}

icalcomponent* EnsureOverride(icalcomponent* vcal, Collection collection, const Occurrence& occurrence, icalcomponent* from)
{
    if (icalcomponent* existing = OverrideComponent(vcal, collection, occurrence.rid))
        return existing;
    icalcomponent* main = MainComponent(vcal, collection);
    icalcomponent* c = icalcomponent_new_clone(from ? from : main);
    for (icalproperty_kind k : {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_EXRULE_PROPERTY,
                                ICAL_RECURRENCEID_PROPERTY, ICAL_DURATION_PROPERTY})
        RemoveAll(c, k);
    icalcomponent_add_property(c, RecurrenceTimeProperty(ICAL_RECURRENCEID_PROPERTY, main, occurrence.rid));
    // An occurrence of a whole-day series stays whole days.
    bool date = false;
    TimeOf(vcal, icalcomponent_get_first_property(main, ICAL_DTSTART_PROPERTY), &date);
    SetTime(vcal, c, ICAL_DTSTART_PROPERTY, occurrence.start, date);
    SetTime(vcal, c, ICAL_DTEND_PROPERTY, occurrence.end, date);
    icalcomponent_add_component(vcal, c);
    return c;
}

void AddExdate(icalcomponent* vcal, Collection collection, qint64 rid)
{
    icalcomponent* main = MainComponent(vcal, collection);
    if (icalcomponent* override = OverrideComponent(vcal, collection, rid)) {
        icalcomponent_remove_component(vcal, override);
        icalcomponent_free(override);
    }
    icalcomponent_add_property(main, RecurrenceTimeProperty(ICAL_EXDATE_PROPERTY, main, rid));
}

const OverrideInfo* Summary::Governing(qint64 rid) const
{
    const OverrideInfo* range = nullptr;
    for (const OverrideInfo& o : overrides) {
        if (o.rid == rid)
            return &o;
        if (o.thisAndFuture && o.rid < rid && (!range || o.rid > range->rid))
            range = &o;
    }
    return range;
}

namespace {
bool ThisAndFuture(icalproperty* rid)
{
    icalparameter* range = icalproperty_get_first_parameter(rid, ICAL_RANGE_PARAMETER);
    return range != nullptr && icalparameter_get_range(range) == ICAL_RANGE_THISANDFUTURE;
}

qint64 SaturatingAdd(qint64 a, qint64 b)
{
    qint64 r = 0;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return r;
}

// Whole days between two midnights of the system's zone (a day of a summer-time change is
// 23 or 25 hours long, and still one day).
qint64 DaysBetween(qint64 from, qint64 to)
{
    const qint64 d = to - from;
    return d >= 0 ? (d + 43200) / 86400 : -((-d + 43200) / 86400);
}

// The midnight days after the day of utc, in the system's zone.
qint64 AddDays(qint64 utc, qint64 days)
{
    icaltimetype t = TimeIn(utc, SystemZone(), true);
    t.zone = nullptr;
    icaltime_adjust(&t, int(days), 0, 0, 0);
    return UtcOf(t, nullptr);
}
} // namespace

Summary Summarize(icalcomponent* vcal, Collection collection, const QString& where, const QString& fallbackUid)
{
    static const char* kKindNames[] = {"VEVENT", "VJOURNAL", "VTODO"};
    const char* kindName = kKindNames[collection == Collection::Calendar ? 0 : collection == Collection::Notes ? 1 : 2];
    icalcomponent* main = MainComponent(vcal, collection);
    if (!main)
        vb::Raise(ErrCalendar, Words(Message::HoldsNoKind).arg(where, QLatin1String(kindName)));
    const QByteArray badZone = UnusableZone(vcal);
    if (!badZone.isEmpty())
        vb::Raise(ErrCalendar, Words(Message::ZoneUnusable)
                                   .arg(where, QString::fromUtf8(badZone)));
    Summary s;
    SummaryTexts& texts = s.EditTexts();
    texts.uid = FromUtf8(icalcomponent_get_uid(main));
    if (texts.uid.isEmpty())
        texts.uid = fallbackUid;
    bool ok = true;
    StartEnd(vcal, main, &s.start, &s.end, &s.allDay, &ok);
    if (collection == Collection::Calendar) {
        if (s.start == kNoTime)
            vb::Raise(ErrCalendar, Words(Message::NoValidStart).arg(where, texts.uid));
        if (!ok)
            vb::Raise(ErrCalendar,
                      Words(Message::NoValidLength).arg(where, texts.uid));
    }
    s.markers[0] = GetX(main, kXBilling);
    s.markers[1] = GetX(main, kXMileage);
    s.markers[2] = GetX(main, kXSoundFile);
    texts.subject = GetProp(vcal, main, pSubject).toString();
    texts.body = GetProp(vcal, main, pBody).toString();
    texts.location = GetProp(vcal, main, pLocation).toString();
    if (collection == Collection::Calendar) {
        s.busyStatus = GetProp(vcal, main, pBusyStatus).toInt();
        s.reminderMinutes = GetProp(vcal, main, pReminderMinutesBeforeStart).toInt();
        s.reminderSet = GetProp(vcal, main, pReminderSet).toBool();
        s.playSound = GetProp(vcal, main, pReminderPlaySound).toBool();
    }
    // Occurrences whose series is not here: each one stands for itself.
    s.orphans = collection == Collection::Calendar && IsOverride(main);
    s.recurring = collection == Collection::Calendar && (s.orphans || Recurs(main));
    if (!s.recurring)
        return s;

    icalproperty* dtstart = icalcomponent_get_first_property(main, ICAL_DTSTART_PROPERTY);
    icaltimezone* zone = nullptr;
    bool isDate = false;
    TimeOf(vcal, dtstart, &isDate, &s.zoneKey, &zone);
    s.zoneInFile = zone != nullptr && s.zoneKey.isEmpty();
    s.dtstart = icaltime_as_ical_string(icalproperty_get_dtstart(dtstart));
    bool bounded = true;
    if (!s.orphans) {
        for (icalproperty* p = icalcomponent_get_first_property(main, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(main, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype rule = icalproperty_get_rrule(p);
            if (rule.freq == ICAL_NO_RECURRENCE)
                continue;
            char* text = icalrecurrencetype_as_string_r(&rule);
            s.rrules << QByteArray(text);
            std::free(text); // NOLINT(cppcoreguidelines-no-malloc): libical hands the text over to us
            if (rule.count == 0 && icaltime_is_null_time(rule.until))
                bounded = false;
        }
        for (icalproperty* p = icalcomponent_get_first_property(main, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(main, ICAL_EXDATE_PROPERTY)) {
            const qint64 t = TimeOf(vcal, p);
            if (t != kNoTime)
                s.exdates << t;
        }
        for (icalproperty* p = icalcomponent_get_first_property(main, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(main, ICAL_RDATE_PROPERTY)) {
            RDateInfo r;
            icaltimezone* own = nullptr;
            r.start = TimeOf(vcal, p, nullptr, nullptr, &own);
            const icaldatetimeperiodtype dp = icalproperty_get_rdate(p);
            if (icaltime_is_null_time(dp.time) && !icaltime_is_null_time(dp.period.end))
                r.end = UtcOf(dp.period.end, icaltime_is_utc(dp.period.end) ? nullptr : own);
            else if (icaltime_is_null_time(dp.time)) {
                qint64 secs = 0;
                if (DurationSeconds(dp.period.duration, &secs) && secs > 0)
                    r.end = r.start + secs;
            }
            if (r.end != kNoTime && r.end < r.start)
                r.end = kNoTime;
            if (r.start != kNoTime)
                s.rdates << r;
        }
    }
    const icalcomponent_kind kind = ComponentKind(collection);
    for (icalcomponent* c = icalcomponent_get_first_component(vcal, kind); c;
         c = icalcomponent_get_next_component(vcal, kind)) {
        if ((c == main && !s.orphans) || !IsOverride(c) || !SameUid(c, main))
            continue;
        OverrideInfo o;
        icalproperty* rid = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        o.rid = TimeOf(vcal, rid);
        o.thisAndFuture = !s.orphans && ThisAndFuture(rid);
        bool okOverride = true;
        StartEnd(vcal, c, &o.start, &o.end, nullptr, &okOverride);
        if (o.rid == kNoTime || o.start == kNoTime || !okOverride)
            continue;
        // Two changes of one occurrence: the first counts.
        if (std::any_of(s.overrides.cbegin(), s.overrides.cend(), [&](const OverrideInfo& x) { return x.rid == o.rid; }))
            continue;
        s.overrides << o;
    }
    if (s.orphans) {
        qint64 last = s.end;
        for (const OverrideInfo& o : s.overrides)
            last = std::max(last, o.end);
        s.seriesEnd = last;
        return s;
    }
    const bool moved = std::any_of(s.overrides.cbegin(), s.overrides.cend(), [](const OverrideInfo& o) { return o.thisAndFuture; });
    if (bounded && !moved) {
        std::vector<Occurrence> all;
        if (Expand(s, vcal, std::numeric_limits<qint64>::min(), kForever, all)) {
            qint64 last = s.end;
            for (const Occurrence& o : all)
                last = std::max(last, o.end);
            s.seriesEnd = last;
        }
    }
    return s;
}

bool Expand(const Summary& s, icalcomponent* vcal, qint64 low, qint64 high, std::vector<Occurrence>& out)
{
    if (s.orphans) {
        for (const OverrideInfo& o : s.overrides)
            if (o.start >= low && o.start <= high)
                out.push_back({o.start, o.end, o.rid});
        return true;
    }
    icaltimezone* zone = nullptr;
    if (s.zoneInFile) {
        if (!vcal)
            return true;
        icalcomponent* main = MainComponent(vcal, Collection::Calendar);
        TimeOf(vcal, icalcomponent_get_first_property(main, ICAL_DTSTART_PROPERTY), nullptr, nullptr, &zone);
    } else if (!s.zoneKey.isEmpty()) {
        zone = BuiltinZone(s.zoneKey);
    }
    icaltimezone* wall = zone ? zone : SystemZone();
    const qint64 length = s.end != kNoTime && s.start != kNoTime ? s.end - s.start : 0;
    // A whole-day series lasts whole days: counted in seconds, a first day of 23 hours would
    // make every later one end at 23:00.
    const qint64 days = s.allDay ? std::max<qint64>(0, DaysBetween(s.start, s.end)) : 0;
    auto excluded = [&](qint64 start) {
        if (s.exdates.contains(start))
            return true;
        return std::ranges::any_of(s.overrides, [start](const OverrideInfo& o) { return o.rid == start; });
    };
    // RANGE=THISANDFUTURE changes, by their occurrence: each moves (and may lengthen) every
    // later occurrence up to the next one.
    std::vector<const OverrideInfo*> ranges;
    qint64 maxEarlier = 0, maxLater = 0;
    for (const OverrideInfo& o : s.overrides)
        if (o.thisAndFuture) {
            ranges.push_back(&o);
            maxLater = std::max(maxLater, o.start - o.rid);
            maxEarlier = std::max(maxEarlier, o.rid - o.start);
        }
    std::sort(ranges.begin(), ranges.end(), [](const OverrideInfo* a, const OverrideInfo* b) { return a->rid < b->rid; });
    auto place = [&](qint64 original, qint64 ownEnd) -> Occurrence {
        const OverrideInfo* range = nullptr;
        for (const OverrideInfo* r : ranges) {
            if (r->rid >= original)
                break;
            range = r;
        }
        if (!range) {
            if (ownEnd != kNoTime)
                return {original, ownEnd, original};
            return {original, s.allDay ? AddDays(original, days) : original + length, original};
        }
        if (s.allDay) {
            const qint64 start = AddDays(original, DaysBetween(range->rid, range->start));
            return {start, AddDays(start, std::max<qint64>(0, DaysBetween(range->start, range->end))), original};
        }
        const qint64 start = original + (range->start - range->rid);
        return {start, start + (range->end - range->start), original};
    };
    // The originals that can land in the window.
    const qint64 lowOriginal = SaturatingAdd(low, -maxLater);
    const qint64 highOriginal = SaturatingAdd(high, maxEarlier);
    bool complete = true;
    int produced = 0;
    auto add = [&](qint64 original, qint64 ownEnd) {
        const Occurrence o = place(original, ownEnd);
        if (o.start < low || o.start > high)
            return;
        out.push_back(o);
        ++produced;
    };
    const icaltimetype dtstart = icaltime_from_string(s.dtstart.constData());
    const bool floatingStart = icaltime_is_utc(dtstart) == 0 && icaltime_is_date(dtstart) == 0;
    bool sawStart = false;
    for (const QByteArray& text : s.rrules) {
        icalrecurrencetype rule = icalrecurrencetype_from_string(text.constData());
        icalerror_clear_errno();
        if (rule.freq == ICAL_NO_RECURRENCE)
            continue;
        if (floatingStart && !icaltime_is_null_time(rule.until) && icaltime_is_utc(rule.until)) {
            // UNTIL is in UTC while the series runs in wall time: compare like with like.
            icaltimetype until = TimeIn(UtcOf(rule.until, nullptr), wall);
            until.zone = nullptr;
            rule.until = until;
        }
        icalrecur_iterator* it = icalrecur_iterator_new(rule, dtstart);
        if (!it)
            continue;
        // Series without COUNT can start at the window; with COUNT they must be counted from
        // their start.
        const qint64 skipTo =
            lowOriginal == std::numeric_limits<qint64>::min() ? kNoTime : lowOriginal - length - qint64(2) * 86400;
        if (rule.count == 0 && skipTo != kNoTime && skipTo > s.start) {
            icaltimetype from = TimeIn(skipTo, icaltime_is_utc(dtstart) ? icaltimezone_get_utc_timezone() : wall,
                                       icaltime_is_date(dtstart) != 0);
            from.zone = dtstart.zone;
            icalrecur_iterator_set_start(it, from);
        }
        // A hard guard on top of the window, for rules that produce far more than any calendar
        // needs (every minute, forever): past it the series is not listed at all.
        for (int steps = 0;; ++steps) {
            if (steps >= kMaxSteps || produced >= kMaxOccurrences) {
                complete = false;
                break;
            }
            const icaltimetype t = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(t))
                break;
            const qint64 start = UtcOf(t, icaltime_is_utc(t) ? nullptr : wall);
            if (start == kNoTime)
                break;
            if (start == s.start)
                sawStart = true;
            if (start > highOriginal)
                break;
            if (start < lowOriginal || excluded(start))
                continue;
            add(start, kNoTime);
        }
        icalrecur_iterator_free(it);
        icalerror_clear_errno();
    }
    // DTSTART is always an occurrence, whether or not the rule gives it.
    if (!sawStart && !excluded(s.start)) {
        const bool present = std::any_of(out.begin(), out.end(), [&](const Occurrence& o) { return o.rid == s.start; });
        if (!present)
            add(s.start, kNoTime);
    }
    for (const RDateInfo& r : s.rdates) {
        if (excluded(r.start) || r.start == s.start)
            continue;
        if (std::any_of(out.begin(), out.end(), [&](const Occurrence& o) { return o.rid == r.start; }))
            continue; // the rule gives it already
        add(r.start, r.end);
    }
    for (const OverrideInfo& o : s.overrides)
        if (o.start >= low && o.start <= high)
            out.push_back({o.start, o.end, o.rid});
    return complete;
}

QVariant GetProp(icalcomponent* vcal, icalcomponent* c, int prop)
{
    switch (prop) {
    case pSubject: {
        QString subject = GetText(c, ICAL_SUMMARY_PROPERTY);
        if (subject.isEmpty() && icalcomponent_isa(c) == ICAL_VJOURNAL_COMPONENT)
            subject = GetText(c, ICAL_DESCRIPTION_PROPERTY).section(QLatin1String("\r\n"), 0, 0);
        return subject;
    }
    case pBody: return GetText(c, ICAL_DESCRIPTION_PROPERTY);
    case pLocation: return GetText(c, ICAL_LOCATION_PROPERTY);
    case pStart:
    case pEnd:
    case pDuration: {
        qint64 start = kNoTime, end = kNoTime;
        bool ok = true;
        StartEnd(vcal, c, &start, &end, nullptr, &ok);
        if (prop == pStart)
            return ToLocal(start);
        if (prop == pEnd)
            return ToLocal(end);
        return start == kNoTime || end == kNoTime ? 0 : int((end - start) / 60);
    }
    case pBusyStatus: {
        if (icalproperty* x = FindX(c, kXBusy))
            return BusyFromText(XText(x));
        icalproperty* transp = icalcomponent_get_first_property(c, ICAL_TRANSP_PROPERTY);
        if (transp && icalproperty_get_transp(transp) == ICAL_TRANSP_TRANSPARENT)
            return int(olFree);
        return int(olBusy);
    }
    case pReminderMinutesBeforeStart: return AlarmMinutes(vcal, c);
    case pReminderSet: return FirstAlarm(c) != nullptr;
    case pReminderPlaySound: return GetX(c, kXPlaySound).compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
    case pReminderSoundFile: return GetX(c, kXSoundFile);
    case pBillingInformation: return GetX(c, kXBilling);
    case pMileage: return GetX(c, kXMileage);
    case pEntryID: return FromUtf8(icalcomponent_get_uid(c));
    case pCreationTime: {
        qint64 t = GetTime(vcal, c, ICAL_CREATED_PROPERTY);
        if (t == kNoTime)
            t = GetTime(vcal, c, ICAL_DTSTAMP_PROPERTY);
        return ToLocal(t);
    }
    case pLastModificationTime: {
        qint64 t = GetTime(vcal, c, ICAL_LASTMODIFIED_PROPERTY);
        if (t == kNoTime)
            t = GetTime(vcal, c, ICAL_DTSTAMP_PROPERTY);
        return ToLocal(t);
    }
    case pAllDayEvent: {
        bool date = false;
        GetTime(vcal, c, ICAL_DTSTART_PROPERTY, &date);
        return date;
    }
    case pIsRecurring: return Recurs(c) || IsOverride(c);
    case pCategories: return Categories(c);
    case pStartDate: return ToLocal(GetTime(vcal, c, ICAL_DTSTART_PROPERTY));
    case pDueDate: return ToLocal(GetTime(vcal, c, ICAL_DUE_PROPERTY));
    case pDateCompleted: return ToLocal(GetTime(vcal, c, ICAL_COMPLETED_PROPERTY));
    case pComplete: {
        icalproperty* status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
        return (status != nullptr && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED) ||
               icalcomponent_get_first_property(c, ICAL_COMPLETED_PROPERTY) != nullptr;
    }
    }
    return QVariant();
}

namespace {
// True when the component holds exactly one property of kind with exactly these text bytes,
// or none and the text is empty.
bool HoldsText(icalcomponent* c, icalproperty_kind kind, const QByteArray& text)
{
    icalproperty* p = icalcomponent_get_first_property(c, kind);
    if (!p)
        return text.isEmpty();
    if (icalcomponent_get_next_property(c, kind))
        return false;
    icalvalue* v = icalproperty_get_value(p);
    if (!v || icalvalue_isa(v) != ICAL_TEXT_VALUE || icalproperty_get_first_parameter(p, ICAL_ANY_PARAMETER))
        return false;
    const char* held = icalvalue_get_text(v);
    return held != nullptr && QByteArrayView(held) == text;
}
} // namespace

bool SetPropChanges(icalcomponent* vcal, icalcomponent* c, int prop, const QVariant& value)
{
    const bool event = icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT;
    switch (prop) {
    case pSubject: return !HoldsText(c, ICAL_SUMMARY_PROPERTY, ToIcalText(value.toString()));
    case pBody: return !HoldsText(c, ICAL_DESCRIPTION_PROPERTY, ToIcalText(value.toString()));
    case pLocation: return !HoldsText(c, ICAL_LOCATION_PROPERTY, ToIcalText(value.toString()));
    case pStart:
    case pEnd: {
        if (!event || (value.metaType().id() != QMetaType::QDateTime && value.metaType().id() != QMetaType::QDate))
            return true;
        const qint64 wanted = FromLocal(value, prop);
        qint64 start = kNoTime, end = kNoTime;
        bool wasDate = false, ok = true;
        StartEnd(vcal, c, &start, &end, &wasDate, &ok);
        // A date start becomes a date-time one when set: that is a change even at the same instant.
        if (!ok || wasDate || start == kNoTime || wanted == kNoTime)
            return true;
        return wanted != (prop == pStart ? start : end);
    }
    default: return true;
    }
}

void SetProp(icalcomponent* vcal, icalcomponent* c, int prop, const QVariant& value, bool endWasSet)
{
    const bool event = icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT;
    switch (prop) {
    case pSubject: SetText(c, ICAL_SUMMARY_PROPERTY, value.toString()); return;
    case pBody: SetText(c, ICAL_DESCRIPTION_PROPERTY, value.toString()); return;
    case pLocation: SetText(c, ICAL_LOCATION_PROPERTY, value.toString()); return;
    case pStart: {
        const qint64 start = FromLocal(value, prop);
        if (!event) {
            SetTime(vcal, c, ICAL_DTSTART_PROPERTY, start);
            return;
        }
        if (start == kNoTime)
            vb::Raise(vb::ErrTypeMismatch, QStringLiteral("An appointment cannot be without a start"));
        qint64 oldStart = kNoTime, oldEnd = kNoTime;
        bool wasDate = false, ok = true;
        StartEnd(vcal, c, &oldStart, &oldEnd, &wasDate, &ok);
        const bool hasEnd = icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY) != nullptr;
        const bool hasDuration = icalcomponent_get_first_property(c, ICAL_DURATION_PROPERTY) != nullptr;
        SetTime(vcal, c, ICAL_DTSTART_PROPERTY, start);
        if (endWasSet && oldEnd != kNoTime && oldEnd >= start) {
            // End was just given: the new start must not move it.
            RemoveAll(c, ICAL_DURATION_PROPERTY);
            SetTime(vcal, c, ICAL_DTEND_PROPERTY, oldEnd);
        } else if (hasEnd || wasDate || (hasDuration && wasDate)) {
            RemoveAll(c, ICAL_DURATION_PROPERTY);
            const qint64 length = oldStart != kNoTime && oldEnd != kNoTime ? oldEnd - oldStart : 0;
            SetTime(vcal, c, ICAL_DTEND_PROPERTY, start + length);
        }
        // With DURATION (a date-time start) or neither, the length stays as it is written.
        return;
    }
    case pEnd: {
        const qint64 end = FromLocal(value, prop);
        if (!event) {
            SetTime(vcal, c, ICAL_DUE_PROPERTY, end);
            return;
        }
        bool wasDate = false, ok = true;
        qint64 start = kNoTime, oldEnd = kNoTime;
        StartEnd(vcal, c, &start, &oldEnd, &wasDate, &ok);
        if (wasDate)
            SetTime(vcal, c, ICAL_DTSTART_PROPERTY, start); // a date-time end needs a date-time start
        RemoveAll(c, ICAL_DURATION_PROPERTY);
        SetTime(vcal, c, ICAL_DTEND_PROPERTY, end);
        return;
    }
    case pDuration: {
        const int minutes = ToInt(value, prop);
        qint64 start = kNoTime, end = kNoTime;
        bool ok = true;
        StartEnd(vcal, c, &start, &end, nullptr, &ok);
        if (start == kNoTime)
            vb::Raise(vb::ErrInvalidProcedureCall, QStringLiteral("Duration needs a start"));
        SetProp(vcal, c, pEnd, QDateTime::fromSecsSinceEpoch(start + qint64(minutes) * 60), false);
        return;
    }
    case pBusyStatus: {
        const int status = ToInt(value, prop);
        RemoveAll(c, ICAL_TRANSP_PROPERTY);
        icalcomponent_add_property(
            c, icalproperty_new_transp(status == olFree ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
        SetX(c, kXBusy, QString::fromLatin1(BusyText(status)));
        return;
    }
    case pReminderMinutesBeforeStart: SetAlarmMinutes(c, ToInt(value, prop)); return;
    case pReminderSet:
        if (value.toBool()) {
            if (!FirstAlarm(c))
                SetAlarmMinutes(c, 15);
        } else {
            while (icalcomponent* alarm = FirstAlarm(c)) {
                icalcomponent_remove_component(c, alarm);
                icalcomponent_free(alarm);
            }
        }
        return;
    case pReminderPlaySound:
        SetX(c, kXPlaySound, value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        return;
    case pReminderSoundFile: SetX(c, kXSoundFile, value.toString()); return;
    case pBillingInformation: SetX(c, kXBilling, value.toString()); return;
    case pMileage: SetX(c, kXMileage, value.toString()); return;
    case pCategories: {
        RemoveAll(c, ICAL_CATEGORIES_PROPERTY);
        for (const QString& one : value.toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QByteArray text = one.trimmed().toUtf8();
            if (!text.isEmpty())
                icalcomponent_add_property(c, icalproperty_new_categories(text.constData()));
        }
        return;
    }
    case pAllDayEvent: {
        qint64 start = kNoTime, end = kNoTime;
        bool wasDate = false, ok = true;
        StartEnd(vcal, c, &start, &end, &wasDate, &ok);
        if (start == kNoTime || value.toBool() == wasDate)
            return;
        RemoveAll(c, ICAL_DURATION_PROPERTY);
        if (value.toBool()) {
            const QDate first = QDateTime::fromSecsSinceEpoch(start).date();
            QDateTime last = QDateTime::fromSecsSinceEpoch(std::max(end, start));
            QDate after = last.time() == QTime(0, 0) && last.date() > first ? last.date() : last.date().addDays(1);
            SetTime(vcal, c, ICAL_DTSTART_PROPERTY, QDateTime(first, QTime(0, 0)).toSecsSinceEpoch(), true);
            SetTime(vcal, c, ICAL_DTEND_PROPERTY, QDateTime(after, QTime(0, 0)).toSecsSinceEpoch(), true);
        } else {
            SetTime(vcal, c, ICAL_DTSTART_PROPERTY, start);
            SetTime(vcal, c, ICAL_DTEND_PROPERTY, end);
        }
        return;
    }
    case pStartDate: SetTime(vcal, c, ICAL_DTSTART_PROPERTY, FromLocal(value, prop), true); return;
    case pDueDate: SetTime(vcal, c, ICAL_DUE_PROPERTY, FromLocal(value, prop), true); return;
    case pDateCompleted: SetTime(vcal, c, ICAL_COMPLETED_PROPERTY, FromLocal(value, prop), false, true); return;
    case pComplete:
        RemoveAll(c, ICAL_STATUS_PROPERTY);
        if (value.toBool()) {
            icalcomponent_add_property(c, icalproperty_new_status(ICAL_STATUS_COMPLETED));
            if (!icalcomponent_get_first_property(c, ICAL_COMPLETED_PROPERTY))
                SetTime(vcal, c, ICAL_COMPLETED_PROPERTY, QDateTime::currentSecsSinceEpoch(), false, true);
        } else {
            RemoveAll(c, ICAL_COMPLETED_PROPERTY);
        }
        return;
    default:
        vb::Raise(ErrCalendar, QStringLiteral("The property %1 cannot be changed").arg(QLatin1String(kProps[prop].name)));
    }
}

void PrepareForSave(icalcomponent* vcal)
{
    if (!icalcomponent_get_first_property(vcal, ICAL_VERSION_PROPERTY))
        icalcomponent_add_property(vcal, icalproperty_new_version("2.0"));
    if (!icalcomponent_get_first_property(vcal, ICAL_PRODID_PROPERTY))
        icalcomponent_add_property(vcal, icalproperty_new_prodid("-//Almbro//Almbro for Linux//SV"));
    const icaltimetype now = TimeIn(QDateTime::currentSecsSinceEpoch(), icaltimezone_get_utc_timezone());
    for (icalcomponent* c = icalcomponent_get_first_real_component(vcal); c;
         c = icalcomponent_get_next_component(vcal, ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind kind = icalcomponent_isa(c);
        if (kind != ICAL_VEVENT_COMPONENT && kind != ICAL_VTODO_COMPONENT && kind != ICAL_VJOURNAL_COMPONENT)
            continue;
        RemoveAll(c, ICAL_DTSTAMP_PROPERTY);
        icalcomponent_add_property(c, icalproperty_new_dtstamp(now));
        RemoveAll(c, ICAL_LASTMODIFIED_PROPERTY);
        icalcomponent_add_property(c, icalproperty_new_lastmodified(now));
    }
}

} // namespace cal::detail
