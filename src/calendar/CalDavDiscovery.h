#pragma once
// Finding the calendar collection a CalDAV address means (RFC 4791, 5397, 6764): the address
// itself when it is a calendar; else the user's principal (from the address, or from
// /.well-known/caldav), its calendar-home-set, and there the calendar the address's fragment
// names (display name or last path segment), or the first one that holds events.
// Private to the calendar library.
#include "calendar/CalDavHttp.h"

namespace cal::detail::dav {

// The collection's URL, ending in "/". Raises 429 naming the server and the cause when the
// server cannot be asked or holds no such calendar.
QUrl FindCalendar(Client& client, const QUrl& start, const QString& wanted);

} // namespace cal::detail::dav
