#include "platform/Logging.h"

Q_LOGGING_CATEGORY(lcCalendar, "almbro.calendar", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCalDav, "almbro.caldav", QtWarningMsg)
Q_LOGGING_CATEGORY(lcOutlook, "almbro.outlook", QtWarningMsg)
