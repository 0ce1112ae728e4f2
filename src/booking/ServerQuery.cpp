#include "booking/ServerQuery.h"

#include <QSqlDriver>
#include <QVariant>

#ifdef ALMBRO_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace booking::detail {

pg_conn* ServerConnection(QSqlDatabase& db)
{
#ifdef ALMBRO_HAVE_LIBPQ
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
#else
    Q_UNUSED(db);
    return nullptr;
#endif
}

bool ServerSelect(pg_conn* connection, const QByteArray& sql, const std::vector<QByteArray>& parameters,
                  const std::function<void(const char* const* values, const int* lengths)>& row, QSqlError& error)
{
#ifdef ALMBRO_HAVE_LIBPQ
    std::vector<const char*> values;
    values.reserve(parameters.size());
    for (const QByteArray& parameter : parameters)
        values.push_back(parameter.constData());
    // Parameters as text of a type the server infers; the answer as text, in one piece.
    PGresult* result = PQexecParams(connection, sql.constData(), int(values.size()), nullptr, values.data(), nullptr,
                                    nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        const QString why = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection));
        const QString state =
            result && PQresultErrorField(result, PG_DIAG_SQLSTATE)
                ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE))
                : QString();
        PQclear(result);
        error = QSqlError(QStringLiteral("QPSQL: Unable to run query"), why.trimmed(),
                          PQstatus(connection) == CONNECTION_BAD ? QSqlError::ConnectionError
                                                                 : QSqlError::StatementError,
                          state);
        return false;
    }
    const int rows = PQntuples(result);
    const int columns = PQnfields(result);
    std::vector<const char*> cells(static_cast<std::size_t>(columns));
    std::vector<int> lengths(static_cast<std::size_t>(columns));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            cells[std::size_t(c)] = PQgetisnull(result, r, c) != 0 ? nullptr : PQgetvalue(result, r, c);
            lengths[std::size_t(c)] = PQgetlength(result, r, c);
        }
        row(cells.data(), lengths.data());
    }
    PQclear(result);
    return true;
#else
    Q_UNUSED(connection);
    Q_UNUSED(sql);
    Q_UNUSED(parameters);
    Q_UNUSED(row);
    error = QSqlError(QString(), QStringLiteral("built without libpq"), QSqlError::StatementError);
    return false;
#endif
}

} // namespace booking::detail
