#include "booking/BulkWriter.h"
#include "booking/DBFunkImpl.h"
#include "booking/Schema.h"
#include "booking/ServerQuery.h"

#include <QSqlDriver>

#ifdef ALMBRO_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace booking {

namespace {

constexpr int kCopyBlock = 20000;
constexpr qint64 kSingleInserts = 1000;

#ifdef ALMBRO_HAVE_LIBPQ
// A value in COPY's text format: \N for NULL, and backslash, tab and line breaks escaped.
void AppendCopyValue(QByteArray& out, const QVariant& value)
{
    if (value.isNull()) {
        out += "\\N";
        return;
    }
    const QByteArray text =
        value.typeId() == QMetaType::Double ? QByteArray::number(value.toDouble(), 'g', 17) : value.toString().toUtf8();
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

PGconn* Connection(DBFunk::Impl& impl)
{
    return detail::ServerConnection(impl.db);
}
#endif

} // namespace

BulkWriter::BulkWriter(DBFunk& connection) : m_impl(*connection.d)
{
    m_impl.CheckWritable();
    m_impl.Begin(true);
#ifdef ALMBRO_HAVE_LIBPQ
    // NOLINTNEXTLINE(cppcoreguidelines-prefer-member-initializer): decided once the transaction has begun
    m_copy = m_impl.kind == detail::BackendKind::PostgreSQL && Connection(m_impl) != nullptr;
    if (m_copy) {
        QSqlQuery& empty = m_impl.Prepared(QStringLiteral("SELECT NOT EXISTS (SELECT 1 FROM \"Bokningar\")"));
        m_impl.Exec(empty);
        m_wasEmpty = empty.next() && empty.value(0).toBool();
        empty.finish();
    }
#endif
}

BulkWriter::~BulkWriter()
{
    if (!m_done) {
        m_impl.Rollback();
        m_impl.ForgetNames();
    }
}

qint32 BulkWriter::AddResource(const QString& förNamn, const QString& efterNamn, const QString& placering)
{
    QSqlQuery& insert = m_impl.Prepared(QStringLiteral(
        "INSERT INTO \"Personer\" (\"FörNamn\", \"EfterNamn\", \"Placering\") VALUES (?, ?, ?) RETURNING \"ID\""));
    insert.bindValue(0, förNamn.isNull() ? QStringLiteral("") : förNamn);
    insert.bindValue(1, efterNamn.isNull() ? QStringLiteral("") : efterNamn);
    insert.bindValue(2, placering.isNull() ? QStringLiteral("") : placering);
    m_impl.Exec(insert);
    m_impl.ForgetNames();
    if (!insert.next())
        m_impl.Fail(insert.lastError());
    const qint32 id = insert.value(0).toInt();
    insert.finish();
    return id;
}

qint32 BulkWriter::AddBooking(const DBPost& post)
{
    // A few bookings go in one by one, so a small load takes exactly the numbers it uses;
    // COPY and its blocks of numbers (whatever is left of the last block stays unused) pay
    // only for a large one.
    if (!m_copy || ++m_added <= kSingleInserts) {
        QSqlQuery& insert = m_impl.Prepared(DBFunk::Impl::InsertSql());
        m_impl.BindPost(insert, post);
        m_impl.Exec(insert);
        if (!insert.next())
            m_impl.Fail(insert.lastError());
        const qint32 number = insert.value(0).toInt();
        insert.finish();
        return number;
    }
    const QVariantList values = m_impl.PostValues(post);
    if (m_nextNumber == m_numbers.size()) {
        Flush();
        QSqlQuery& numbers = m_impl.Prepared(QStringLiteral(
            "SELECT nextval(pg_get_serial_sequence('\"Bokningar\"', 'Nyckel')) FROM generate_series(1, ?)"));
        numbers.bindValue(0, kCopyBlock);
        m_impl.Exec(numbers);
        m_numbers.clear();
        m_nextNumber = 0;
        while (numbers.next())
            m_numbers.push_back(numbers.value(0).toInt());
        numbers.finish();
        if (m_numbers.empty())
            m_impl.Fail(numbers.lastError());
    }
    const qint32 number = m_numbers[m_nextNumber++];
#ifdef ALMBRO_HAVE_LIBPQ
    m_rows += QByteArray::number(number);
    for (const QVariant& value : values) {
        m_rows += '\t';
        AppendCopyValue(m_rows, value);
    }
    m_rows += '\n';
#endif
    return number;
}

void BulkWriter::BeginLargeLoad()
{
    m_large = true;
    QSqlDatabase& db = m_impl.db;
    // The foreign keys are checked by a query per row and key; the session plans each range
    // statement for its own times, and would plan each of those checks anew as well.
    detail::ExecStatement(db, QStringLiteral("SET LOCAL plan_cache_mode = auto"));
    // Demo data and benchmarks: the load is one transaction, and waiting for the log to
    // reach the disk at its one commit adds nothing but time.
    detail::ExecStatement(db, QStringLiteral("SET LOCAL synchronous_commit = off"));
    if (!m_wasEmpty)
        return;
    // Into a table that had no bookings: its indexes are made afresh and its foreign keys
    // checked in one pass once everything is in, instead of row by row. The table is locked
    // until the commit (nobody had anything in it to read); a load that fails rolls all back.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT quote_ident(c.relname), pg_get_indexdef(i.indexrelid) FROM pg_index i "
                                   "JOIN pg_class c ON c.oid = i.indexrelid "
                                   "WHERE i.indrelid = '\"Bokningar\"'::regclass AND NOT i.indisprimary")))
        m_impl.Fail(query.lastError());
    QStringList indexes;
    while (query.next()) {
        indexes << query.value(0).toString();
        m_restore << query.value(1).toString();
    }
    if (!query.exec(QStringLiteral("SELECT quote_ident(conname), pg_get_constraintdef(oid) FROM pg_constraint "
                                   "WHERE conrelid = '\"Bokningar\"'::regclass AND contype = 'f'")))
        m_impl.Fail(query.lastError());
    QStringList keys;
    while (query.next()) {
        keys << query.value(0).toString();
        m_restore << QStringLiteral("ALTER TABLE \"Bokningar\" ADD CONSTRAINT %1 %2")
                         .arg(query.value(0).toString(), query.value(1).toString());
    }
    query.finish();
    for (const QString& key : keys)
        detail::ExecStatement(db, QStringLiteral("ALTER TABLE \"Bokningar\" DROP CONSTRAINT %1").arg(key));
    for (const QString& index : indexes)
        detail::ExecStatement(db, QStringLiteral("DROP INDEX %1").arg(index));
}

void BulkWriter::Flush()
{
#ifdef ALMBRO_HAVE_LIBPQ
    if (!m_copy || m_rows.isEmpty())
        return;
    if (!m_large)
        BeginLargeLoad();
    PGconn* connection = Connection(m_impl);
    QStringList columns = detail::BookingColumns();
    for (QString& column : columns)
        column = QLatin1Char('"') + column + QLatin1Char('"');
    const QByteArray sql =
        QStringLiteral("COPY \"Bokningar\" (%1) FROM STDIN").arg(columns.join(QStringLiteral(", "))).toUtf8();
    const auto fail = [&](PGresult* result) {
        const QString why = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection));
        const QString state = result ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString();
        if (result)
            PQclear(result);
        m_rows.clear();
        m_impl.Fail(QSqlError(QString(), why.trimmed(), QSqlError::StatementError, state));
    };
    PGresult* started = PQexec(connection, sql.constData());
    if (PQresultStatus(started) != PGRES_COPY_IN)
        fail(started);
    PQclear(started);
    if (PQputCopyData(connection, m_rows.constData(), int(m_rows.size())) != 1 ||
        PQputCopyEnd(connection, nullptr) != 1)
        fail(nullptr);
    m_rows.clear();
    bool ok = true;
    PGresult* failed = nullptr;
    while (PGresult* result = PQgetResult(connection)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && !failed) {
            ok = false;
            failed = result;
            continue;
        }
        PQclear(result);
    }
    if (!ok)
        fail(failed);
#endif
}

void BulkWriter::Commit()
{
    Flush();
    if (!m_restore.isEmpty()) {
        // Sorting a million index entries in memory instead of in files on the disk.
        detail::ExecStatement(m_impl.db, QStringLiteral("SET LOCAL maintenance_work_mem = '256MB'"));
        for (const QString& statement : std::as_const(m_restore))
            detail::ExecStatement(m_impl.db, statement);
    }
    // After a large load the planner's statistics are stale until autovacuum comes round;
    // a week's fetch would meanwhile be planned for an empty table.
    if (m_copy && !m_numbers.empty())
        detail::ExecStatement(m_impl.db, QStringLiteral("ANALYZE \"Bokningar\""));
    m_impl.Commit();
    m_done = true;
}

} // namespace booking
