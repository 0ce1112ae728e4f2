#pragma once
// The inside of a DBFunk connection, shared by DBFunk.cpp and BulkWriter.cpp only.
#include "booking/Backend.h"
#include "booking/DBFunk.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace booking {

struct DBFunk::Impl {
    QString connectionName;
    QSqlDatabase db;
    detail::BackendKind kind = detail::BackendKind::SQLite;
    bool open = false;
    bool readOnly = false;
    bool överlapp = false;
    qint32 anropskod = 0;
    QString program;
    QString path;
    QString lastOpenError;
    int transactionDepth = 0;
    mutable bool lost = false; // the server connection went away since the opening
    QHash<QString, QSqlQuery> statements;

    // Display names of all resources, for PersonNamn: the export list asks once per row, and
    // a statement through QtSql costs several microseconds. The names are checked against
    // the database's change counter when they are more than kNameCheckMs old, so a change
    // by another program shows within that time; this connection's own changes at once.
    static constexpr qint64 kNameCheckMs = 100;
    QHash<qint32, QString> names;
    bool namesLoaded = false;
    qint64 namesVersion = -1;
    QElapsedTimer namesChecked;

    [[noreturn]] void Fail(const QSqlError& error) const;
    // The other processes holding the database file locked, for the message of a busy one.
    QStringList LockHolders() const;
    void CheckOpen() const;
    void CheckWritable() const;
    // A prepared statement of this connection, made once per SQL text.
    QSqlQuery& Prepared(const QString& sql);
    void Exec(QSqlQuery& query) const;
    void Disconnect();
    void ForgetNames() { namesLoaded = false; }

    // Transactions nest: the outermost begins and commits, inner ones are savepoints, so an
    // inner failure undoes only its own part.
    void Begin(bool write);
    void Commit();
    void Rollback();

    // The columns of an insert, and the values of a post bound in that order.
    static QString InsertSql();
    QVariantList PostValues(const DBPost& post) const;
    void BindPost(QSqlQuery& query, const DBPost& post) const;
};

// Begins on construction; rolls back on destruction unless Commit was called.
class Transaction {
public:
    Transaction(DBFunk::Impl& impl, bool write) : m_impl(impl) { m_impl.Begin(write); }
    ~Transaction()
    {
        if (!m_done)
            m_impl.Rollback();
    }
    void Commit()
    {
        m_impl.Commit();
        m_done = true;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    DBFunk::Impl& m_impl;
    bool m_done = false;
};

} // namespace booking
