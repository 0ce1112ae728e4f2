#pragma once
// The tables of a booking database and the steps that bring a database to the current
// schema version. A new database is made by running every step from version 0, so the
// upgrade path is the creation path and is exercised every time a database is made.
#include <QSqlDatabase>
#include <QString>

namespace booking::detail {

// "PLNM": marks an SQLite file as a booking database (PRAGMA application_id).
constexpr qint32 kApplicationId = 0x504C4E4D;
// PRAGMA user_version of the schema this program writes.
constexpr qint32 kSchemaVersion = 1;

// Runs the steps after version from, inside a write transaction that the caller holds.
void UpgradeSchema(QSqlDatabase& db, qint32 from);

// The tables every version has; a file marked as ours without them is not usable.
bool HasBookingTables(QSqlDatabase& db);

// Runs one statement without parameters (schema and pragmas only); raises on failure.
void ExecStatement(QSqlDatabase& db, const QString& sql);
// Runs a query with one integer answer (pragmas); raises on failure.
qint64 QueryNumber(QSqlDatabase& db, const QString& sql);

} // namespace booking::detail
