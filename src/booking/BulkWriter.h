#pragma once
// Writes many resources and bookings in one transaction with prepared statements: for
// planumdb's demo data and the benchmarks' million bookings. It checks what the database
// itself must hold (times in order, resources and statuses that exist) but not clashes:
// demo data may overlap, as a database kept with Överlapp allowed does. On a server the
// bookings after the first thousand go over in blocks through COPY, with numbers taken from
// the table's sequence beforehand, so a million bookings cost seconds instead of a million
// round trips; the unused rest of the last block is never given out. Such a load into a
// server table that held no bookings drops the table's indexes and foreign keys and makes
// them again at the commit (the table is locked meanwhile), and commits without waiting for
// the server's log to reach its disk.
#include "booking/DBFunk.h"

#include <QByteArray>
#include <QStringList>
#include <vector>

namespace booking {

class BulkWriter {
public:
    // Begins a write transaction on an open, writable connection (3420, 3027, 3218).
    explicit BulkWriter(DBFunk& connection);
    // Rolls back everything unless Commit was called.
    ~BulkWriter();
    BulkWriter(const BulkWriter&) = delete;
    BulkWriter& operator=(const BulkWriter&) = delete;

    // Adds a resource; gives its number.
    qint32 AddResource(const QString& förNamn, const QString& efterNamn, const QString& placering);
    // Adds a booking as new whatever its Nyckel; gives its number. Times missing raise 13,
    // an end before the start 5.
    qint32 AddBooking(const DBPost& post);
    void Commit();

private:
    void BeginLargeLoad();
    void Flush();

    DBFunk::Impl& m_impl;
    bool m_done = false;
    bool m_copy = false;
    QByteArray m_rows;             // COPY text of the bookings not sent yet
    std::vector<qint32> m_numbers; // numbers taken from the sequence, not used yet
    std::size_t m_nextNumber = 0;
    qint64 m_added = 0;
    bool m_wasEmpty = false; // the table held no bookings when the writer began
    bool m_large = false;    // the first block went over
    QStringList m_restore;   // the indexes and keys to make again at the end
};

} // namespace booking
