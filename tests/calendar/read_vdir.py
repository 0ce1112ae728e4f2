# Reads every item file of a vdir collection with python3-icalendar, an iCalendar reader
# independent of ours, and prints uid|start|end|subject|billing|mileage|sound file per event.
import os
import sys

import icalendar

folder = sys.argv[1]
for name in sorted(os.listdir(folder)):
    if name.startswith('.') or not name.endswith('.ics'):
        continue
    with open(os.path.join(folder, name), 'rb') as f:
        calendar = icalendar.Calendar.from_ical(f.read())
    for event in calendar.walk('VEVENT'):
        fields = [
            str(event['UID']),
            event.decoded('DTSTART').isoformat(),
            event.decoded('DTEND').isoformat(),
            str(event.get('SUMMARY', '')),
            str(event.get('X-ALMBRO-BILLINGINFORMATION', '')),
            str(event.get('X-ALMBRO-MILEAGE', '')),
            str(event.get('X-ALMBRO-REMINDERSOUNDFILE', '')),
        ]
        print('|'.join(f.replace('\n', '\\n') for f in fields))
