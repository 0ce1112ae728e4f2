#include "booking/Backend.h"
#include "booking/BookingErrors.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

namespace booking::detail {

namespace {

// A value in a libpq connection string: quoted, with quote and backslash escaped.
QString ConnValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

bool ConfigureServer(QSqlDatabase& db, const QString& location, QString& why)
{
    const QUrl url(location, QUrl::StrictMode);
    if (!url.isValid()) {
        why = texts::NotAServerAddress(url.errorString());
        return false;
    }
    // Passwords come from ~/.pgpass, PGPASSFILE or a service file only: a password in a
    // location would end up in a profile and in every message that names the location.
    const QUrlQuery query(url);
    if (!url.password().isEmpty() || query.hasQueryItem(QStringLiteral("password"))) {
        why = texts::PasswordInLocation();
        return false;
    }
    if (!url.host().isEmpty())
        db.setHostName(url.host());
    if (url.port() != -1)
        db.setPort(url.port());
    if (!url.userName().isEmpty())
        db.setUserName(url.userName());
    const QString name = url.path().mid(url.path().startsWith(QLatin1Char('/')) ? 1 : 0);
    if (!name.isEmpty())
        db.setDatabaseName(name);
    // The other libpq parameters (sslmode, host as a socket folder, service, ...) go through
    // as they are; the driver splits its options at ";", so no value may hold one.
    QStringList options;
    bool timeout = false;
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        bool plain = !key.isEmpty();
        for (const QChar c : key)
            plain = plain && (c.isLetterOrNumber() || c == QLatin1Char('_'));
        if (!plain || value.contains(QLatin1Char(';'))) {
            why = texts::NotAServerAddress(key + QLatin1Char('=') + value);
            return false;
        }
        timeout = timeout || key == QLatin1String("connect_timeout");
        options << key + QLatin1Char('=') + ConnValue(value);
    }
    // A server that does not answer at all is reported after a while, not waited for forever.
    if (!timeout)
        options << QStringLiteral("connect_timeout=10");
    options << QStringLiteral("application_name=Almbro");
    db.setConnectOptions(options.join(QLatin1Char(';')));
    return true;
}

} // namespace

BackendKind BackendFor(const QString& location)
{
    if (location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return BackendKind::PostgreSQL;
    return BackendKind::SQLite;
}

QString DriverName(BackendKind kind)
{
    return kind == BackendKind::PostgreSQL ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

QString ShownLocation(const QString& location)
{
    if (BackendFor(location) != BackendKind::PostgreSQL)
        return location;
    QUrl url(location);
    if (!url.isValid())
        return location.section(QLatin1Char('@'), -1); // whatever stood before an "@" may be secret
    url.setPassword(QString());
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("password"));
    url.setQuery(query);
    return url.toString();
}

bool Configure(QSqlDatabase& db, BackendKind kind, const QString& location, bool readOnly, bool create,
               int busyTimeoutMs, QString& why)
{
    if (kind == BackendKind::PostgreSQL)
        return ConfigureServer(db, location, why);
    // A URI with an explicit mode: "rw" never creates a file, whatever the driver's default.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(location).absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=") + (readOnly ? QStringLiteral("ro")
                                            : create ? QStringLiteral("rwc")
                                                     : QStringLiteral("rw")));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    QString options = QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    return true;
}

QStringList ConnectionSettings(BackendKind kind, int busyTimeoutMs, bool readOnly)
{
    if (kind == BackendKind::PostgreSQL) {
        // The range and clash statements are prepared once and run with ever other times: a
        // plan made for the times at hand keeps to the index seeks, where the server's generic
        // plan reads a week's bookings at a third of the speed.
        QStringList settings = {QStringLiteral("SET lock_timeout = %1").arg(busyTimeoutMs),
                                QStringLiteral("SET client_encoding = 'UTF8'"),
                                QStringLiteral("SET plan_cache_mode = force_custom_plan")};
        if (readOnly)
            settings << QStringLiteral("SET default_transaction_read_only = on");
        return settings;
    }
    return {QStringLiteral("PRAGMA foreign_keys = ON"), QStringLiteral("PRAGMA cache_size = -32768"),
            QStringLiteral("PRAGMA mmap_size = 1073741824")};
}

QString DataVersionQuery(BackendKind kind)
{
    return kind == BackendKind::SQLite ? QStringLiteral("PRAGMA data_version") : QString();
}

QString BeginWriteStatement(BackendKind kind)
{
    return kind == BackendKind::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
}

QString ResourceLockStatement(BackendKind kind)
{
    // The first key says whose lock it is, so another program's advisory locks never meet ours.
    return kind == BackendKind::PostgreSQL ? QStringLiteral("SELECT pg_advisory_xact_lock(1347177037, ?)") : QString();
}

long ErrorNumberFor(BackendKind kind, const QSqlError& error)
{
    if (kind == BackendKind::PostgreSQL) {
        const QString state = error.nativeErrorCode();
        if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001"))
            return ErrLocked; // lock timeout, deadlock, serialization failure: nothing was written
        if (state == QLatin1String("25006"))
            return ErrReadOnly;
        if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
            state.startsWith(QLatin1String("53")) || error.type() == QSqlError::ConnectionError ||
            (state.isEmpty() && error.databaseText().contains(QLatin1String("connection"), Qt::CaseInsensitive)))
            return ErrDiskIO; // the server went away or is out of resources
        if (state.startsWith(QLatin1String("XX")))
            return ErrDamaged;
        return ErrDatabase;
    }
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    if (!ok)
        return ErrDatabase;
    switch (code & 0xFF) { // the primary code of an extended result code
    case 5:                // SQLITE_BUSY
    case 6:                // SQLITE_LOCKED
        return ErrLocked;
    case 8: // SQLITE_READONLY
        return ErrReadOnly;
    case 10: // SQLITE_IOERR
    case 13: // SQLITE_FULL
    case 14: // SQLITE_CANTOPEN
        return ErrDiskIO;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return ErrDamaged;
    default:
        return ErrDatabase;
    }
}

bool ConnectionLost(BackendKind kind, const QSqlError& error)
{
    if (kind != BackendKind::PostgreSQL)
        return false;
    const QString state = error.nativeErrorCode();
    return state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
           error.type() == QSqlError::ConnectionError ||
           error.databaseText().contains(QLatin1String("server closed the connection"), Qt::CaseInsensitive) ||
           error.databaseText().contains(QLatin1String("no connection to the server"), Qt::CaseInsensitive);
}

namespace {
[[noreturn]] void Fail(BackendKind kind, const QSqlQuery& query)
{
    RaiseBooking(ErrorNumberFor(kind, query.lastError()), query.lastError().text());
}

// A statement without parameters (a server cannot prepare schema statements).
QSqlQuery Direct(QSqlDatabase& db, BackendKind kind, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        Fail(kind, query);
    return query;
}
} // namespace

Mark ReadMark(QSqlDatabase& db, BackendKind kind)
{
    Mark mark;
    if (kind == BackendKind::SQLite) {
        QSqlQuery id = Direct(db, kind, QStringLiteral("PRAGMA application_id"));
        if (!id.next())
            Fail(kind, id); // a file that is not a database answers here
        mark.applicationId = id.value(0).toLongLong();
        QSqlQuery version = Direct(db, kind, QStringLiteral("PRAGMA user_version"));
        mark.version = version.next() ? version.value(0).toLongLong() : 0;
        return mark;
    }
    QSqlQuery exists = Direct(db, kind, QStringLiteral("SELECT to_regclass('\"Databas\"') IS NOT NULL"));
    if (!exists.next() || !exists.value(0).toBool())
        return mark;
    QSqlQuery query = Direct(db, kind, QStringLiteral("SELECT \"Program\", \"Version\" FROM \"Databas\""));
    if (query.next()) {
        mark.applicationId = query.value(0).toLongLong();
        mark.version = query.value(1).toLongLong();
    }
    return mark;
}

void WriteMark(QSqlDatabase& db, BackendKind kind, qint32 applicationId, qint32 version)
{
    if (kind == BackendKind::SQLite) {
        // Pragmas take no parameters; both numbers are our own constants.
        Direct(db, kind, QStringLiteral("PRAGMA application_id = %1").arg(applicationId));
        Direct(db, kind, QStringLiteral("PRAGMA user_version = %1").arg(version));
        return;
    }
    Direct(db, kind,
           QStringLiteral("CREATE TABLE IF NOT EXISTS \"Databas\" (\"Program\" INTEGER NOT NULL, "
                          "\"Version\" INTEGER NOT NULL)"));
    Direct(db, kind, QStringLiteral("DELETE FROM \"Databas\""));
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("INSERT INTO \"Databas\" (\"Program\", \"Version\") VALUES (?, ?)")))
        Fail(kind, insert);
    insert.addBindValue(applicationId);
    insert.addBindValue(version);
    if (!insert.exec())
        Fail(kind, insert);
}

Dialect DialectOf(BackendKind kind)
{
    if (kind == BackendKind::PostgreSQL)
        // Times compare in the "C" collation, as SQLite compares them; a note may be longer
        // than an index entry can hold on a server, so the notes stay in the table.
        return {QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"),
                QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"),
                QStringLiteral("TEXT COLLATE \"C\""), QStringLiteral("DOUBLE PRECISION"), false};
    return {QStringLiteral("INTEGER PRIMARY KEY"), QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
            QStringLiteral("TEXT"), QStringLiteral("REAL"), true};
}

} // namespace booking::detail
