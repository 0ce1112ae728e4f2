#include "booking/Recordset.h"
#include "booking/BookingErrors.h"
#include "booking/BookingTime.h"

#include <QHash>
#include <QSqlQuery>

namespace booking {

struct Recordset::Data {
    std::vector<Column> columns;
    std::vector<QVariant> cells;
    qint32 rows = 0;
    qint32 position = 0;
    bool closed = false;
    // Stored times already turned into QDateTime. Qt asks the C library for every local
    // date-time it makes, which costs microseconds where TZ is not set; bookings share
    // their times (whole quarters, whole hours), so each text is turned once.
    QHash<QString, QDateTime> times;

    int ColumnOf(const QString& name) const
    {
        // Callers nearly always write a field's name as it stands; try that first.
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == name)
                return int(i);
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    }
    QDateTime Time(const QString& text)
    {
        auto found = times.constFind(text);
        if (found != times.constEnd())
            return found.value();
        QDateTime when = detail::TimeFromText(text);
        times.insert(text, when);
        return when;
    }
};

Recordset::Recordset() : d(std::make_shared<Data>()) {}

Recordset::Recordset(std::vector<Column> columns, QSqlQuery& query) : d(std::make_shared<Data>())
{
    d->columns = std::move(columns);
    const int width = int(d->columns.size());
    while (query.next()) {
        for (int i = 0; i < width; ++i)
            d->cells.push_back(query.value(i));
        ++d->rows;
    }
    query.finish();
}

Recordset::Recordset(std::vector<Column> columns, std::vector<QVariant> cells) : d(std::make_shared<Data>())
{
    d->columns = std::move(columns);
    d->cells = std::move(cells);
    d->rows = d->columns.empty() ? 0 : qint32(d->cells.size() / d->columns.size());
}

void Recordset::CheckOpen() const
{
    if (d->closed)
        RaiseBooking(ErrNotOpen, texts::RecordsetClosed());
}

bool Recordset::Eof() const
{
    CheckOpen();
    return d->position >= d->rows;
}

void Recordset::MoveNext()
{
    CheckOpen();
    if (d->position >= d->rows)
        RaiseBooking(ErrNoCurrentRecord);
    ++d->position;
}

qint32 Recordset::RecordCount() const
{
    CheckOpen();
    return d->rows;
}

void Recordset::Close()
{
    if (d->closed)
        return;
    d->closed = true;
    d->cells.clear();
    d->cells.shrink_to_fit();
}

QVariant Recordset::Fields(const QString& name) const
{
    CheckOpen();
    const int column = d->ColumnOf(name);
    if (column < 0)
        RaiseBooking(ErrNoSuchField, name);
    if (d->position >= d->rows)
        RaiseBooking(ErrNoCurrentRecord);
    const QVariant& value = d->cells[std::size_t(d->position) * d->columns.size() + std::size_t(column)];
    if (value.isNull())
        return value;
    switch (d->columns[std::size_t(column)].kind) {
    case Kind::Int32:
        return QVariant(value.toInt());
    case Kind::Bool:
        return QVariant(value.toBool());
    case Kind::Double:
        return QVariant(value.toDouble());
    case Kind::Text:
        return QVariant(value.toString());
    case Kind::DateTime:
        return QVariant(d->Time(value.toString()));
    }
    return value;
}

QStringList Recordset::FieldNames() const
{
    CheckOpen();
    QStringList names;
    for (const Column& column : d->columns)
        names << column.name;
    return names;
}

} // namespace booking
