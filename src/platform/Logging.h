#pragma once
// The program's logging categories, one per library, so that a run can route or mute them:
//   QT_LOGGING_RULES="almbro.calendar.warning=false"   (skipped calendar items not reported)
//   QT_LOGGING_RULES="almbro.*.info=true"              (what the CalDAV store decided, and more)
// Warnings are on by default, information off.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCalendar) // almbro.calendar: items skipped or not saved
Q_DECLARE_LOGGING_CATEGORY(lcCalDav)   // almbro.caldav: server answers and decisions
Q_DECLARE_LOGGING_CATEGORY(lcOutlook)  // almbro.outlook: the calendar adapter
