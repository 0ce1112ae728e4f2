#pragma once
// The tables of a booking database and the steps that bring a database to the current
// schema version. A new database is made by running every step from version 0, so the
// upgrade path is the creation path and is exercised every time a database is made.
#include "booking/Backend.h"
#include <QSqlDatabase>

#include <QString>
#include <QStringList>

namespace booking::detail {

// "PLNM": marks an SQLite file as a booking database (PRAGMA application_id).
constexpr qint32 kApplicationId = 0x504C4E4D;
// PRAGMA user_version of the schema this program writes.
constexpr qint32 kSchemaVersion = 1;

// Runs the steps after version from, inside a write transaction that the caller holds.
void UpgradeSchema(QSqlDatabase& db, BackendKind kind, qint32 from);

// Every column of Bokningar, Nyckel first.
QStringList BookingColumns();

// The tables and columns ("Bokningar.Notering") the current schema has and the database
// lacks; noTables tells that none of its tables is there at all.
QStringList MissingParts(QSqlDatabase& db, bool& noTables);

// Runs one statement without parameters (schema and pragmas only); raises on failure.
void ExecStatement(QSqlDatabase& db, const QString& sql);
// Runs a query with one integer answer (pragmas); raises on failure.
qint64 QueryNumber(QSqlDatabase& db, const QString& sql);

} // namespace booking::detail
