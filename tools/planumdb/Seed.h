#pragma once
// Demo data for a booking database: Swedish-looking resources, customers, places and notes
// (with quotes and line breaks), varied statuses, some cancelled bookings and a few long
// absences. The same options and seed give the same data.
#include "booking/DBFunk.h"

#include <QDate>
#include <functional>

namespace planumdb {

struct SeedOptions {
    qint32 resources = 12;
    qint64 bookings = 300;
    QDate from;       // the first day; invalid: the Monday of the current week
    qint32 days = 28; // bookings are spread over this many days from the first
    quint32 seed = 1;
};

struct SeedCounts {
    qint32 resources = 0;
    qint64 bookings = 0;
};

// The Monday of the week that holds day.
QDate MondayOf(const QDate& day);

// Adds the resources and bookings to an open, writable connection in one transaction.
// progress (optional) is told the number of bookings written now and then.
SeedCounts Seed(booking::DBFunk& db, const SeedOptions& options,
                const std::function<void(qint64 written)>& progress = {});

} // namespace planumdb
