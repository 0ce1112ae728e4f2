#include "booking/Backend.h"
#include "booking/BookingErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QtEndian>

namespace booking::detail {

BackendKind BackendFor(const QString& path)
{
    if (path.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        path.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return BackendKind::PostgreSQL;
    return BackendKind::SQLite;
}

QString DriverName(BackendKind kind)
{
    return kind == BackendKind::PostgreSQL ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

FileHeader ReadSqliteHeader(const QString& path, qint32 applicationId)
{
    FileHeader header;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        header.verdict = FilSaknas;
        return header;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        header.verdict = KanInteÖppna;
        return header;
    }
    // The header is 100 bytes: the magic text, then big-endian fields; the user version
    // is at offset 60 and the application id at 68.
    const QByteArray bytes = file.read(100);
    if (bytes.size() < 100 || !bytes.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        header.verdict = InteDatabas;
        return header;
    }
    header.userVersion = qFromBigEndian<qint32>(bytes.constData() + 60);
    header.applicationId = qFromBigEndian<qint32>(bytes.constData() + 68);
    header.verdict = header.applicationId == applicationId ? Öppnad : AnnanDatabas;
    return header;
}

void ConfigureSqlite(QSqlDatabase& db, const QString& path, bool readOnly, bool create, int busyTimeoutMs)
{
    // A URI with an explicit mode: "rw" never creates a file, whatever the driver's default.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=") + (readOnly ? QStringLiteral("ro")
                                            : create ? QStringLiteral("rwc")
                                                     : QStringLiteral("rw")));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    QString options = QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
}

QStringList ConnectionSettings(BackendKind kind)
{
    if (kind != BackendKind::SQLite)
        return {};
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

long ErrorNumberFor(BackendKind kind, const QSqlError& error)
{
    if (kind != BackendKind::SQLite)
        return ErrDatabase;
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

} // namespace booking::detail
