# The occurrences of an iCalendar file in a window, read by python3-icalendar and expanded with
# python3-dateutil after RFC 5545: a second reader that shares nothing with ours, for comparing
# with what the import list shows.
#
#   reference_occurrences.py [--first-item] FILE FIRST-DAY LAST-DAY
#
# Prints one line per occurrence whose start is on or after FIRST-DAY 00:00 and whose end is on
# or before the end of LAST-DAY (local time of the TZ environment variable):
#   start|end|subject|all-day|recurring
# with times as local wall time "YYYY-MM-DDTHH:MM:SS". Floating times and dates are local.
import datetime
import sys

import icalendar
from dateutil import rrule

LOCAL = datetime.datetime.now().astimezone().tzinfo


def local_aware(value):
    """A date, naive or aware datetime as an aware datetime in local time."""
    if not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    # Floating: the wall time here.
    return value.astimezone()


def text(value):
    return '' if value is None else str(value)


class Zone:
    """Wall time of a series to absolute time and back (pytz zones need localize)."""

    def __init__(self, start):
        self.date = not isinstance(start, datetime.datetime)
        self.tz = None if self.date else start.tzinfo

    def wall(self, value):
        if not isinstance(value, datetime.datetime):
            return datetime.datetime(value.year, value.month, value.day)
        if value.tzinfo is None or self.tz is None:
            if value.tzinfo is not None:
                return local_aware(value).replace(tzinfo=None)
            return value
        return value.astimezone(self.tz).replace(tzinfo=None)

    def absolute(self, wall):
        if self.tz is None:
            return local_aware(wall)
        if hasattr(self.tz, 'localize'):
            return self.tz.normalize(self.tz.localize(wall)).astimezone()
        return wall.replace(tzinfo=self.tz).astimezone()


def zone_named(tzid):
    try:
        import pytz
        return pytz.timezone(tzid)
    except Exception:  # noqa: BLE001 - a zone only the file defines
        return icalendar.cal._timezone_cache.get(tzid)


def values(component, name):
    prop = component.get(name)
    if prop is None:
        return []
    props = prop if isinstance(prop, list) else [prop]
    out = []
    for p in props:
        tzid = p.params.get('TZID') if hasattr(p, 'params') else None
        tz = zone_named(tzid) if tzid else None

        def zoned(v):
            # A period's times are read without their TZID: give it back.
            if tz is not None and isinstance(v, datetime.datetime) and v.tzinfo is None:
                return tz.localize(v) if hasattr(tz, 'localize') else v.replace(tzinfo=tz)
            return v
        for d in getattr(p, 'dts', None) or []:
            value = d.dt
            first = value[0] if isinstance(value, tuple) else value
            # Only dates, date-times and periods are occurrences (not VALUE=TIME).
            if isinstance(first, (datetime.date, datetime.datetime)):
                out.append((zoned(value[0]), zoned(value[1])) if isinstance(value, tuple) else zoned(value))
    return out


def decoded(component, name):
    """A property's value; the first, when a component has it more than once."""
    prop = component.get(name)
    if isinstance(prop, list):
        prop = prop[0]
    return prop.dt if hasattr(prop, 'dt') else component.decoded(name)


def start_end(event):
    start = decoded(event, 'DTSTART')
    if not isinstance(start, (datetime.date, datetime.datetime)):
        raise ValueError('DTSTART is neither a date nor a date-time')
    if 'DTEND' in event:
        end = decoded(event, 'DTEND')
    elif 'DURATION' in event:
        duration = decoded(event, 'DURATION')
        if not isinstance(duration, datetime.timedelta):
            raise ValueError('DURATION is not a duration')
        end = start + duration
    elif not isinstance(start, datetime.datetime):
        end = start + datetime.timedelta(days=1)
    else:
        end = start
    return start, end


def is_date(value):
    return not isinstance(value, datetime.datetime)


def fmt(value):
    return value.strftime('%Y-%m-%dT%H:%M:%S')


def expand(master, overrides, low, high, out):
    start, end = start_end(master)
    zone = Zone(start)
    all_day = is_date(start)
    subject = text(master.get('SUMMARY'))
    recurring = 'RRULE' in master or bool(values(master, 'RDATE'))
    if all_day:
        days = (end - start).days if is_date(end) else max(0, round((local_aware(end) - local_aware(start)).total_seconds() / 86400))
        length = None
    else:
        length = local_aware(end) - local_aware(start)
    wall_start = zone.wall(start)

    def ends(abs_start, days_or_length):
        if all_day:
            return local_aware((abs_start.replace(tzinfo=None) + datetime.timedelta(days=days_or_length)).date())
        return abs_start + days_or_length

    def absolute(value):
        if is_date(value):
            return local_aware(value)
        if value.tzinfo is not None:
            return local_aware(value)
        return zone.absolute(value)

    originals = {}  # absolute start -> own end (None: the series' length)
    if recurring:
        rules = master.get('RRULE')
        rules = rules if isinstance(rules, list) else ([rules] if rules is not None else [])
        for rule in rules:
            until = rule.get('UNTIL')
            parts = {k: v for k, v in rule.items() if k != 'UNTIL'}
            body = icalendar.vRecur(parts).to_ical().decode()
            r = rrule.rrulestr(body, dtstart=wall_start)
            if until:
                u = until[0]
                if is_date(u):
                    u = datetime.datetime(u.year, u.month, u.day, 23, 59, 59) if not all_day else datetime.datetime(u.year, u.month, u.day)
                else:
                    u = zone.wall(u)
                r = r.replace(until=u)
            limit = zone.wall(high) if not all_day else high.replace(tzinfo=None)
            for n, wall in enumerate(r):
                if wall > limit + datetime.timedelta(days=400) or n > 20000:
                    break
                originals.setdefault(zone.absolute(wall), None)
        for value in values(master, 'RDATE'):
            if isinstance(value, tuple):
                first, second = value
                a = absolute(first)
                own = a + second if isinstance(second, datetime.timedelta) else absolute(second)
                originals.setdefault(a, own)
            else:
                originals.setdefault(absolute(value), None)
        for value in values(master, 'EXDATE'):
            originals.pop(absolute(value), None)
    # DTSTART is always the first occurrence, unless excluded.
    first = zone.absolute(wall_start)
    excluded = recurring and any(absolute(v) == first for v in values(master, 'EXDATE'))
    if not excluded:
        originals.setdefault(first, None)

    changed = {}
    ranges = []
    for o in overrides:
        rid_abs = absolute(decoded(o, 'RECURRENCE-ID'))
        if rid_abs in changed:
            continue
        changed[rid_abs] = o
        param = o['RECURRENCE-ID'].params.get('RANGE', '')
        if recurring and param.upper() == 'THISANDFUTURE':
            ranges.append((rid_abs, o))
    ranges.sort(key=lambda x: x[0])

    for original, own_end in originals.items():
        if original in changed:
            continue
        governing = None
        for rid_abs, o in ranges:
            if rid_abs < original:
                governing = (rid_abs, o)
        if governing is None:
            s = original
            e = own_end if own_end is not None else ends(s, days if all_day else length)
            subj = subject
        else:
            rid_abs, o = governing
            os_, oe = start_end(o)
            if all_day:
                shift = (local_aware(os_).date() - rid_abs.date()).days
                s = local_aware((original.replace(tzinfo=None) + datetime.timedelta(days=shift)).date())
                e = ends(s, max(0, (local_aware(oe).date() - local_aware(os_).date()).days))
            else:
                s = original + (local_aware(os_) - rid_abs)
                e = s + (local_aware(oe) - local_aware(os_))
            subj = text(o.get('SUMMARY'))
        out.append((s, e, subj, all_day, recurring))
    for rid_abs, o in changed.items():
        os_, oe = start_end(o)
        out.append((local_aware(os_), local_aware(oe), text(o.get('SUMMARY')), is_date(os_), True))


def main():
    # --first-item: only the first UID of the file counts, as in a vdir, where a file is one item.
    first_item = '--first-item' in sys.argv
    args = [a for a in sys.argv[1:] if a != '--first-item']
    path, first, last = args[:3]
    low = datetime.datetime.strptime(first, '%Y-%m-%d').astimezone()
    high = (datetime.datetime.strptime(last, '%Y-%m-%d') + datetime.timedelta(days=1)).astimezone()
    with open(path, 'rb') as f:
        data = f.read()
    if data.startswith(b'\xef\xbb\xbf'):
        data = data[3:]  # a byte-order mark says nothing about the calendar
    try:
        calendars = icalendar.Calendar.from_ical(data, multiple=True)
    except Exception as e:  # noqa: BLE001 - unreadable for this reader too
        print('UNREADABLE %s' % e, file=sys.stderr)
        return 3
    if not calendars:
        print('UNREADABLE no VCALENDAR', file=sys.stderr)
        return 3
    calendar = calendars[0]
    by_uid = {}
    order = []
    for event in calendar.walk('VEVENT'):
        if 'DTSTART' not in event:
            continue
        try:
            decoded(event, 'DTSTART')
        except Exception:  # noqa: BLE001
            continue
        uid = text(event.get('UID'))
        if uid not in by_uid:
            by_uid[uid] = []
            order.append(uid)
        by_uid[uid].append(event)
    out = []
    if first_item:
        order = order[:1]
    for uid in order:
        events = by_uid[uid]
        masters = [e for e in events if 'RECURRENCE-ID' not in e]
        overrides = [e for e in events if 'RECURRENCE-ID' in e]
        try:
            if masters:
                expand(masters[0], overrides, low, high, out)
            else:
                for o in overrides:
                    s, e = start_end(o)
                    out.append((local_aware(s), local_aware(e), text(o.get('SUMMARY')), is_date(s), True))
        except Exception as e:  # noqa: BLE001 - an item no reader can use is skipped
            print('skipped %s: %r' % (uid, e), file=sys.stderr)
    lines = []
    for s, e, subject, all_day, recurring in out:
        if s < low or e > high:
            continue
        lines.append('|'.join([fmt(s), fmt(e), subject.replace('\r\n', '\n').replace('\n', '\\n'),
                               'all-day' if all_day else 'timed', 'recurring' if recurring else 'single']))
    for line in sorted(lines):
        print(line)
    return 0


if __name__ == '__main__':
    sys.exit(main())
