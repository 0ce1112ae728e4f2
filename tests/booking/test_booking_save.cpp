// SparaPost and HämtaPost: every property kept, inserts and updates, the answers that refuse
// a save without writing, and a database held by another program.
#include "BookingTestSupport.h"

#include <QElapsedTimer>

using namespace booking;
using namespace bookingtest;

namespace {

DBPost FullPost(const QString& start = QStringLiteral("2026-12-09 08:15"),
               const QString& end = QStringLiteral("2026-12-09 16:45"))
{
    DBPost post;
    post.Bokningsnr(QStringLiteral("100234"));
    post.Telefon(QStringLiteral("031-12 34 56"));
    post.Beställare(QStringLiteral("Åsa Öberg"));
    post.Märke(QStringLiteral("Projekt \"Älvsborg\""));
    post.Beställningsnummer(QStringLiteral("BN-2026-00017"));
    post.Beställningsdatum(QStringLiteral("2026-12-01"));
    post.Leverans_postadress(QStringLiteral("411 38 Göteborg"));
    post.Leveransadress(QStringLiteral("Östra Hamngatan 12"));
    post.Kundnamn(QStringLiteral("Bergström Bygg AB"));
    post.Betalningsvillkor(BetalningKontant);
    post.Dokument(QStringLiteral("Offert 2026-117.pdf"));
    post.Följesedelsnr(QStringLiteral("4500"));
    post.Notering(QStringLiteral("\"Ring innan\"\r\nPortkod 1234\nTab\there; 'single' quotes"));
    post.StartTid(At(start));
    post.SlutTid(At(end));
    post.PersonID(2);
    post.ExtraPersonID(1);
    post.Antal(1);
    post.Typ(TypIntern);
    post.Status(2);
    post.Aktiv(true);
    post.Minuter(450.0);
    return post;
}

// Loads 2,500 bookings of an hour each from 2026-01-05 08:00 on, one with a status no database
// knows where badStatus; commits them where commit.
void Load(DBFunk& db, bool badStatus, bool commit)
{
    BulkWriter writer(db);
    const QDateTime first = At(QStringLiteral("2026-01-05 08:00"));
    for (int i = 0; i < 2500; ++i) {
        DBPost post = Post(1 + i % 2, first.addSecs(qint64(i) * 3600), first.addSecs(qint64(i) * 3600 + 1800),
                           badStatus && i == 2100 ? 99 : 1);
        post.Notering(QStringLiteral("bulk %1").arg(i));
        writer.AddBooking(post);
    }
    if (commit)
        writer.Commit();
}

} // namespace

class TestBookingSave : public QObject {
    Q_OBJECT

    QString m_path;

    void AddResources(DBFunk& db)
    {
        BulkWriter writer(db);
        writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Umeå"));
        writer.AddResource(QStringLiteral("Erik"), QStringLiteral("Öberg"), QStringLiteral("Malmö"));
        writer.Commit();
    }

private slots:
    void init()
    {
        m_path = CreateDatabase();
        OPENED_OR_FAIL(db, m_path);
        AddResources(db);
    }

    void everyPropertyComesBack()
    {
        OPENED_OR_FAIL(db, m_path);
        DBPost post = FullPost();
        const qint32 number = SaveNew(db, post);
        QCOMPARE(number, 1);
        QCOMPARE(post.Nyckel(), 1);

        OPENED_OR_FAIL(other, m_path);
        const std::optional<DBPost> read = other.HämtaPost(number);
        QVERIFY(read.has_value());
        QCOMPARE(read->Nyckel(), number);
        ComparePosts(*read, post);
        QVERIFY(!other.HämtaPost(number + 1).has_value());
    }

    void aNewPostHasTheDefaults()
    {
        const DBPost post;
        QCOMPARE(post.Nyckel(), 0);
        QCOMPARE(post.Status(), -1);
        QCOMPARE(post.Typ(), qint32(TypKund));
        QVERIFY(post.Aktiv());
        QCOMPARE(post.ExtraPersonID(), 0);
        QVERIFY(!post.StartTid().isValid());
        // A new post with times and a resource saves with its defaults, and reads back so.
        OPENED_OR_FAIL(db, m_path);
        DBPost fresh;
        fresh.PersonID(1);
        fresh.StartTid(At(QStringLiteral("2026-12-09 10:00")));
        fresh.SlutTid(At(QStringLiteral("2026-12-09 11:00")));
        const qint32 number = SaveNew(db, fresh);
        QVERIFY(number > 0);
        ComparePosts(*db.HämtaPost(number), fresh);
    }

    void updateByNumber()
    {
        OPENED_OR_FAIL(db, m_path);
        DBPost post = FullPost();
        QCOMPARE(SaveNew(db, post), 1);
        DBPost second = FullPost(QStringLiteral("2026-12-10 08:00"), QStringLiteral("2026-12-10 09:00"));
        QCOMPARE(SaveNew(db, second), 2);
        std::optional<DBPost> read = db.HämtaPost(1);
        read->Kundnamn(QStringLiteral("Café Ängen"));
        read->Notering(QString());
        read->Betalningsvillkor(5);
        read->ExtraPersonID(0);
        read->Aktiv(false);
        read->SlutTid(At(QStringLiteral("2026-12-09 17:00")));
        qint32 number = 0;
        QCOMPARE(Save(db, *read, false, &number), 0);
        QCOMPARE(number, 1);
        QCOMPARE(db.AntalBokningar(), qint64(2));
        ComparePosts(*db.HämtaPost(1), *read);
        ComparePosts(*db.HämtaPost(2), second);
    }

    // A booking read and saved as new is a copy with a number of its own.
    void saveAsNewCopies()
    {
        OPENED_OR_FAIL(db, m_path);
        db.Överlapp(true);
        DBPost post = FullPost();
        std::optional<DBPost> copy = db.HämtaPost(SaveNew(db, post));
        copy->Notering(QStringLiteral("kopia"));
        QCOMPARE(SaveNew(db, *copy), 2);
        QCOMPARE(copy->Nyckel(), 2);
        QCOMPARE(db.HämtaPost(1)->Notering(), post.Notering());
        QCOMPARE(db.HämtaPost(2)->Notering(), QStringLiteral("kopia"));
    }

    void refusals_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("asNew");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("no start") << 0 << true << qint32(2);
        QTest::newRow("end before start") << 1 << true << qint32(2);
        QTest::newRow("update of a number not there") << 2 << false << qint32(3);
        QTest::newRow("update of a post never saved") << 3 << false << qint32(3);
        QTest::newRow("no such resource") << 4 << true << qint32(4);
        QTest::newRow("no such responsible resource") << 5 << true << qint32(4);
        QTest::newRow("no such status") << 6 << true << qint32(5);
    }
    void refusals()
    {
        QFETCH(int, change);
        QFETCH(bool, asNew);
        QFETCH(qint32, expected);
        OPENED_OR_FAIL(db, m_path);
        DBPost saved = FullPost();
        QCOMPARE(SaveNew(db, saved), 1);
        // Closed, the save is in the file itself; a refused save must leave it as it is.
        db.Stäng();
        const QByteArray before = FileBytes(m_path);
        OPEN_OR_FAIL(db, m_path);

        DBPost post = change == 3 ? FullPost() : *db.HämtaPost(1);
        post.StartTid(post.StartTid().addDays(7));
        post.SlutTid(post.SlutTid().addDays(7));
        switch (change) {
        case 0:
            post.StartTid(QDateTime());
            break;
        case 1:
            post.SlutTid(post.StartTid().addSecs(-60));
            break;
        case 2: {
            // A number that was there once: the database holding it was another.
            DBFunk other;
            const QString otherPath = CreateDatabase();
            OPEN_OR_FAIL(other, otherPath);
            AddResources(other);
            other.Överlapp(true);
            DBPost there = FullPost();
            for (qint32 i = 1; i <= 3; ++i)
                QCOMPARE(SaveNew(other, there), i);
            post = *other.HämtaPost(3);
            break;
        }
        case 4:
            post.PersonID(99);
            break;
        case 5:
            post.ExtraPersonID(99);
            break;
        case 6:
            post.Status(42);
            break;
        }
        qint32 number = -1;
        QCOMPARE(Save(db, post, asNew, &number), expected);
        QCOMPARE(number, 0);
        QCOMPARE(db.AntalBokningar(), qint64(1));
        ComparePosts(*db.HämtaPost(1), saved);
        db.Stäng();
        QCOMPARE(FileBytes(m_path), before);
    }

    void settersRefuseValuesWithoutMeaning()
    {
        DBPost post;
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, post.Typ(3));
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, post.Typ(-1));
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, post.Antal(-1));
        // Refused, the values stay as they were.
        QCOMPARE(post.Typ(), qint32(TypKund));
        QCOMPARE(post.Antal(), 0);
    }

    // Each save records which program wrote it and its caller code.
    void theWriterIsRecorded()
    {
        {
            OPENED_OR_FAIL(db, m_path);
            DBProgram program;
            program.Namn(QStringLiteral("DuzUro"));
            QVERIFY(db.SättProgram(program));
            DBPost post = FullPost();
            QCOMPARE(SaveNew(db, post), 1);
        }
        RawConnection raw(m_path);
        QCOMPARE(raw.Value(QStringLiteral("SELECT \"Program\" FROM \"Bokningar\" WHERE \"Nyckel\" = 1")).toString(),
                 QStringLiteral("DuzUro"));
        QCOMPARE(raw.Value(QStringLiteral("SELECT \"Anropskod\" FROM \"Bokningar\" WHERE \"Nyckel\" = 1")).toInt(), -9);
    }

    void notOpenRaises()
    {
        DBFunk db;
        DBPost post = FullPost();
        qint32 number = -1;
        qint32 result = -1;
        EXPECT_RAISES(ErrNotOpen, db.SparaPost(post, true, number, result));
        EXPECT_RAISES(ErrNotOpen, db.HämtaPost(1));
        EXPECT_RAISES(ErrNotOpen, db.Krockar(1, post.StartTid(), post.SlutTid(), true, 1, QString()));
    }

    // Another program holding the write lock makes the save wait its timeout, then fail with
    // 3218; nothing of either side is lost, and the save goes through once the lock is gone.
    void aLockedDatabaseFailsTheSaveAndLosesNothing_data()
    {
        QTest::addColumn<QStringList>("onFile");
        QTest::addColumn<QStringList>("onServer");
        // On a server: another desk saving the same resource (2), or a program locking the table.
        QTest::newRow("immediate") << QStringList{QStringLiteral("BEGIN IMMEDIATE")}
                                   << QStringList{QStringLiteral("BEGIN"),
                                                  QStringLiteral("SELECT pg_advisory_xact_lock(1347177037, 2)")};
        QTest::newRow("exclusive") << QStringList{QStringLiteral("BEGIN EXCLUSIVE")}
                                   << QStringList{QStringLiteral("BEGIN"),
                                                  QStringLiteral("LOCK TABLE \"Bokningar\" IN EXCLUSIVE MODE")};
    }
    void aLockedDatabaseFailsTheSaveAndLosesNothing()
    {
        QFETCH(QStringList, onFile);
        QFETCH(QStringList, onServer);
        DBFunk db;
        db.Anropskod(-9);
        QCOMPARE(db.ÖppnaDatabas(m_path, 200, 0), qint32(Öppnad));
        DBPost first = FullPost();
        QCOMPARE(SaveNew(db, first), 1);

        RawConnection holder(m_path);
        for (const QString& sql : OnServer() ? onServer : onFile)
            QVERIFY2(holder.Exec(sql), qPrintable(sql));
        QVERIFY(holder.Exec(QStringLiteral(
            "INSERT INTO \"Personer\" (\"FörNamn\", \"EfterNamn\", \"Placering\") VALUES ('Lena', 'Ek', '')")));

        DBPost second = FullPost(QStringLiteral("2026-12-11 08:00"), QStringLiteral("2026-12-11 09:00"));
        qint32 number = -1;
        qint32 result = -1;
        QElapsedTimer waited;
        waited.start();
        EXPECT_RAISES(ErrLocked, db.SparaPost(second, true, number, result));
        QVERIFY2(waited.elapsed() >= 150, "the save did not wait for the busy timeout");
        QCOMPARE(number, 0);
        QCOMPARE(second.Nyckel(), 0);

        QVERIFY(holder.Exec(QStringLiteral("COMMIT")));
        QCOMPARE(db.PersonNamn(3), QStringLiteral("Lena Ek"));
        QCOMPARE(db.AntalBokningar(), qint64(1));
        ComparePosts(*db.HämtaPost(1), first);

        QCOMPARE(SaveNew(db, second), 2);
        QCOMPARE(db.AntalBokningar(), qint64(2));
    }

    // A large load (through COPY on a server, where it also sets the table's indexes and keys
    // aside until the end) that is never committed, or that holds a booking with a status the
    // database does not know, keeps nothing: no booking, and the table's indexes and keys as
    // they were. The unknown status is refused at the latest when the load commits.
    void aLargeLoadThatFailsKeepsNothing_data()
    {
        QTest::addColumn<bool>("badStatus");
        QTest::newRow("not committed") << false;
        QTest::newRow("a status that does not exist") << true;
    }
    void aLargeLoadThatFailsKeepsNothing()
    {
        QFETCH(bool, badStatus);
        const QString definitions = pgtest::BookingsIndexesAndKeys();
        const QString database = QUrl(m_path).path().mid(1);
        QVariant before;
        QString error;
        if (OnServer())
            QVERIFY2(Server()->Admin(definitions, error, database, &before), qPrintable(error));
        OPENED_OR_FAIL(db, m_path);
        bool raised = false;
        try {
            Load(db, badStatus, badStatus);
        } catch (const vb::ErrObject& e) {
            raised = true;
            QVERIFY2(!e.Description().isEmpty(), "a reason");
        }
        QCOMPARE(raised, badStatus);
        QCOMPARE(db.AntalBokningar(), qint64(0));
        if (OnServer()) {
            QVariant after;
            QVERIFY2(Server()->Admin(definitions, error, database, &after), qPrintable(error));
            QCOMPARE(after.toString(), before.toString());
        }
        // The same load without the bad booking goes in whole.
        Load(db, false, true);
        QCOMPARE(db.AntalBokningar(), qint64(2500));
        QCOMPARE(db.HämtaPoster(QStringLiteral("2026-01-05 00:00:00"), QStringLiteral("2026-01-05 23:59:59"), 2)
                     .RecordCount(),
                 8);
    }

    // The server stopped in the middle of a run: the save in progress and the bulk write in
    // progress fail with a clear error, the connection says it was lost, and once the server
    // is back nothing of either was kept.
    void aServerStoppedMidRunKeepsNothingHalfSaved()
    {
        if (!OnServer())
            QSKIP("about a server");
        OPENED_OR_FAIL(db, m_path);
        DBPost first = FullPost();
        QCOMPARE(SaveNew(db, first), 1);
        QVERIFY(!db.FörbindelsenBröts());
        {
            BulkWriter writer(db);
            writer.AddBooking(FullPost(QStringLiteral("2026-12-12 08:00"), QStringLiteral("2026-12-12 09:00")));
            Server()->Stop();
            const QString error = testenv::Raised([&writer] { writer.Commit(); });
            const QString number = QStringLiteral("%1: ").arg(ErrDiskIO);
            QVERIFY2(error.startsWith(number) && error.size() > number.size(), qPrintable(error));
        }
        QVERIFY(db.FörbindelsenBröts());
        DBPost second = FullPost(QStringLiteral("2026-12-11 08:00"), QStringLiteral("2026-12-11 09:00"));
        qint32 number = -1;
        qint32 result = -1;
        EXPECT_RAISES(ErrDiskIO, db.SparaPost(second, true, number, result));
        QCOMPARE(number, 0);
        QVERIFY(Server()->Restart());
        OPENED_OR_FAIL(after, m_path);
        QCOMPARE(after.AntalBokningar(), qint64(1));
        ComparePosts(*after.HämtaPost(1), first);
    }
};

BOOKING_TEST_MAIN(TestBookingSave)
#include "test_booking_save.moc"
