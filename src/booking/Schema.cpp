#include "booking/Schema.h"
#include "booking/Backend.h"
#include "booking/BookingErrors.h"
#include "booking/DBPost.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>

namespace booking::detail {

namespace {

BackendKind g_kind = BackendKind::SQLite; // of the database being made or upgraded now

void Fail(const QSqlError& error)
{
    RaiseBooking(ErrorNumberFor(g_kind, error), error.text());
}

// The colour numbers the original runtime uses: red + 256 * green + 65536 * blue.
constexpr qint32 Rgb(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

struct DefaultStatus {
    qint32 id;
    const char* text;
    qint32 back;
    qint32 fore;
    bool blocks;
};

// -1 is the status of a booking nobody gave one; it exists so every booking refers to a
// real status, and it is left out of the lists people pick from (they show IDs above -1).
const DefaultStatus kDefaultStatuses[] = {
    {-1, "(Ingen status)", Rgb(255, 255, 255), Rgb(0, 0, 0), true},
    {0, "Preliminär", Rgb(255, 255, 192), Rgb(0, 0, 0), true},
    {1, "Bokad", Rgb(192, 220, 255), Rgb(0, 0, 0), true},
    {2, "Bekräftad", Rgb(192, 255, 192), Rgb(0, 64, 0), true},
    {3, "Avbokad", Rgb(224, 224, 224), Rgb(96, 96, 96), false},
    {4, "Väntelista", Rgb(255, 224, 192), Rgb(128, 64, 0), false},
    {5, "Utförd", Rgb(208, 208, 255), Rgb(0, 0, 128), true},
};

void CreateVersion1(QSqlDatabase& db)
{
    const Dialect dialect = DialectOf(g_kind);
    ExecStatement(db, QStringLiteral("CREATE TABLE \"Personer\" ("
                                     " \"ID\" ") +
                          dialect.rowKey +
                          QStringLiteral(","
                                         " \"FörNamn\" TEXT NOT NULL DEFAULT '',"
                                         " \"EfterNamn\" TEXT NOT NULL DEFAULT '',"
                                         " \"Placering\" TEXT NOT NULL DEFAULT '')"));
    ExecStatement(db, QStringLiteral("CREATE TABLE \"Statusar\" ("
                                     " \"ID\" INTEGER PRIMARY KEY,"
                                     " \"TheText\" TEXT NOT NULL,"
                                     " \"BackColor\" INTEGER NOT NULL,"
                                     " \"ForColor\" INTEGER NOT NULL,"
                                     " \"Blockerar\" INTEGER NOT NULL DEFAULT 1 CHECK (\"Blockerar\" IN (0, 1)))"));

    QString texts;
    for (int i = 0; i < kPostTextCount; ++i)
        texts += QStringLiteral(" \"%1\" TEXT NOT NULL DEFAULT '',").arg(PostTextName(PostText(i)));
    // AUTOINCREMENT: a number is never given twice, since calendars keep the numbers of
    // bookings long after a booking is gone.
    ExecStatement(db, QStringLiteral("CREATE TABLE \"Bokningar\" ("
                                     " \"Nyckel\" ") +
                          dialect.everKey +
                          QStringLiteral(","
                                         " \"PersonID\" INTEGER NOT NULL REFERENCES \"Personer\"(\"ID\"),"
                                         " \"ExtraPersonID\" INTEGER REFERENCES \"Personer\"(\"ID\"),"
                                         " \"StartTid\" ") +
                          dialect.timeText +
                          QStringLiteral(" NOT NULL,"
                                         " \"SlutTid\" ") +
                          dialect.timeText +
                          QStringLiteral(" NOT NULL,"
                                         " \"Längdklass\" INTEGER NOT NULL,"
                                         " \"Status\" INTEGER NOT NULL REFERENCES \"Statusar\"(\"ID\"),"
                                         " \"Aktiv\" INTEGER NOT NULL DEFAULT 1,"
                                         " \"Typ\" INTEGER NOT NULL DEFAULT 0,"
                                         " \"Antal\" INTEGER NOT NULL DEFAULT 0,"
                                         " \"Minuter\" ") +
                          dialect.real +
                          QStringLiteral(" NOT NULL DEFAULT 0,"
                                         " \"Betalningsvillkor\" INTEGER NOT NULL DEFAULT 0,") +
                          texts +
                          QStringLiteral(" \"Program\" TEXT NOT NULL DEFAULT '',"
                                         " \"Anropskod\" INTEGER NOT NULL DEFAULT 0,"
                                         " \"Ändrad\" TEXT NOT NULL DEFAULT '',"
                                         " CHECK (\"SlutTid\" >= \"StartTid\"))"));
    // A range fetch seeks once per duration class and reads every field it hands out from
    // the index itself, in (StartTid, Nyckel) order: no lookups in the table, no sorting.
    ExecStatement(
        db, QStringLiteral("CREATE INDEX \"Bokningar_Tid\" ON \"Bokningar\"(\"Längdklass\", \"StartTid\", \"Nyckel\", "
                           "\"SlutTid\", \"Aktiv\", \"PersonID\"") +
                (dialect.coveringNotes ? QStringLiteral(", \"Notering\")") : QStringLiteral(")")));
    // A clash check, and a fetch for one resource, do the same within the resource.
    ExecStatement(
        db,
        QStringLiteral("CREATE INDEX \"Bokningar_Resurs\" ON \"Bokningar\"(\"PersonID\", \"Längdklass\", \"StartTid\", "
                       "\"Nyckel\", \"SlutTid\", \"Aktiv\", \"Status\")"));

    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("INSERT INTO \"Statusar\" (\"ID\", \"TheText\", \"BackColor\", \"ForColor\", "
                                       "\"Blockerar\") VALUES (?, ?, ?, ?, ?)")))
        Fail(insert.lastError());
    for (const DefaultStatus& status : kDefaultStatuses) {
        insert.addBindValue(status.id);
        insert.addBindValue(QString::fromUtf8(status.text));
        insert.addBindValue(status.back);
        insert.addBindValue(status.fore);
        insert.addBindValue(status.blocks ? 1 : 0);
        if (!insert.exec())
            Fail(insert.lastError());
    }
}

using Step = void (*)(QSqlDatabase&);
// Step i brings version i to version i + 1.
const Step kSteps[kSchemaVersion] = {CreateVersion1};

} // namespace

void ExecStatement(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        Fail(query.lastError());
}

qint64 QueryNumber(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        Fail(query.lastError());
    if (!query.next())
        Fail(query.lastError());
    return query.value(0).toLongLong();
}

void UpgradeSchema(QSqlDatabase& db, BackendKind kind, qint32 from)
{
    g_kind = kind;
    for (qint32 version = from; version < kSchemaVersion; ++version)
        kSteps[version](db);
    WriteMark(db, kind, kApplicationId, kSchemaVersion);
}

QStringList BookingColumns()
{
    QStringList columns = {QStringLiteral("Nyckel"),   QStringLiteral("PersonID"), QStringLiteral("ExtraPersonID"),
                           QStringLiteral("StartTid"), QStringLiteral("SlutTid"),  QStringLiteral("Längdklass"),
                           QStringLiteral("Status"),   QStringLiteral("Aktiv"),    QStringLiteral("Typ"),
                           QStringLiteral("Antal"),    QStringLiteral("Minuter"),  QStringLiteral("Betalningsvillkor")};
    for (int i = 0; i < kPostTextCount; ++i)
        columns << PostTextName(PostText(i));
    columns << QStringLiteral("Program") << QStringLiteral("Anropskod") << QStringLiteral("Ändrad");
    return columns;
}

QStringList MissingParts(QSqlDatabase& db, bool& noTables)
{
    const std::pair<QString, QStringList> tables[] = {
        {QStringLiteral("Personer"),
         {QStringLiteral("ID"), QStringLiteral("FörNamn"), QStringLiteral("EfterNamn"), QStringLiteral("Placering")}},
        {QStringLiteral("Statusar"),
         {QStringLiteral("ID"), QStringLiteral("TheText"), QStringLiteral("BackColor"), QStringLiteral("ForColor"),
          QStringLiteral("Blockerar")}},
        {QStringLiteral("Bokningar"), BookingColumns()},
    };
    QStringList missing;
    int found = 0;
    for (const auto& [table, columns] : tables) {
        const QSqlRecord record = db.record(db.driver()->escapeIdentifier(table, QSqlDriver::TableName));
        if (record.isEmpty()) {
            missing << table;
            continue;
        }
        ++found;
        for (const QString& column : columns)
            if (!record.contains(column))
                missing << table + QLatin1Char('.') + column;
    }
    noTables = found == 0;
    return missing;
}

} // namespace booking::detail
