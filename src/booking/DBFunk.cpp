#include "booking/DBFunk.h"
#include "booking/BookingTime.h"
#include "booking/DBFunkImpl.h"
#include "booking/Schema.h"
#include "booking/ServerQuery.h"
#include "platform/Locale.h"
#include "platform/RunLock.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <span>

namespace booking {

using detail::BackendKind;
using detail::TimeText;
using detail::WallSeconds;
using detail::WallText;

namespace {

std::atomic<quint64> g_connectionCounter{0};

QString Quoted(const QString& name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// The columns a post is written with, in the order BindPost binds them.
QStringList WrittenColumns()
{
    return detail::BookingColumns().mid(1);
}

// The columns a post is read from, in the order HämtaPost reads them.
QString ReadColumnsSql()
{
    QStringList columns = {QStringLiteral("Nyckel"),
                           QStringLiteral("PersonID"),
                           QStringLiteral("ExtraPersonID"),
                           QStringLiteral("StartTid"),
                           QStringLiteral("SlutTid"),
                           QStringLiteral("Status"),
                           QStringLiteral("Aktiv"),
                           QStringLiteral("Typ"),
                           QStringLiteral("Antal"),
                           QStringLiteral("Minuter"),
                           QStringLiteral("Betalningsvillkor")};
    for (int i = 0; i < kPostTextCount; ++i)
        columns << PostTextName(PostText(i));
    for (QString& column : columns)
        column = Quoted(column);
    return columns.join(QStringLiteral(", "));
}

QVariant NullInt()
{
    return QVariant(QMetaType::fromType<qint32>());
}

void CheckFlag(qint32 value, const char* name)
{
    if (value != 0 && value != 1)
        vb::Raise(vb::ErrInvalidProcedureCall,
                  texts::MustBeOneOf(QString::fromUtf8(name), QStringLiteral("0 eller 1"), value));
}

void CheckNotNegative(qint32 value, const char* name)
{
    if (value < 0)
        vb::Raise(vb::ErrInvalidProcedureCall, texts::MustNotBeNegative(QString::fromUtf8(name), value));
}

// "" and "0" stand for a booking that has no number yet.
qint32 NyckelFromText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    bool ok = false;
    const qint32 value = trimmed.toInt(&ok);
    if (!ok)
        vb::Raise(vb::ErrTypeMismatch, texts::NotABookingNumber(text));
    return value;
}

struct Person {
    qint32 id = 0;
    QString förNamn;
    QString efterNamn;
    QString placering;

    bool Nameless() const { return förNamn.trimmed().isEmpty() && efterNamn.trimmed().isEmpty(); }
    QString DisplayName() const { return (förNamn.trimmed() + QLatin1Char(' ') + efterNamn.trimmed()).trimmed(); }
};

struct PersonSelection {
    qint32 sortering = 0;
    qint32 utanNamnlösa = 0;
    qint32 utelämna = 0;
    qint32 endastID = 0;
    qint32 högst = 0;

    void Check() const
    {
        CheckFlag(sortering, "sortering");
        CheckFlag(utanNamnlösa, "utanNamnlösa");
        CheckNotNegative(utelämna, "utelämna");
        CheckNotNegative(endastID, "endastID");
        CheckNotNegative(högst, "högst");
    }
};

std::vector<Person> LoadPersons(DBFunk::Impl& d, const PersonSelection& selection)
{
    selection.Check();
    QSqlQuery& query = d.Prepared(
        selection.endastID != 0
            ? QStringLiteral(
                  "SELECT \"ID\", \"FörNamn\", \"EfterNamn\", \"Placering\" FROM \"Personer\" WHERE \"ID\" = ?")
            : QStringLiteral(
                  "SELECT \"ID\", \"FörNamn\", \"EfterNamn\", \"Placering\" FROM \"Personer\" ORDER BY \"ID\""));
    if (selection.endastID != 0)
        query.bindValue(0, selection.endastID);
    d.Exec(query);
    std::vector<Person> persons;
    while (query.next()) {
        Person person{query.value(0).toInt(), query.value(1).toString(), query.value(2).toString(),
                      query.value(3).toString()};
        if (person.id == selection.utelämna)
            continue;
        if (selection.utanNamnlösa != 0 && person.Nameless())
            continue;
        persons.push_back(std::move(person));
    }
    query.finish();
    if (selection.sortering == 1) {
        QCollator collator(vb::CurrentLocale());
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(persons.begin(), persons.end(), [&](const Person& a, const Person& b) {
            if (a.Nameless() != b.Nameless())
                return b.Nameless();
            if (const int c = collator.compare(a.efterNamn.trimmed(), b.efterNamn.trimmed()); c != 0)
                return c < 0;
            if (const int c = collator.compare(a.förNamn.trimmed(), b.förNamn.trimmed()); c != 0)
                return c < 0;
            return a.id < b.id;
        });
    }
    if (selection.högst > 0 && persons.size() > std::size_t(selection.högst))
        persons.resize(std::size_t(selection.högst));
    return persons;
}

// The highest duration class among the bookings (of one resource when person > 0);
// -1 when there are none. One index seek.
int MaxDurationClass(DBFunk::Impl& d, qint32 person)
{
    QSqlQuery& query =
        d.Prepared(person > 0 ? QStringLiteral("SELECT MAX(\"Längdklass\") FROM \"Bokningar\" WHERE \"PersonID\" = ?")
                              : QStringLiteral("SELECT MAX(\"Längdklass\") FROM \"Bokningar\""));
    if (person > 0)
        query.bindValue(0, person);
    d.Exec(query);
    int result = -1;
    if (query.next() && !query.value(0).isNull())
        result = query.value(0).toInt();
    query.finish();
    return result;
}

// The bookings of one duration class that overlap the range, in (StartTid, Nyckel) order.
// One statement per class, merged here: SQLite's own merge of a UNION costs more than the
// reading itself.
QString FetchSql(bool oneResource)
{
    return QStringLiteral("SELECT \"StartTid\", \"Nyckel\", \"PersonID\", \"SlutTid\", \"Notering\" "
                          "FROM \"Bokningar\" WHERE ") +
           (oneResource ? QStringLiteral("\"PersonID\" = ? AND ") : QString()) +
           QStringLiteral("\"Längdklass\" = ? AND \"StartTid\" >= ? AND \"StartTid\" <= ? AND \"Aktiv\" = 1 "
                          "AND (\"SlutTid\" > ? OR (\"SlutTid\" = \"StartTid\" AND \"StartTid\" >= ?)) "
                          "ORDER BY \"StartTid\", \"Nyckel\"");
}

// On a server, one statement for all the classes up to maxClass: the server reads the range's
// table pages once (the notes are not in its index) and sorts the rows itself, and the answer
// comes over in one piece. $1 is the range's end, $2 its start, $3 the resource when there is
// one, then one lower bound a class; each class is an index range of its own.
QByteArray ServerFetchSql(int maxClass, bool oneResource)
{
    QString classes;
    int parameter = oneResource ? 4 : 3;
    for (int k = 0; k <= maxClass; ++k)
        classes += (k > 0 ? QStringLiteral(" OR (") : QStringLiteral("(")) +
                   (oneResource ? QStringLiteral("\"PersonID\" = $3::integer AND ") : QString()) +
                   QStringLiteral("\"Längdklass\" = %1 AND \"StartTid\" >= $%2 AND \"StartTid\" <= $1)")
                       .arg(k)
                       .arg(parameter++);
    return (QStringLiteral("SELECT \"StartTid\", \"Nyckel\", \"PersonID\", \"SlutTid\", \"Notering\" FROM \"Bokningar\" "
                           "WHERE (") +
            classes +
            QStringLiteral(") AND \"Aktiv\" = 1 AND (\"SlutTid\" > $2 OR (\"SlutTid\" = \"StartTid\" AND \"StartTid\" >= $2)) "
                           "ORDER BY \"StartTid\", \"Nyckel\""))
        .toUtf8();
}

QString ClashSql(int maxClass, bool withStatus)
{
    QStringList parts;
    for (int k = 0; k <= maxClass; ++k)
        parts << QStringLiteral("SELECT 1 FROM \"Bokningar\" WHERE \"PersonID\" = ? AND \"Längdklass\" = ? AND "
                                "\"StartTid\" >= ? AND \"StartTid\" < ? AND \"SlutTid\" > ? AND \"Aktiv\" = 1 AND "
                                "\"Nyckel\" <> ?") +
                     (withStatus ? QStringLiteral(" AND \"Status\" NOT IN (SELECT \"ID\" FROM \"Statusar\" WHERE "
                                                  "\"Blockerar\" = 0)")
                                 : QString());
    return parts.join(QStringLiteral(" UNION ALL ")) + QStringLiteral(" LIMIT 1");
}

bool StatusBlocks(DBFunk::Impl& d, qint32 status)
{
    QSqlQuery& query = d.Prepared(QStringLiteral("SELECT \"Blockerar\" FROM \"Statusar\" WHERE \"ID\" = ?"));
    query.bindValue(0, status);
    d.Exec(query);
    // A status the database does not know is taken to block: better a question than a double booking.
    const bool blocks = !query.next() || query.value(0).toInt() != 0;
    query.finish();
    return blocks;
}

bool RowExists(DBFunk::Impl& d, const QString& sql, qint32 id)
{
    QSqlQuery& query = d.Prepared(sql);
    query.bindValue(0, id);
    d.Exec(query);
    const bool found = query.next();
    query.finish();
    return found;
}

// Another active booking of the resource overlapping [start, end), the one numbered own
// left out. Runs inside the caller's transaction.
bool ClashExists(DBFunk::Impl& d, qint32 person, qint64 start, qint64 end, bool withStatus, qint32 status, qint32 own)
{
    if (withStatus && !StatusBlocks(d, status))
        return false;
    const int maxClass = MaxDurationClass(d, person);
    if (maxClass < 0)
        return false;
    QSqlQuery& query = d.Prepared(ClashSql(maxClass, withStatus));
    const QString startText = WallText(start);
    const QString endText = WallText(end);
    int position = 0;
    for (int k = 0; k <= maxClass; ++k) {
        query.bindValue(position++, person);
        query.bindValue(position++, k);
        query.bindValue(position++, WallText(start - detail::ClassSpanSeconds(k)));
        query.bindValue(position++, endText);
        query.bindValue(position++, startText);
        query.bindValue(position++, own);
    }
    d.Exec(query);
    const bool found = query.next();
    query.finish();
    return found;
}

} // namespace

// ---- Impl -------------------------------------------------------------------------------

void DBFunk::Impl::Fail(const QSqlError& error) const
{
    // Once the server is gone the driver only says the database is not open; the first
    // error said why, and every later one is the same loss.
    const bool wasLost = lost;
    lost = lost || detail::ConnectionLost(kind, error) ||
           (kind == BackendKind::PostgreSQL && db.isValid() && !db.isOpen());
    if (lost)
        RaiseBooking(ErrDiskIO, texts::ConnectionLost(detail::ShownLocation(path), wasLost ? QString() : error.text()));
    const long number = detail::ErrorNumberFor(kind, error);
    if (number == ErrLocked)
        vb::Raise(number, texts::LockedBy(texts::Description(number) + QStringLiteral(": ") + error.text(), LockHolders()));
    RaiseBooking(number, error.text());
}

QStringList DBFunk::Impl::LockHolders() const
{
    // A file's holders are the processes with a lock on it or on its write-ahead log's index.
    if (kind != detail::BackendKind::SQLite || path.isEmpty())
        return {};
    return vb::RunLock::FileLockHolders({path, path + QStringLiteral("-shm"), path + QStringLiteral("-wal")});
}

void DBFunk::Impl::CheckOpen() const
{
    if (!open)
        RaiseBooking(ErrNotOpen);
}

void DBFunk::Impl::CheckWritable() const
{
    CheckOpen();
    if (readOnly)
        RaiseBooking(ErrReadOnly, path);
}

QSqlQuery& DBFunk::Impl::Prepared(const QString& sql)
{
    auto found = statements.find(sql);
    if (found != statements.end())
        return found.value();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        Fail(query.lastError());
    return statements.insert(sql, query).value();
}

void DBFunk::Impl::Exec(QSqlQuery& query) const
{
    if (!query.exec())
        Fail(query.lastError());
}

void DBFunk::Impl::Disconnect()
{
    statements.clear();
    ForgetNames();
    if (db.isValid()) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
    }
    open = false;
    readOnly = false;
    lost = false;
    transactionDepth = 0;
}

void DBFunk::Impl::Begin(bool write)
{
    QSqlQuery query(db);
    const QString sql = transactionDepth == 0 ? (write ? detail::BeginWriteStatement(kind) : QStringLiteral("BEGIN"))
                                              : QStringLiteral("SAVEPOINT s%1").arg(transactionDepth);
    if (!query.exec(sql))
        Fail(query.lastError());
    ++transactionDepth;
}

void DBFunk::Impl::Commit()
{
    for (QSqlQuery& statement : statements)
        statement.finish();
    QSqlQuery query(db);
    const QString sql = transactionDepth == 1 ? QStringLiteral("COMMIT")
                                              : QStringLiteral("RELEASE SAVEPOINT s%1").arg(transactionDepth - 1);
    if (!query.exec(sql))
        Fail(query.lastError());
    --transactionDepth;
}

void DBFunk::Impl::Rollback()
{
    if (transactionDepth == 0 || !db.isValid())
        return;
    for (QSqlQuery& statement : statements)
        statement.finish();
    QSqlQuery query(db);
    if (transactionDepth == 1) {
        query.exec(QStringLiteral("ROLLBACK"));
    } else {
        query.exec(QStringLiteral("ROLLBACK TO SAVEPOINT s%1").arg(transactionDepth - 1));
        query.exec(QStringLiteral("RELEASE SAVEPOINT s%1").arg(transactionDepth - 1));
    }
    --transactionDepth;
}

QString DBFunk::Impl::InsertSql()
{
    QStringList columns = WrittenColumns();
    QStringList marks;
    for (QString& column : columns) {
        column = Quoted(column);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO \"Bokningar\" (") + columns.join(QStringLiteral(", ")) +
           QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + QStringLiteral(") RETURNING \"Nyckel\"");
}

QVariantList DBFunk::Impl::PostValues(const DBPost& post) const
{
    const QString start = TimeText(post.StartTid());
    const QString end = TimeText(post.SlutTid());
    const qint64 length = WallSeconds(post.SlutTid()) - WallSeconds(post.StartTid());
    if (length < 0)
        vb::Raise(vb::ErrInvalidProcedureCall, texts::EndBeforeStart(end, start));
    QVariantList values;
    values.reserve(kPostTextCount + 14);
    values << post.PersonID() << (post.ExtraPersonID() != 0 ? QVariant(post.ExtraPersonID()) : NullInt()) << start
           << end << detail::DurationClass(length) << post.Status() << (post.Aktiv() ? 1 : 0) << post.Typ()
           << post.Antal() << post.Minuter() << int(post.Betalningsvillkor());
    for (int t = 0; t < kPostTextCount; ++t) {
        const QString text = post.Text(PostText(t));
        values << (text.isNull() ? QStringLiteral("") : text);
    }
    values << (program.isNull() ? QStringLiteral("") : program) << anropskod
           << WallText(WallSeconds(QDateTime::currentDateTime()));
    return values;
}

void DBFunk::Impl::BindPost(QSqlQuery& query, const DBPost& post) const
{
    const QVariantList values = PostValues(post);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
}

// ---- DBFunk -----------------------------------------------------------------------------

DBFunk::DBFunk() : d(std::make_unique<Impl>())
{
    d->connectionName = QStringLiteral("booking-%1").arg(++g_connectionCounter);
}

DBFunk::~DBFunk()
{
    Stäng();
}

void DBFunk::Överlapp(bool tillåt)
{
    d->överlapp = tillåt;
}

bool DBFunk::Överlapp() const
{
    return d->överlapp;
}

void DBFunk::Anropskod(qint32 kod)
{
    d->anropskod = kod;
}

qint32 DBFunk::Anropskod() const
{
    return d->anropskod;
}

bool DBFunk::SättProgram(const DBProgram& program)
{
    d->program = program.Namn();
    return true;
}

void DBFunk::Stäng()
{
    while (d->transactionDepth > 0)
        d->Rollback();
    d->Disconnect();
}

bool DBFunk::ÄrÖppen() const
{
    return d->open;
}

bool DBFunk::ÄrSkrivskyddad() const
{
    return d->open && d->readOnly;
}

QString DBFunk::Sökväg() const
{
    return d->path;
}

bool DBFunk::FörbindelsenBröts() const
{
    return d->lost;
}

QString DBFunk::SenasteFel() const
{
    return d->lastOpenError;
}

qint32 DBFunk::ÖppnaDatabas(const QString& sökväg, qint32 väntetid, qint32 läge)
{
    CheckNotNegative(väntetid, "väntetid");
    CheckFlag(läge, "läge");
    Stäng();
    d->path = sökväg;
    d->lastOpenError.clear();
    const auto refuse = [this](qint32 verdict, const QString& detail = QString()) {
        d->Disconnect();
        d->lastOpenError = texts::OpenResultText(verdict);
        if (!detail.isEmpty())
            d->lastOpenError += QStringLiteral(": ") + detail;
        return verdict;
    };

    if (sökväg.isEmpty())
        return refuse(IngenSökväg);
    d->kind = detail::BackendFor(sökväg);
    if (!QSqlDatabase::isDriverAvailable(detail::DriverName(d->kind)))
        return refuse(EjTillgänglig, detail::DriverName(d->kind));
    const QString shown = detail::ShownLocation(sökväg);
    if (d->kind == BackendKind::SQLite) {
        const QFileInfo info(sökväg);
        if (!info.exists() || info.isDir())
            return refuse(FilSaknas, sökväg);
    }

    // The file is looked at through the database engine only, and nothing is written until
    // it is known to be ours. Reading it any other way would be unsafe: closing any other
    // descriptor of the file drops every lock this process holds on it, and another program
    // would then take itself for the file's last user and remove the write-ahead log under
    // a connection of ours that is still open.
    d->readOnly = läge == 1;
    const int busyMs = väntetid > 0 ? väntetid : kStandardVäntetidMs;
    d->db = QSqlDatabase::addDatabase(detail::DriverName(d->kind), d->connectionName);
    QString why;
    if (!detail::Configure(d->db, d->kind, sökväg, d->readOnly, false, busyMs, why))
        return refuse(KanInteÖppna, why);
    if (!d->db.open())
        return refuse(KanInteÖppna, d->db.lastError().text());
    try {
        detail::Mark mark;
        try {
            mark = detail::ReadMark(d->db, d->kind);
        } catch (const vb::ErrObject& e) {
            if (e.Number() == ErrDamaged && d->kind == BackendKind::SQLite)
                return refuse(InteDatabas, sökväg);
            throw;
        }
        if (d->kind == BackendKind::SQLite && mark.applicationId == 0 && mark.version == 0 &&
            detail::QueryNumber(d->db, QStringLiteral("PRAGMA page_count")) == 0)
            return refuse(InteDatabas, sökväg); // an empty file
        const qint64 version = mark.version;
        if (mark.applicationId != detail::kApplicationId || version < 1) {
            bool noTables = false;
            if (d->kind == BackendKind::PostgreSQL)
                detail::MissingParts(d->db, noTables);
            return refuse(AnnanDatabas, noTables ? texts::NoBookingTables(shown) : shown);
        }
        if (version > detail::kSchemaVersion)
            return refuse(NyareVersion, texts::SchemaVersion(version));
        bool noTables = false;
        const QStringList missing = detail::MissingParts(d->db, noTables);
        if (noTables)
            return refuse(AnnanDatabas, texts::NoBookingTables(shown));
        if (!missing.isEmpty() && version == detail::kSchemaVersion)
            return refuse(KanInteÖppna, texts::MissingParts(missing));
        if (version < detail::kSchemaVersion && d->readOnly)
            return refuse(KanInteÖppna, texts::NeedsUpgradeReadOnly(version));
        for (const QString& setting : detail::ConnectionSettings(d->kind, busyMs, d->readOnly))
            detail::ExecStatement(d->db, setting);
        if (!d->readOnly) {
            if (version < detail::kSchemaVersion) {
                Transaction upgrade(*d, true);
                detail::UpgradeSchema(d->db, d->kind, qint32(version));
                upgrade.Commit();
            }
        }
        if (!d->readOnly && d->kind == BackendKind::SQLite) {
            QSqlQuery mode(d->db);
            if (!mode.exec(QStringLiteral("PRAGMA journal_mode")) || !mode.next())
                d->Fail(mode.lastError());
            if (mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
                detail::ExecStatement(d->db, QStringLiteral("PRAGMA journal_mode = WAL"));
        }
    } catch (const vb::ErrObject& e) {
        return refuse(KanInteÖppna, e.Number() == ErrLocked ? texts::LockedBy(e.Description(), d->LockHolders()) : e.Description());
    }
    d->open = true;
    return Öppnad;
}

namespace {

// A server database is made by its administrator; making it a booking database adds the
// tables in one transaction, and only to a database that has none of them yet.
void CreateOnServer(DBFunk::Impl& m, const QString& location)
{
    m.kind = BackendKind::PostgreSQL;
    m.db = QSqlDatabase::addDatabase(detail::DriverName(m.kind), m.connectionName);
    QString why;
    if (!detail::Configure(m.db, m.kind, location, false, false, kStandardVäntetidMs, why))
        RaiseBooking(ErrDiskIO, why);
    if (!m.db.open())
        RaiseBooking(ErrDiskIO, m.db.lastError().text());
    m.open = true;
    for (const QString& setting : detail::ConnectionSettings(m.kind, kStandardVäntetidMs, false))
        detail::ExecStatement(m.db, setting);
    Transaction create(m, true);
    bool noTables = false;
    detail::MissingParts(m.db, noTables);
    if (!noTables || detail::ReadMark(m.db, m.kind).applicationId != 0)
        RaiseBooking(ErrDatabaseExists, detail::ShownLocation(location));
    detail::UpgradeSchema(m.db, m.kind, 0);
    create.Commit();
}

} // namespace

bool DBFunk::ÄrServerdatabas(const QString& sökväg)
{
    return detail::BackendFor(sökväg.trimmed()) == BackendKind::PostgreSQL;
}

void DBFunk::SkapaDatabas(const QString& sökväg)
{
    const BackendKind kind = detail::BackendFor(sökväg);
    if (!QSqlDatabase::isDriverAvailable(detail::DriverName(kind)))
        RaiseBooking(ErrDriverMissing, detail::DriverName(kind));
    if (kind == BackendKind::PostgreSQL) {
        DBFunk maker;
        CreateOnServer(*maker.d, sökväg);
        return;
    }
    const QFileInfo info(sökväg);
    if (sökväg.isEmpty() || info.isDir())
        vb::Raise(vb::ErrPathNotFound, texts::PathNotFound(sökväg));
    if (info.exists() || info.isSymLink())
        RaiseBooking(ErrDatabaseExists, sökväg);
    if (!info.absoluteDir().exists())
        vb::Raise(vb::ErrPathNotFound, texts::PathNotFound(info.absolutePath()));

    // Build the database under a temporary name beside the target and rename it into place
    // only when it is complete: a half-made file never carries the name, and a file that
    // appeared meanwhile is not replaced.
    QTemporaryFile temporary(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        vb::Raise(vb::ErrPermissionDenied, texts::PermissionDenied(temporary.errorString()));
    const QString temporaryName = temporary.fileName();
    temporary.close();
    {
        DBFunk maker;
        Impl& m = *maker.d;
        m.db = QSqlDatabase::addDatabase(detail::DriverName(BackendKind::SQLite), m.connectionName);
        QString why;
        detail::Configure(m.db, BackendKind::SQLite, temporaryName, false, true, kStandardVäntetidMs, why);
        if (!m.db.open())
            RaiseBooking(ErrDiskIO, m.db.lastError().text());
        m.open = true;
        for (const QString& setting : detail::ConnectionSettings(BackendKind::SQLite, kStandardVäntetidMs, false))
            detail::ExecStatement(m.db, setting);
        {
            Transaction create(m, true);
            detail::UpgradeSchema(m.db, BackendKind::SQLite, 0);
            create.Commit();
        }
        detail::ExecStatement(m.db, QStringLiteral("PRAGMA journal_mode = WAL"));
        maker.Stäng();
    }
    QFile::setPermissions(temporaryName, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther);
    if (!QFile::rename(temporaryName, sökväg))
        RaiseBooking(QFileInfo::exists(sökväg) ? ErrDatabaseExists : ErrDiskIO, sökväg);
}

qint64 DBFunk::AntalBokningar()
{
    d->CheckOpen();
    QSqlQuery& query = d->Prepared(QStringLiteral("SELECT COUNT(*) FROM \"Bokningar\""));
    d->Exec(query);
    const qint64 count = query.next() ? query.value(0).toLongLong() : 0;
    query.finish();
    return count;
}

QString DBFunk::PersonNamn(qint32 personID)
{
    d->CheckOpen();
    const QString versionQuery = detail::DataVersionQuery(d->kind);
    if (versionQuery.isEmpty()) {
        QSqlQuery& query =
            d->Prepared(QStringLiteral("SELECT \"FörNamn\", \"EfterNamn\" FROM \"Personer\" WHERE \"ID\" = ?"));
        query.bindValue(0, personID);
        d->Exec(query);
        QString name;
        if (query.next())
            name = Person{personID, query.value(0).toString(), query.value(1).toString(), QString()}.DisplayName();
        query.finish();
        return name;
    }
    if (!d->namesLoaded || d->namesChecked.hasExpired(Impl::kNameCheckMs)) {
        QSqlQuery& version = d->Prepared(versionQuery);
        d->Exec(version);
        const qint64 now = version.next() ? version.value(0).toLongLong() : -1;
        version.finish();
        if (!d->namesLoaded || now != d->namesVersion) {
            QSqlQuery& all = d->Prepared(QStringLiteral("SELECT \"ID\", \"FörNamn\", \"EfterNamn\" FROM \"Personer\""));
            d->Exec(all);
            d->names.clear();
            while (all.next()) {
                const qint32 id = all.value(0).toInt();
                d->names.insert(id,
                                Person{id, all.value(1).toString(), all.value(2).toString(), QString()}.DisplayName());
            }
            all.finish();
            d->namesVersion = now;
            d->namesLoaded = true;
        }
        d->namesChecked.start();
    }
    return d->names.value(personID);
}

Recordset DBFunk::HämtaPersoner(qint32 sortering, qint32 utanNamnlösa, qint32 utelämna, qint32 endastID, qint32 högst)
{
    d->CheckOpen();
    const std::vector<Person> persons = LoadPersons(*d, {sortering, utanNamnlösa, utelämna, endastID, högst});
    std::vector<QVariant> cells;
    cells.reserve(persons.size() * 4);
    for (const Person& person : persons) {
        cells.emplace_back(person.id);
        cells.emplace_back(person.förNamn);
        cells.emplace_back(person.efterNamn);
        cells.emplace_back(person.placering);
    }
    return Recordset({{QStringLiteral("ID"), Recordset::Kind::Int32},
                      {QStringLiteral("FörNamn"), Recordset::Kind::Text},
                      {QStringLiteral("EfterNamn"), Recordset::Kind::Text},
                      {QStringLiteral("Placering"), Recordset::Kind::Text}},
                     std::move(cells));
}

void DBFunk::FyllAllaResurser(ListBoxSink& lista, qint32 visning, qint32 sortering, qint32 utanNamnlösa,
                              qint32 läggTill, qint32& antal, qint32 utelämna, qint32 högst)
{
    d->CheckOpen();
    if (visning != 1 && visning != 2)
        vb::Raise(vb::ErrInvalidProcedureCall,
                  texts::MustBeOneOf(QStringLiteral("visning"), QStringLiteral("1 eller 2"), visning));
    CheckFlag(läggTill, "läggTill");
    const std::vector<Person> persons = LoadPersons(*d, {sortering, utanNamnlösa, utelämna, 0, högst});
    antal = 0;
    if (läggTill == 0)
        lista.Clear();
    for (const Person& person : persons) {
        QString text = person.Nameless() ? texts::NamelessResource(person.id) : person.DisplayName();
        if (visning == 2 && !person.placering.trimmed().isEmpty())
            text += QStringLiteral(", ") + person.placering.trimmed();
        lista.AddItem(text, person.id);
        ++antal;
    }
}

Recordset DBFunk::HämtaStatusar()
{
    d->CheckOpen();
    QSqlQuery& query = d->Prepared(QStringLiteral(
        "SELECT \"ID\", \"TheText\", \"BackColor\", \"ForColor\", \"Blockerar\" FROM \"Statusar\" ORDER BY \"ID\""));
    d->Exec(query);
    return Recordset({{QStringLiteral("ID"), Recordset::Kind::Int32},
                      {QStringLiteral("TheText"), Recordset::Kind::Text},
                      {QStringLiteral("BackColor"), Recordset::Kind::Int32},
                      {QStringLiteral("ForColor"), Recordset::Kind::Int32},
                      {QStringLiteral("Blockerar"), Recordset::Kind::Bool}},
                     query);
}

Recordset DBFunk::HämtaPoster(const QString& start, const QString& slut, qint32 resurs)
{
    d->CheckOpen();
    if (resurs != -9 && resurs < 1)
        vb::Raise(
            vb::ErrInvalidProcedureCall,
            texts::MustBeOneOf(QStringLiteral("resurs"), QStringLiteral("-9 (alla) eller ett resursnummer"), resurs));
    const qint64 from = WallSeconds(vb::CDate(start));
    const qint64 to = WallSeconds(vb::CDate(slut));
    std::vector<Recordset::Column> columns = {{QStringLiteral("Nyckel"), Recordset::Kind::Int32},
                                              {QStringLiteral("PersonID"), Recordset::Kind::Int32},
                                              {QStringLiteral("StartTid"), Recordset::Kind::DateTime},
                                              {QStringLiteral("SlutTid"), Recordset::Kind::DateTime},
                                              {QStringLiteral("Anteckningx"), Recordset::Kind::Text}};
    if (to < from)
        return Recordset(std::move(columns), std::vector<QVariant>());

    struct Row {
        QString start;
        qint32 key;
        QVariant person;
        QVariant end;
        QVariant note;
    };
    std::vector<Row> rows;
    std::vector<std::pair<std::size_t, std::size_t>> runs; // one sorted run per class
    const bool oneResource = resurs != -9;
    {
        pg_conn* server = d->kind == BackendKind::PostgreSQL ? detail::ServerConnection(d->db) : nullptr;
        // A file's read transaction holds one snapshot for both statements. A server's gives
        // each statement a snapshot of its own all the same (read committed), so there it
        // would only add two round trips.
        std::optional<Transaction> read;
        if (!server)
            read.emplace(*d, false);
        const int maxClass = MaxDurationClass(*d, oneResource ? resurs : 0);
        const QString fromText = WallText(from);
        const QString toText = WallText(to);
        if (server && maxClass >= 0) {
            std::vector<QByteArray> parameters = {toText.toUtf8(), fromText.toUtf8()};
            if (oneResource)
                parameters.push_back(QByteArray::number(resurs));
            for (int k = 0; k <= maxClass; ++k)
                parameters.push_back(WallText(from - detail::ClassSpanSeconds(k)).toUtf8());
            QSqlError error;
            const bool ok = detail::ServerSelect(
                server, ServerFetchSql(maxClass, oneResource), parameters,
                [&](const char* const* cells, const int* sizes) {
                    const std::span<const char* const> values(cells, 5);
                    const std::span<const int> lengths(sizes, 5);
                    rows.push_back({QString::fromUtf8(values[0], lengths[0]), qint32(std::strtol(values[1], nullptr, 10)),
                                    QVariant(int(std::strtol(values[2], nullptr, 10))),
                                    QVariant(QString::fromUtf8(values[3], lengths[3])),
                                    QVariant(QString::fromUtf8(values[4], lengths[4]))});
                },
                error);
            if (!ok)
                d->Fail(error);
            if (!rows.empty())
                runs.emplace_back(0, rows.size());
        }
        for (int k = 0; !server && k <= maxClass; ++k) {
            QSqlQuery& query = d->Prepared(FetchSql(oneResource));
            int position = 0;
            if (oneResource)
                query.bindValue(position++, resurs);
            query.bindValue(position++, k);
            query.bindValue(position++, WallText(from - detail::ClassSpanSeconds(k)));
            query.bindValue(position++, toText);
            query.bindValue(position++, fromText);
            query.bindValue(position++, fromText);
            d->Exec(query);
            const std::size_t begin = rows.size();
            while (query.next())
                rows.push_back({query.value(0).toString(), query.value(1).toInt(), query.value(2), query.value(3),
                                query.value(4)});
            query.finish();
            if (rows.size() > begin)
                runs.emplace_back(begin, rows.size());
        }
        if (read)
            read->Commit();
    }

    // Merge the runs by (StartTid, Nyckel); the texts sort as the times do.
    const auto later = [&](const std::pair<std::size_t, std::size_t>& a, const std::pair<std::size_t, std::size_t>& b) {
        const Row& x = rows[a.first];
        const Row& y = rows[b.first];
        const int c = QStringView(x.start).compare(QStringView(y.start));
        return c != 0 ? c > 0 : x.key > y.key;
    };
    std::make_heap(runs.begin(), runs.end(), later);
    std::vector<QVariant> cells;
    cells.reserve(rows.size() * columns.size());
    while (!runs.empty()) {
        std::pop_heap(runs.begin(), runs.end(), later);
        auto& run = runs.back();
        Row& row = rows[run.first];
        cells.emplace_back(row.key);
        cells.push_back(std::move(row.person));
        cells.emplace_back(std::move(row.start));
        cells.push_back(std::move(row.end));
        cells.push_back(std::move(row.note));
        if (++run.first == run.second)
            runs.pop_back();
        else
            std::push_heap(runs.begin(), runs.end(), later);
    }
    return Recordset(std::move(columns), std::move(cells));
}

bool DBFunk::Krockar(qint32 personID, const QDateTime& start, const QDateTime& slut, bool medStatus, qint32 status,
                     const QString& nyckel)
{
    d->CheckOpen();
    if (!start.isValid() || !slut.isValid())
        vb::Raise(vb::ErrTypeMismatch, texts::NotADate(QStringLiteral("start- eller sluttiden")));
    const qint32 own = NyckelFromText(nyckel);
    const qint64 from = WallSeconds(start);
    const qint64 to = WallSeconds(slut);
    if (to < from)
        return true;
    Transaction read(*d, false);
    const bool clash = ClashExists(*d, personID, from, to, medStatus, status, own);
    read.Commit();
    return clash;
}

std::optional<DBPost> DBFunk::HämtaPost(qint32 nyckel)
{
    d->CheckOpen();
    QSqlQuery& query = d->Prepared(QStringLiteral("SELECT ") + ReadColumnsSql() +
                                   QStringLiteral(" FROM \"Bokningar\" WHERE \"Nyckel\" = ?"));
    query.bindValue(0, nyckel);
    d->Exec(query);
    if (!query.next()) {
        query.finish();
        return std::nullopt;
    }
    DBPost post;
    int i = 0;
    post.m_nyckel = query.value(i++).toInt();
    post.m_personID = query.value(i++).toInt();
    post.m_extraPersonID = query.value(i++).toInt(); // NULL reads as 0: none
    post.m_startTid = detail::TimeFromText(query.value(i++).toString());
    post.m_slutTid = detail::TimeFromText(query.value(i++).toString());
    post.m_status = query.value(i++).toInt();
    post.m_aktiv = query.value(i++).toInt() != 0;
    // Stored values come back as they are, even ones the setters would refuse.
    post.m_typ = query.value(i++).toInt();
    post.m_antal = query.value(i++).toInt();
    post.m_minuter = query.value(i++).toDouble();
    post.m_betalningsvillkor = qint16(query.value(i++).toInt());
    for (int t = 0; t < kPostTextCount; ++t)
        post.m_text[std::size_t(t)] = query.value(i++).toString();
    query.finish();
    return post;
}

namespace {
// Why post cannot be saved (the result numbers of SparaPost), 0 when it can: the one check of
// a save, made inside its transaction and by a plan that writes nothing.
qint32 Hinder(DBFunk::Impl& d, const DBPost& post, bool somNy)
{
    const QDateTime& start = post.StartTid();
    const QDateTime& end = post.SlutTid();
    if (!start.isValid() || !end.isValid() || WallSeconds(end) < WallSeconds(start))
        return 2;
    if (!somNy && !RowExists(d, QStringLiteral("SELECT 1 FROM \"Bokningar\" WHERE \"Nyckel\" = ?"), post.Nyckel()))
        return 3;
    const QString personSql = QStringLiteral("SELECT 1 FROM \"Personer\" WHERE \"ID\" = ?");
    if (!RowExists(d, personSql, post.PersonID()) ||
        (post.ExtraPersonID() != 0 && !RowExists(d, personSql, post.ExtraPersonID())))
        return 4;
    if (!RowExists(d, QStringLiteral("SELECT 1 FROM \"Statusar\" WHERE \"ID\" = ?"), post.Status()))
        return 5;
    if (!d.överlapp && post.Aktiv() &&
        ClashExists(d, post.PersonID(), WallSeconds(start), WallSeconds(end), true, post.Status(),
                    somNy ? 0 : post.Nyckel()))
        return 1;
    return 0;
}
} // namespace

qint32 DBFunk::PrövaPost(const DBPost& post, bool somNy)
{
    d->CheckOpen();
    return Hinder(*d, post, somNy);
}

void DBFunk::SparaPost(DBPost& post, bool somNy, qint32& nyttNummer, qint32& resultat)
{
    nyttNummer = 0;
    d->CheckWritable();
    const QDateTime& start = post.m_startTid;
    const QDateTime& end = post.m_slutTid;
    if (!start.isValid() || !end.isValid() || WallSeconds(end) < WallSeconds(start)) {
        resultat = 2; // no transaction is needed to know that
        return;
    }
    Transaction write(*d, true);
    // Saves of one resource wait for each other here, so two desks cannot both find the
    // time free and both book it.
    if (const QString lock = detail::ResourceLockStatement(d->kind); !lock.isEmpty()) {
        QSqlQuery& query = d->Prepared(lock);
        query.bindValue(0, post.m_personID);
        d->Exec(query);
        query.finish();
    }
    resultat = Hinder(*d, post, somNy);
    if (resultat != 0)
        return;
    qint32 number = post.m_nyckel;
    if (somNy) {
        QSqlQuery& insert = d->Prepared(Impl::InsertSql());
        d->BindPost(insert, post);
        d->Exec(insert);
        if (!insert.next())
            d->Fail(insert.lastError());
        number = insert.value(0).toInt();
    } else {
        QStringList assignments;
        for (const QString& column : WrittenColumns())
            assignments << Quoted(column) + QStringLiteral(" = ?");
        QSqlQuery& update =
            d->Prepared(QStringLiteral("UPDATE \"Bokningar\" SET ") + assignments.join(QStringLiteral(", ")) +
                        QStringLiteral(" WHERE \"Nyckel\" = ?"));
        d->BindPost(update, post);
        update.bindValue(int(WrittenColumns().size()), number);
        d->Exec(update);
    }
    write.Commit();
    post.m_nyckel = number;
    nyttNummer = number;
    resultat = 0;
}

} // namespace booking
