#include "booking/BulkWriter.h"
#include "booking/DBFunkImpl.h"

namespace booking {

BulkWriter::BulkWriter(DBFunk& connection) : m_impl(*connection.d)
{
    m_impl.CheckWritable();
    m_impl.Begin(true);
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
    QSqlQuery& insert = m_impl.Prepared(
        QStringLiteral("INSERT INTO \"Personer\" (\"FörNamn\", \"EfterNamn\", \"Placering\") VALUES (?, ?, ?) RETURNING \"ID\""));
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
    QSqlQuery& insert = m_impl.Prepared(DBFunk::Impl::InsertSql());
    m_impl.BindPost(insert, post);
    m_impl.Exec(insert);
    if (!insert.next())
        m_impl.Fail(insert.lastError());
    const qint32 number = insert.value(0).toInt();
    insert.finish();
    return number;
}

void BulkWriter::Commit()
{
    m_impl.Commit();
    m_done = true;
}

} // namespace booking
