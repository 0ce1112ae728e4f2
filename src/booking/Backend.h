#pragma once
// Which database engine serves a path, and what is particular to each engine. Everything
// engine-specific lives behind these functions; the rest of the component speaks plain SQL
// with bound parameters through QtSql.
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

namespace booking::detail {

enum class BackendKind { SQLite, PostgreSQL };

// The one place that chooses: a "postgresql://" (or "postgres://") URL is a server
// database; anything else is a file served by SQLite.
BackendKind BackendFor(const QString& path);
QString DriverName(BackendKind kind);

// What a database file says about itself in its first bytes, read as a plain file so that
// looking can never change it.
struct FileHeader {
    qint32 verdict = 0; // an ÖppnaSvar: Öppnad when it is an SQLite file of ours
    qint32 applicationId = 0;
    qint32 userVersion = 0;
};
FileHeader ReadSqliteHeader(const QString& path, qint32 applicationId);

// Sets up db (already added with the driver) to open path. create allows a new file.
void ConfigureSqlite(QSqlDatabase& db, const QString& path, bool readOnly, bool create, int busyTimeoutMs);

// Statements run on every new connection: foreign keys on, and for SQLite a page cache and
// memory-mapped reads large enough that a week's fetch from a million bookings stays in
// memory instead of going to the file a page at a time.
QStringList ConnectionSettings(BackendKind kind);

// A query whose one number changes whenever another connection has committed a change to
// the database; empty when the engine has none (then nothing is cached).
QString DataVersionQuery(BackendKind kind);

// The statement that starts a transaction that will write: SQLite takes the write lock at
// once, so a clash check and the save that follows it see the same data.
QString BeginWriteStatement(BackendKind kind);

// The component's error number for a driver error.
long ErrorNumberFor(BackendKind kind, const QSqlError& error);

} // namespace booking::detail
