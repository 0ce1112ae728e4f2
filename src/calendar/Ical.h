#pragma once
// libical behind one private header: parsing and writing iCalendar text, time zones, and times
// as UTC seconds. Nothing outside src/calendar includes this.
#include <libical/ical.h>

#include <QByteArray>
#include <QString>
#include <limits>
#include <memory>

namespace cal::detail {

// A time that is not there (Outlook's empty date 4501-01-01 on the surface).
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();
// Later than any series can run.
constexpr qint64 kForever = std::numeric_limits<qint64>::max();

struct ComponentDeleter {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

// Sets libical up once (errors not fatal).
void InitIcal();

// Parses iCalendar text into its VCALENDAR; raises ErrCalendar naming where when the text
// is not iCalendar. A byte-order mark is skipped. Texts keep the blanks they were written with,
// and an RDATE period written without VALUE=PERIOD is read as one.
ComponentPtr ParseCalendar(const QByteArray& input, const QString& where);
// The text of a component, without the X-LIC-* notes libical adds (they are dropped from the
// component too).
QByteArray Serialize(icalcomponent* component);

// The TZID of a VTIMEZONE (empty when it has none).
QByteArray VTimezoneId(icalcomponent* vtimezone);

QString FromUtf8(const char* text);

// The TZID of a VTIMEZONE of the calendar whose rules change the offset far more often than
// any real zone does (libical would work out every change from the rule's first year on);
// empty when there is none. An item using such a zone is skipped with this as the reason.
QByteArray UnusableZone(icalcomponent* vcalendar);

// The zone a TZID names: a zone of the system's database by its name (also with a libical
// prefix), a Windows zone name through its usual IANA zone, else the VTIMEZONE of the calendar.
// key is set to the database name when the zone is one of the system's (shared and cheap to
// find again), and left empty for a zone only the calendar defines. Nothing when unknown.
icaltimezone* ResolveZone(icalcomponent* vcalendar, const char* tzid, QByteArray* key);
icaltimezone* BuiltinZone(const QByteArray& key);

// The zone we write times in: the system's zone, by its database name. key gets the name.
// Nothing when the system's zone has no database name (then times are written in UTC).
icaltimezone* SystemZone(QByteArray* key = nullptr);

// The VTIMEZONE to store beside times in the system zone from the given year on, with the
// plain database name as its TZID. A fresh copy.
icalcomponent* VTimezoneFor(const QByteArray& key, int fromYear);

// Reads a time property's value as UTC seconds: a UTC time, a time in its TZID's zone, a floating
// time in the system's zone, a date at the system zone's midnight. Sets isDate. kNoTime when the
// property is missing or not a time.
qint64 TimeOf(icalcomponent* vcalendar, icalproperty* property, bool* isDate = nullptr, QByteArray* zoneKey = nullptr,
              icaltimezone** zone = nullptr);

// UTC seconds of a libical time in its zone (floating and dates: the system's zone).
qint64 UtcOf(const icaltimetype& t, icaltimezone* zone);
// A libical time for UTC seconds as wall time in zone (UTC when zone is null).
icaltimetype TimeIn(qint64 utc, icaltimezone* zone, bool isDate = false);

// Seconds of an iCalendar duration, or nothing when it is not a usable one (bad, or longer than
// a few centuries).
bool DurationSeconds(const icaldurationtype& d, qint64* seconds);

} // namespace cal::detail
