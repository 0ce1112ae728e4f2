#pragma once
// A read-forward set of records handed out by DBFunk, read by field name. The records are
// read in full when the set is made, so RecordCount is exact from the start and the set
// stays readable after its connection is gone. Copies share one set and one position, as
// object references do.
//
// The end-of-set test is Eof(): the name EOF is a macro of the C library.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class QSqlQuery;

namespace booking {

class Recordset {
public:
    // How a column's stored value is handed out.
    enum class Kind { Int32, Bool, Double, Text, DateTime };
    struct Column {
        QString name;
        Kind kind;
    };

    Recordset(); // an empty set
    // Reads every row of an executed forward-only query; columns match its result columns.
    Recordset(std::vector<Column> columns, QSqlQuery& query);
    // A set of rows made in memory: cells row by row, stored values as Column kind expects.
    Recordset(std::vector<Column> columns, std::vector<QVariant> cells);

    bool Eof() const;
    // Moves to the next record; at the end raises 3021.
    void MoveNext();
    qint32 RecordCount() const;
    // After Close every call but Close raises 3420.
    void Close();

    // The value of the current record's field: a name in any letter case. Raises 3021 at the
    // end, 3265 for a name that is not a field. Numbers are 32-bit ints, dates QDateTime.
    QVariant Fields(const QString& name) const;
    QVariant operator[](const QString& name) const { return Fields(name); }
    QStringList FieldNames() const;

private:
    struct Data;
    void CheckOpen() const;
    std::shared_ptr<Data> d;
};

} // namespace booking
