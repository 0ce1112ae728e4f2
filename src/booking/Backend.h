#pragma once
// Which database engine serves a location, and what is particular to each engine. Everything
// engine-specific lives behind these functions; the rest of the component speaks plain SQL
// with bound parameters through QtSql, the same text for both engines.
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

namespace booking::detail {

enum class BackendKind { SQLite, PostgreSQL };

// The one place that chooses: a "postgresql://" (or "postgres://") URL is a server
// database; anything else is a file served by SQLite.
BackendKind BackendFor(const QString& location);
QString DriverName(BackendKind kind);

// The location as it may be shown or logged: a server URL without any password in it.
QString ShownLocation(const QString& location);

// Sets up db (already added with the driver) to open location. create allows a new SQLite
// file. Answers false with the reason in why when the location cannot be used as it is
// (a server URL that cannot be read, or one that carries a password).
bool Configure(QSqlDatabase& db, BackendKind kind, const QString& location, bool readOnly, bool create,
               int busyTimeoutMs, QString& why);

// Statements run on every new connection: foreign keys on, and for SQLite a page cache and
// memory-mapped reads large enough that a week's fetch from a million bookings stays in
// memory instead of going to the file a page at a time; for a server, how long to wait for
// another desk's lock, and a read-only session when asked for one.
QStringList ConnectionSettings(BackendKind kind, int busyTimeoutMs, bool readOnly);

// A query whose one number changes whenever another connection has committed a change to
// the database; empty when the engine has none (then nothing is cached).
QString DataVersionQuery(BackendKind kind);

// The statement that starts a transaction that will write: SQLite takes the write lock at
// once, so a clash check and the save that follows it see the same data.
QString BeginWriteStatement(BackendKind kind);

// A statement, run first in a write transaction, that keeps every other save of the same
// resource waiting until this transaction ends (its one parameter is the resource number);
// empty where BeginWriteStatement already serializes all writers.
QString ResourceLockStatement(BackendKind kind);

// The component's error number for a driver error.
long ErrorNumberFor(BackendKind kind, const QSqlError& error);
// Whether the error means the connection itself is gone (a server that stopped or was cut
// off); nothing of an open transaction was kept then.
bool ConnectionLost(BackendKind kind, const QSqlError& error);

// What marks a database as ours, and its schema version: PRAGMA application_id and
// user_version in a file, a one-row table on a server (where 0, 0 means no mark).
struct Mark {
    qint64 applicationId = 0;
    qint64 version = 0;
};
Mark ReadMark(QSqlDatabase& db, BackendKind kind);
void WriteMark(QSqlDatabase& db, BackendKind kind, qint32 applicationId, qint32 version);

// The words of a column type where the dialects differ.
struct Dialect {
    QString rowKey;            // an integer key the database numbers itself
    QString everKey;           // the same, never giving a number twice
    QString timeText;          // the wall-clock texts, compared byte by byte
    QString real;              // a double-precision number
    bool coveringNotes = true; // whether an index may hold the note texts
};
Dialect DialectOf(BackendKind kind);

} // namespace booking::detail
