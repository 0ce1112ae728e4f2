#pragma once
// Whether two iCalendar texts hold the same item: the same components with the same properties
// and values, whatever their order and line folding, leaving out the stamps every save renews
// (DTSTAMP, LAST-MODIFIED). A store that is handed an item equal to the one it holds writes
// nothing, so an unchanged item keeps its etag and no other client downloads it again.
// Private to the calendar library.
#include <QByteArray>

namespace cal::detail {

// False also when either text is not iCalendar.
bool SameItem(const QByteArray& a, const QByteArray& b);

} // namespace cal::detail
