// Krockar, and SparaPost's refusal to double-book while Överlapp is False.
#include "BookingTestSupport.h"

#include <QRandomGenerator>

using namespace booking;
using namespace bookingtest;

class TestBookingClash : public QObject {
    Q_OBJECT

    QString m_path;

private slots:
    void initTestCase()
    {
        m_path = CreateDatabase();
        OPENED_OR_FAIL(db, m_path);
        BulkWriter writer(db);
        for (int i = 0; i < 3; ++i)
            writer.AddResource(QStringLiteral("Resurs"), QString::number(i + 1), QString());
        // 1: the booking most rows test against.
        writer.AddBooking(Post(1, QStringLiteral("2026-12-09 10:00"), QStringLiteral("2026-12-09 12:00"), 1));
        // 2: a cancelled booking (status Avbokad, which does not block).
        writer.AddBooking(Post(1, QStringLiteral("2026-12-09 14:00"), QStringLiteral("2026-12-09 15:00"), 3));
        // 3: no longer active.
        DBPost inactive = Post(1, QStringLiteral("2026-12-09 16:00"), QStringLiteral("2026-12-09 17:00"), 1);
        inactive.Aktiv(false);
        writer.AddBooking(inactive);
        // 4: a month-long absence of resource 2.
        DBPost away = Post(2, QStringLiteral("2026-11-20 00:00"), QStringLiteral("2026-12-20 00:00"), 1);
        away.Typ(TypFrånvaro);
        writer.AddBooking(away);
        writer.Commit();
    }

    void krockar_data()
    {
        QTest::addColumn<qint32>("person");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("withStatus");
        QTest::addColumn<qint32>("status");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("clash");
        const auto row = [](const char* name, qint32 person, const char* start, const char* end, bool withStatus,
                            qint32 status, const char* key, bool clash) {
            QTest::newRow(name) << person << QString::fromLatin1("2026-12-09 ") + QLatin1String(start)
                                << QString::fromLatin1("2026-12-09 ") + QLatin1String(end) << withStatus << status
                                << QString::fromLatin1(key) << clash;
        };
        row("overlaps the start", 1, "09:00", "10:30", true, 1, "", true);
        row("overlaps the end", 1, "11:59", "13:00", true, 1, "", true);
        row("back to back before", 1, "08:00", "10:00", true, 1, "", false);
        row("back to back after", 1, "12:00", "13:00", true, 1, "", false);
        row("inside", 1, "10:30", "11:00", true, 1, "0", true);
        row("around", 1, "09:00", "13:00", true, 1, "", true);
        row("the same times", 1, "10:00", "12:00", true, 1, "", true);
        row("another resource", 3, "10:00", "12:00", true, 1, "", false);
        row("itself by its number", 1, "10:00", "12:00", true, 1, "1", false);
        row("its number with blanks", 1, "10:00", "12:00", true, 1, " 1 ", false);
        row("another number", 1, "10:00", "12:00", true, 1, "2", true);
        row("over a cancelled-status booking", 1, "14:30", "14:45", true, 1, "", false);
        row("status not counted", 1, "14:30", "14:45", false, 1, "", true);
        row("own status does not block", 1, "10:30", "11:00", true, 4, "", false);
        row("own status, statuses not counted", 1, "10:30", "11:00", false, 4, "", true);
        row("own status unknown blocks", 1, "10:30", "11:00", true, 42, "", true);
        row("over an inactive booking", 1, "16:00", "17:00", false, 1, "", false);
        row("end before start", 3, "12:00", "11:00", true, 1, "", true);
        row("no length, inside", 1, "11:00", "11:00", true, 1, "", true);
        row("no length, at the start", 1, "10:00", "10:00", true, 1, "", false);
        row("inside a month-long absence", 2, "10:00", "11:00", true, 1, "", true);
    }
    void krockar()
    {
        QFETCH(qint32, person);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, withStatus);
        QFETCH(qint32, status);
        QFETCH(QString, key);
        QFETCH(bool, clash);
        OPENED_OR_FAIL(db, m_path);
        QCOMPARE(db.Krockar(person, At(start), At(end), withStatus, status, key), clash);
    }

    void badArgumentsRaise13()
    {
        OPENED_OR_FAIL(db, m_path);
        EXPECT_RAISES(vb::ErrTypeMismatch,
                      db.Krockar(1, At(QStringLiteral("2026-12-09 10:00")), At(QStringLiteral("2026-12-09 11:00")),
                                 true, 1, QStringLiteral("k1")));
        EXPECT_RAISES(vb::ErrTypeMismatch,
                      db.Krockar(1, QDateTime(), At(QStringLiteral("2026-12-09 11:00")), true, 1, QString()));
    }

    // Random bookings of every length against a plain scan.
    void agreesWithAPlainScan()
    {
        struct Stored {
            qint32 key, person, status;
            QDateTime start, end;
            bool active;
        };
        const QString path = CreateDatabase();
        OPENED_OR_FAIL(db, path);
        QRandomGenerator random(4711);
        std::vector<Stored> stored;
        const QDateTime origin(QDate(2026, 3, 1), QTime(0, 0));
        const qint32 statuses[] = {-1, 0, 1, 2, 3, 4, 5};
        {
            BulkWriter writer(db);
            for (int r = 0; r < 3; ++r)
                writer.AddResource(QStringLiteral("R"), QString::number(r), QString());
            for (int i = 0; i < 400; ++i) {
                DBPost post;
                post.PersonID(1 + qint32(random.bounded(3)));
                post.StartTid(origin.addSecs(qint64(random.bounded(30 * 24 * 4)) * 15 * 60));
                const int kind = int(random.bounded(100));
                const qint64 minutes = kind < 5    ? 0
                                       : kind < 85 ? 15 * (1 + random.bounded(16))
                                                   : 1440 * (1 + random.bounded(40));
                post.SlutTid(post.StartTid().addSecs(minutes * 60));
                post.Status(statuses[random.bounded(7)]);
                post.Aktiv(random.bounded(10) != 0);
                stored.push_back({writer.AddBooking(post), post.PersonID(), post.Status(), post.StartTid(),
                                  post.SlutTid(), post.Aktiv()});
            }
            writer.Commit();
        }
        const auto blocks = [](qint32 status) { return status != 3 && status != 4; };
        for (int round = 0; round < 300; ++round) {
            const qint32 person = 1 + qint32(random.bounded(3));
            const QDateTime start = origin.addSecs(qint64(random.bounded(32 * 24 * 4)) * 15 * 60);
            const QDateTime end = start.addSecs(qint64(random.bounded(12 * 4)) * 15 * 60);
            const bool withStatus = random.bounded(2) == 0;
            const qint32 status = statuses[random.bounded(7)];
            const qint32 own = random.bounded(4) == 0 ? stored[random.bounded(quint32(stored.size()))].key : 0;
            bool expected = false;
            if (!withStatus || blocks(status))
                for (const Stored& s : stored)
                    if (s.person == person && s.active && s.key != own && (!withStatus || blocks(s.status)) &&
                        s.start < end && start < s.end)
                        expected = true;
            QCOMPARE(db.Krockar(person, start, end, withStatus, status, QString::number(own)), expected);
        }
    }

    // Moving a booking over its own old times is no clash; moving it onto another is.
    void anUpdateDoesNotClashWithItself()
    {
        const QString path = CreateDatabase();
        OPENED_OR_FAIL(db, path);
        {
            BulkWriter writer(db);
            writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QString());
            writer.AddBooking(Post(1, QStringLiteral("2026-12-09 10:00"), QStringLiteral("2026-12-09 11:00")));
            writer.AddBooking(Post(1, QStringLiteral("2026-12-09 13:00"), QStringLiteral("2026-12-09 14:00")));
            writer.Commit();
        }
        std::optional<DBPost> post = db.HämtaPost(1);
        QVERIFY(post.has_value());
        post->SlutTid(At(QStringLiteral("2026-12-09 11:30")));
        qint32 number = -1;
        QCOMPARE(Save(db, *post, false, &number), 0);
        QCOMPARE(number, 1);
        post->SlutTid(At(QStringLiteral("2026-12-09 13:30")));
        QCOMPARE(Save(db, *post, false), 1);
        QCOMPARE(db.HämtaPost(1)->SlutTid(), At(QStringLiteral("2026-12-09 11:30")));
        // Saved as new, the same booking clashes with the one it was read from.
        post->SlutTid(At(QStringLiteral("2026-12-09 11:00")));
        QCOMPARE(Save(db, *post), 1);
        // A cancelled booking never clashes.
        post->Aktiv(false);
        QCOMPARE(SaveNew(db, *post), 3);
    }
};

BOOKING_TEST_MAIN(TestBookingClash)
#include "test_booking_clash.moc"
