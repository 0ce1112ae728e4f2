#pragma once
// Shared pieces of the booking tests: fresh databases in the test's temporary home, posts
// written in one line, and checks for raised errors.
#include "booking/Backend.h"
#include "booking/BulkWriter.h"
#include "booking/DBFunk.h"
#include "platform/ErrObject.h"
#include "support/PgCluster.h"
#include "support/Raised.h"
#include "support/TestEnv.h"

#include <cstdio>
#include <memory>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace bookingtest {

// A path for a new file in the temporary home; never the same twice in one run.
inline QString NewPath(const QString& name = QStringLiteral("planum.db"))
{
    static int counter = 0;
    const QString dir = testenv::Root() + QStringLiteral("/case-%1").arg(++counter);
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

// Each test program runs once on an SQLite file and once on a PostgreSQL server, which
// ctest chooses with ALMBRO_TEST_BACKEND=postgresql.
inline bool OnServer()
{
    return qEnvironmentVariable("ALMBRO_TEST_BACKEND") == QLatin1String("postgresql");
}

// The cluster of a run on the server, started by BOOKING_TEST_MAIN.
inline std::unique_ptr<pgtest::Cluster>& Server()
{
    static std::unique_ptr<pgtest::Cluster> cluster;
    return cluster;
}

// A new, empty booking database: a file in the temporary home, or a database on the server.
inline QString CreateDatabase(const QString& name = QStringLiteral("planum.db"))
{
    const QString path = OnServer() ? Server()->NewDatabase() : NewPath(name);
    booking::DBFunk::SkapaDatabas(path);
    return path;
}

// "2026-12-07 10:00" as a local date-time.
inline QDateTime At(const QString& text)
{
    const QDateTime when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
    Q_ASSERT(when.isValid());
    return when;
}

inline booking::DBPost Post(qint32 person, const QDateTime& start, const QDateTime& end, qint32 status = 1)
{
    booking::DBPost post;
    post.PersonID(person);
    post.StartTid(start);
    post.SlutTid(end);
    post.Status(status);
    return post;
}

inline booking::DBPost Post(qint32 person, const QString& start, const QString& end, qint32 status = 1)
{
    return Post(person, At(start), At(end), status);
}

// Saves a post, as new or over the booking of its number, and gives SparaPost's answer (0:
// saved); number, where given, gets the booking's number.
inline qint32 Save(booking::DBFunk& db, booking::DBPost& post, bool asNew = true, qint32* number = nullptr)
{
    qint32 saved = -1;
    qint32 result = -1;
    db.SparaPost(post, asNew, saved, result);
    if (number != nullptr)
        *number = saved;
    return result;
}

// Saves a post as a new booking; gives its number, 0 where the save was refused.
inline qint32 SaveNew(booking::DBFunk& db, booking::DBPost& post)
{
    qint32 number = 0;
    return Save(db, post, true, &number) == 0 ? number : 0;
}

// Adds one resource and commits it; gives its number.
inline qint32 AddResource(booking::DBFunk& db, const QString& first, const QString& last, const QString& place = {})
{
    booking::BulkWriter writer(db);
    const qint32 id = writer.AddResource(first, last, place);
    writer.Commit();
    return id;
}

inline qint32 SaveNew(booking::DBFunk& db, qint32 person, const QString& start, const QString& end)
{
    booking::DBPost post = Post(person, start, end);
    return SaveNew(db, post);
}

// Every property of two posts but the number alike.
inline void ComparePosts(const booking::DBPost& actual, const booking::DBPost& expected)
{
    for (int i = 0; i < booking::kPostTextCount; ++i)
        QCOMPARE(actual.Text(booking::PostText(i)), expected.Text(booking::PostText(i)));
    QCOMPARE(actual.Betalningsvillkor(), expected.Betalningsvillkor());
    QCOMPARE(actual.StartTid(), expected.StartTid());
    QCOMPARE(actual.SlutTid(), expected.SlutTid());
    QCOMPARE(actual.PersonID(), expected.PersonID());
    QCOMPARE(actual.ExtraPersonID(), expected.ExtraPersonID());
    QCOMPARE(actual.Antal(), expected.Antal());
    QCOMPARE(actual.Typ(), expected.Typ());
    QCOMPARE(actual.Status(), expected.Status());
    QCOMPARE(actual.Aktiv(), expected.Aktiv());
    QCOMPARE(actual.Minuter(), expected.Minuter());
}

// A file's bytes; empty when it cannot be read.
inline constexpr auto& FileBytes = testenv::ReadBytes;

inline QStringList FilesBeside(const QString& path)
{
    return QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The numbers of a recordset (its Nyckel, or the field named), in its order; the set is left
// at its end.
inline QList<qint32> Keys(booking::Recordset records, const QString& field = QStringLiteral("Nyckel"))
{
    QList<qint32> keys;
    while (!records.Eof()) {
        keys << records[field].toInt();
        records.MoveNext();
    }
    return keys;
}

// A plain QtSql connection to a file, beside the component: for what the component does
// not hand out, and for a second program holding the file.
class RawConnection {
public:
    explicit RawConnection(const QString& path) : m_name(QStringLiteral("raw-%1").arg(++s_connections))
    {
        const auto kind = booking::detail::BackendFor(path);
        QSqlDatabase db = QSqlDatabase::addDatabase(booking::detail::DriverName(kind), m_name);
        if (kind == booking::detail::BackendKind::PostgreSQL) {
            QString why;
            booking::detail::Configure(db, kind, path, false, false, 0, why);
        } else {
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        }
        db.open();
    }
    ~RawConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool Exec(const QString& sql)
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        return query.exec(sql);
    }
    QVariant Value(const QString& sql)
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (!query.exec(sql) || !query.next())
            return QVariant();
        return query.value(0);
    }

private:
    static inline int s_connections = 0;
    QString m_name;
};

} // namespace bookingtest

// The main of a booking test: on the server backend it starts the cluster first and stops
// it at the end; without PostgreSQL installed that run is skipped (status 77).
#define BOOKING_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        BOOKING_TEST_MAIN_BODY(TestObject)                                                                             \
    }
#define BOOKING_TEST_MAIN_BODY(TestObject)                                                                             \
    {                                                                                                                  \
        testenv::SetUpTemporaryHome();                                                                                 \
        QCoreApplication app(argc, argv);                                                                              \
        if (bookingtest::OnServer()) {                                                                                 \
            if (!pgtest::Cluster::Available()) {                                                                       \
                std::fprintf(stderr, "SKIP: PostgreSQL is not installed\n");                                           \
                return 77;                                                                                             \
            }                                                                                                          \
            bookingtest::Server() = std::make_unique<pgtest::Cluster>();                                               \
            if (!bookingtest::Server()->Start()) {                                                                     \
                std::fprintf(stderr, "cannot start PostgreSQL: %s\n", qPrintable(bookingtest::Server()->Error()));     \
                return 1;                                                                                              \
            }                                                                                                          \
        }                                                                                                              \
        int status = 0;                                                                                                \
        {                                                                                                              \
            TestObject tc;                                                                                             \
            QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
            status = QTest::qExec(&tc, argc, argv);                                                                    \
        }                                                                                                              \
        bookingtest::Server().reset();                                                                                 \
        return status;                                                                                                 \
    }

// Skips a test that is about the SQLite file itself.
#define FILE_ONLY()                                                                                                    \
    do {                                                                                                               \
        if (bookingtest::OnServer())                                                                                   \
            QSKIP("about the database file");                                                                          \
    } while (false)

// Runs a statement and checks that it raises the error with that number.
#define EXPECT_RAISES(number, statement)                                                                               \
    do {                                                                                                               \
        bool raised_ = false;                                                                                          \
        try {                                                                                                          \
            (void)(statement);                                                                                         \
        } catch (const vb::ErrObject& e_) {                                                                            \
            raised_ = true;                                                                                            \
            QCOMPARE(e_.Number(), long(number));                                                                       \
        }                                                                                                              \
        QVERIFY2(raised_, "no error was raised: " #statement);                                                         \
    } while (false)

// Opens a connection the way the wizard does and fails the test unless it answers 1.
#define OPEN_OR_FAIL(db, path)                                                                                         \
    do {                                                                                                               \
        (db).Anropskod(-9);                                                                                            \
        QCOMPARE((db).ÖppnaDatabas((path), 0, 0), qint32(booking::Öppnad));                                            \
    } while (false)

// Declares a connection db and opens it as OPEN_OR_FAIL does.
#define OPENED_OR_FAIL(db, path)                                                                                       \
    booking::DBFunk db;                                                                                                \
    OPEN_OR_FAIL(db, path)
