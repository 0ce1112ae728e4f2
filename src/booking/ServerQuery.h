#pragma once
// Statements run on a server connection through libpq itself, where QtSql's driver costs
// more than the statement: its forward-only queries take the answer over one row at a time,
// and every value goes through a conversion of its own. Only where the program is built with
// libpq (ALMBRO_HAVE_LIBPQ); elsewhere ServerConnection answers nullptr and the callers keep
// to QtSql.
#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <functional>
#include <vector>

struct pg_conn;

namespace booking::detail {

// libpq's connection under a QPSQL connection; nullptr for any other, or without libpq.
pg_conn* ServerConnection(QSqlDatabase& db);

// Runs sql (parameters $1, $2, ... given as UTF-8 texts) and hands each row's values, as the
// server's texts, to row: values[i] is never null for a NOT NULL column. Answers false with
// the server's error (its SQLSTATE as the native code; a connection error when the connection
// is gone) in error.
bool ServerSelect(pg_conn* connection, const QByteArray& sql, const std::vector<QByteArray>& parameters,
                  const std::function<void(const char* const* values, const int* lengths)>& row, QSqlError& error);

} // namespace booking::detail
