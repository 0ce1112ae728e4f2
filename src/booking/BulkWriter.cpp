#include "booking/BulkWriter.h"
#include "booking/DBFunkImpl.h"
#include "booking/Schema.h"

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
    const QVariant handle = impl.db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}
#endif

} // namespace

BulkWriter::BulkWriter(DBFunk& connection) : m_impl(*connection.d)
{
    m_impl.CheckWritable();
    m_impl.Begin(true);
#ifdef ALMBRO_HAVE_LIBPQ
    m_copy = m_impl.kind == detail::BackendKind::PostgreSQL && Connection(m_impl) != nullptr;
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

void BulkWriter::Flush()
{
#ifdef ALMBRO_HAVE_LIBPQ
    if (!m_copy || m_rows.isEmpty())
        return;
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
    // After a large load the planner's statistics are stale until autovacuum comes round;
    // a week's fetch would meanwhile be planned for an empty table.
    if (m_copy && !m_numbers.empty())
        detail::ExecStatement(m_impl.db, QStringLiteral("ANALYZE \"Bokningar\""));
    m_impl.Commit();
    m_done = true;
}

} // namespace booking
