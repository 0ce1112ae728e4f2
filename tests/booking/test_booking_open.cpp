// Opening and creating booking databases: what ÖppnaDatabas answers for every kind of path,
// and that a file it refuses is left exactly as it was.
#include "BookingTestSupport.h"
#include "booking/Schema.h"

using namespace booking;
using namespace bookingtest;

namespace {

enum class Kind {
    Missing,
    Empty,
    Folder,
    Text,
    EmptyFile,
    OtherSqlite,
    OurIdNoTables,
    NewerVersion,
    Server,
    Planum,
    PasswordInLocation
};

constexpr qint32 kNotThere = 99; // a row that does not exist on this backend

// The database at location (a new one on the server, or a file) after the statements ran.
QString Ran(const QString& location, const QStringList& statements)
{
    RawConnection raw(location);
    for (const QString& sql : statements)
        raw.Exec(sql);
    return location;
}

// Makes the file or server database a row asks for and gives the location to open.
QString Make(Kind kind)
{
    switch (kind) {
    case Kind::Missing:
        return OnServer() ? Server()->Location(QStringLiteral("saknas")) : NewPath(QStringLiteral("missing.db"));
    case Kind::Empty:
        return QString();
    case Kind::Folder: {
        const QString path = NewPath(QStringLiteral("folder.db"));
        QDir().mkpath(path);
        return path;
    }
    case Kind::Text: {
        const QString path = NewPath(QStringLiteral("notes.txt"));
        return testenv::WriteFile(path, "Bokningar vecka 49\r\nAnna: måndag\r\n") ? path : QString();
    }
    case Kind::EmptyFile: {
        const QString path = NewPath(QStringLiteral("empty.db"));
        return testenv::WriteFile(path, {}) ? path : QString();
    }
    case Kind::OtherSqlite:
        if (OnServer())
            return Ran(Server()->NewDatabase(),
                       {QStringLiteral("CREATE TABLE \"Personer\" (\"ID\" INTEGER PRIMARY KEY, Namn TEXT)")});
        return Ran(NewPath(QStringLiteral("other.sqlite")),
                   {QStringLiteral("CREATE TABLE Personer (ID INTEGER PRIMARY KEY, Namn TEXT)"),
                    QStringLiteral("INSERT INTO Personer (Namn) VALUES ('Anna')"),
                    QStringLiteral("PRAGMA user_version = 1")});
    case Kind::OurIdNoTables:
        if (OnServer())
            return Ran(Server()->NewDatabase(),
                       {QStringLiteral(
                            "CREATE TABLE \"Databas\" (\"Program\" INTEGER NOT NULL, \"Version\" INTEGER NOT NULL)"),
                        QStringLiteral("INSERT INTO \"Databas\" VALUES (%1, 1)").arg(detail::kApplicationId),
                        QStringLiteral("CREATE TABLE \"Annat\" (x INTEGER)")});
        return Ran(NewPath(QStringLiteral("marked.db")),
                   {QStringLiteral("PRAGMA application_id = %1").arg(detail::kApplicationId),
                    QStringLiteral("PRAGMA user_version = 1"), QStringLiteral("CREATE TABLE Annat (x)")});
    case Kind::NewerVersion:
        return Ran(CreateDatabase(),
                   {OnServer()
                        ? QStringLiteral("UPDATE \"Databas\" SET \"Version\" = %1").arg(detail::kSchemaVersion + 1)
                        : QStringLiteral("PRAGMA user_version = %1").arg(detail::kSchemaVersion + 1)});
    case Kind::Server: // nothing listens on port 1
        return QStringLiteral("postgresql://planum@127.0.0.1:1/planum?connect_timeout=2");
    case Kind::Planum:
        return CreateDatabase();
    case Kind::PasswordInLocation:
        return Server()
            ->Location(QStringLiteral("postgres"))
            .replace(QStringLiteral("?"), QStringLiteral("?password=x&"));
    }
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestBookingOpen : public QObject {
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<qint32>("onFile");
        QTest::addColumn<qint32>("onServer");
        QTest::addColumn<QString>("reason"); // part of the message, when it matters
        QTest::newRow("missing") << Kind::Missing << qint32(FilSaknas) << qint32(KanInteÖppna) << QString();
        QTest::newRow("empty path") << Kind::Empty << qint32(IngenSökväg) << qint32(IngenSökväg) << QString();
        QTest::newRow("folder") << Kind::Folder << qint32(FilSaknas) << kNotThere << QString();
        QTest::newRow("text file") << Kind::Text << qint32(InteDatabas) << kNotThere << QString();
        QTest::newRow("empty file") << Kind::EmptyFile << qint32(InteDatabas) << kNotThere << QString();
        QTest::newRow("database of another program")
            << Kind::OtherSqlite << qint32(AnnanDatabas) << qint32(AnnanDatabas) << QString();
        QTest::newRow("our mark without our tables")
            << Kind::OurIdNoTables << qint32(AnnanDatabas) << qint32(AnnanDatabas) << QString();
        QTest::newRow("newer schema version")
            << Kind::NewerVersion << qint32(NyareVersion) << qint32(NyareVersion) << QStringLiteral("version 2");
        QTest::newRow("server that is down")
            << Kind::Server << qint32(KanInteÖppna) << qint32(KanInteÖppna) << QStringLiteral("127.0.0.1");
        QTest::newRow("booking database") << Kind::Planum << qint32(Öppnad) << qint32(Öppnad) << QString();
        // A server database without the tables, and a password the server refuses: see the
        // unattended run on a server database, which says the same reasons.
        QTest::newRow("password in the location")
            << Kind::PasswordInLocation << kNotThere << qint32(KanInteÖppna) << QStringLiteral("~/.pgpass");
    }
    // Every refused path is left byte for byte as it was, and no file appears beside it.
    void answers()
    {
        QFETCH(Kind, kind);
        QFETCH(qint32, onFile);
        QFETCH(qint32, onServer);
        QFETCH(QString, reason);
        const qint32 expected = OnServer() ? onServer : onFile;
        if (expected == kNotThere)
            QSKIP("not a case of this backend");
        const QString path = Make(kind);
        const bool local = !OnServer() && kind != Kind::Empty && kind != Kind::Server;
        const QByteArray before = local ? FileBytes(path) : QByteArray();
        const QStringList filesBefore = local ? FilesBeside(path) : QStringList();

        {
            DBFunk db;
            db.Anropskod(-9);
            for (qint32 mode : {0, 1}) {
                QCOMPARE(db.ÖppnaDatabas(path, 0, mode), expected);
                QCOMPARE(db.ÄrÖppen(), expected == Öppnad);
                if (expected != Öppnad) {
                    QVERIFY2(db.SenasteFel().contains(reason), qPrintable(db.SenasteFel()));
                    QVERIFY(!db.SenasteFel().contains(QStringLiteral("password=")));
                    EXPECT_RAISES(ErrNotOpen, db.PersonNamn(1));
                    EXPECT_RAISES(ErrNotOpen,
                                  db.HämtaPoster(QStringLiteral("2026-12-07"), QStringLiteral("2026-12-08"), -9));
                }
            }
        }
        if (expected == Öppnad || !local)
            return;
        QCOMPARE(FileBytes(path), before);
        // A database in WAL mode is read through its log and index files, which the engine
        // makes beside it when they are not there; nothing else appears.
        QStringList after = FilesBeside(path);
        if (kind == Kind::NewerVersion)
            after.removeIf([&](const QString& name) {
                return name == QFileInfo(path).fileName() + QStringLiteral("-wal") ||
                       name == QFileInfo(path).fileName() + QStringLiteral("-shm");
            });
        QCOMPARE(after, filesBefore);
        if (kind == Kind::Missing)
            QVERIFY(!QFileInfo::exists(path));
    }

    // A booking database that lost columns would hand out the wrong texts: it is refused,
    // naming what is missing, and left as it was.
    void missingColumnsAreNamed_data()
    {
        QTest::addColumn<QStringList>("drop");
        QTest::addColumn<QString>("named");
        QTest::newRow("the note") << QStringList{QStringLiteral("DROP INDEX \"Bokningar_Tid\""),
                                                 QStringLiteral("ALTER TABLE \"Bokningar\" DROP COLUMN \"Notering\"")}
                                  << QStringLiteral("Bokningar.Notering");
        QTest::newRow("a resource's place")
            << QStringList{QStringLiteral("ALTER TABLE \"Personer\" DROP COLUMN \"Placering\"")}
            << QStringLiteral("Personer.Placering");
        QTest::newRow("the statuses") << QStringList{QStringLiteral("ALTER TABLE \"Statusar\" RENAME TO \"Status\"")}
                                      << QStringLiteral("Statusar");
    }
    void missingColumnsAreNamed()
    {
        QFETCH(QStringList, drop);
        QFETCH(QString, named);
        const QString path = CreateDatabase();
        {
            RawConnection raw(path);
            for (const QString& sql : drop)
                QVERIFY2(raw.Exec(sql), qPrintable(sql));
        }
        const QByteArray before = FileBytes(path);
        DBFunk db;
        for (qint32 mode : {0, 1}) {
            QCOMPARE(db.ÖppnaDatabas(path, 0, mode), qint32(KanInteÖppna));
            QVERIFY2(db.SenasteFel().contains(named), qPrintable(db.SenasteFel()));
        }
        QCOMPARE(FileBytes(path), before);
    }

    void newDatabaseIsMarkedAndInWalMode()
    {
        FILE_ONLY();
        const QString path = CreateDatabase();
        QCOMPARE(FilesBeside(path), QStringList{QStringLiteral("planum.db")});
        RawConnection raw(path);
        QCOMPARE(raw.Value(QStringLiteral("PRAGMA application_id")).toInt(), detail::kApplicationId);
        QCOMPARE(raw.Value(QStringLiteral("PRAGMA user_version")).toInt(), detail::kSchemaVersion);
        QCOMPARE(raw.Value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    }

    void createNeverReplacesAFile()
    {
        FILE_ONLY();
        const QString path = Make(Kind::Text);
        const QByteArray before = FileBytes(path);
        EXPECT_RAISES(ErrDatabaseExists, DBFunk::SkapaDatabas(path));
        QCOMPARE(FileBytes(path), before);
        QCOMPARE(FilesBeside(path), QStringList{QStringLiteral("notes.txt")});

        const QString database = CreateDatabase();
        const QByteArray ours = FileBytes(database);
        EXPECT_RAISES(ErrDatabaseExists, DBFunk::SkapaDatabas(database));
        QCOMPARE(FileBytes(database), ours);

        EXPECT_RAISES(vb::ErrPathNotFound,
                      DBFunk::SkapaDatabas(testenv::Root() + QStringLiteral("/no/such/folder/p.db")));
        QVERIFY(!QFileInfo::exists(testenv::Root() + QStringLiteral("/no")));
    }

    void pathWithBlanksAndLetters()
    {
        FILE_ONLY();
        const QString path = NewPath(QStringLiteral("Bokningar för Åsa #1 ?.db"));
        DBFunk::SkapaDatabas(path);
        OPENED_OR_FAIL(db, path);
        QCOMPARE(db.Sökväg(), path);
    }

    void readOnlyRefusesWrites()
    {
        const QString path = CreateDatabase();
        {
            OPENED_OR_FAIL(db, path);
            AddResource(db, QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Umeå"));
        }
        const QByteArray before = FileBytes(path);
        DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(path, 0, 1), qint32(Öppnad));
        QVERIFY(db.ÄrSkrivskyddad());
        QCOMPARE(db.PersonNamn(1), QStringLiteral("Anna Berg"));
        DBPost post = Post(1, QStringLiteral("2026-12-07 10:00"), QStringLiteral("2026-12-07 11:00"));
        qint32 number = -1;
        qint32 result = -1;
        EXPECT_RAISES(ErrReadOnly, db.SparaPost(post, true, number, result));
        QCOMPARE(number, 0);
        EXPECT_RAISES(ErrReadOnly, BulkWriter{db});
        db.Stäng();
        QCOMPARE(FileBytes(path), before);
    }

    void badArgumentsRaise()
    {
        const QString path = CreateDatabase();
        DBFunk db;
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, db.ÖppnaDatabas(path, 0, 2));
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, db.ÖppnaDatabas(path, -1, 0));
        QVERIFY(!db.ÄrÖppen());
    }

    // A failed open closes the connection that was open before: nothing reads the old file
    // while the caller believes it is on the new one.
    void failedReopenLeavesNothingOpen()
    {
        const QString path = CreateDatabase();
        OPENED_OR_FAIL(db, path);
        QCOMPARE(db.ÖppnaDatabas(Make(Kind::Missing), 0, 0), OnServer() ? qint32(KanInteÖppna) : qint32(FilSaknas));
        QVERIFY(!db.ÄrÖppen());
        EXPECT_RAISES(ErrNotOpen, db.HämtaStatusar());
        QCOMPARE(db.ÖppnaDatabas(path, 0, 0), qint32(Öppnad));
        QCOMPARE(db.HämtaStatusar().RecordCount(), 7);
    }
};

BOOKING_TEST_MAIN(TestBookingOpen)
#include "test_booking_open.moc"
