// HämtaPoster and the recordset it gives: which bookings a range holds, their order, the
// range texts in every locale, and reading the records by field name.
#include "BookingTestSupport.h"
#include "platform/Locale.h"

#include <QRandomGenerator>
#include <algorithm>

using namespace booking;
using namespace bookingtest;

namespace {

struct Stored {
    qint32 key;
    qint32 person;
    QDateTime start;
    QDateTime end;
    bool active;
};

QString RangeStart(const QDate& day)
{
    return vb::FormatShortDate(day) + QStringLiteral(" 00:00:00");
}
QString RangeEnd(const QDate& day)
{
    return vb::FormatShortDate(day) + QStringLiteral(" 23:59:59");
}

} // namespace

class TestBookingFetch : public QObject {
    Q_OBJECT

    QString m_path;

    qint32 Add(BulkWriter& writer, qint32 person, const QString& start, const QString& end, bool active = true,
               const QString& note = QString())
    {
        DBPost post = Post(person, start, end);
        post.Aktiv(active);
        post.Notering(note);
        return writer.AddBooking(post);
    }

private slots:
    void initTestCase()
    {
        vb::SetLocaleForTest(QLocale(QStringLiteral("sv_SE")));
        m_path = CreateDatabase();
        OPENED_OR_FAIL(db, m_path);
        BulkWriter writer(db);
        writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Umeå"));
        writer.AddResource(QStringLiteral("Erik"), QStringLiteral("Öberg"), QStringLiteral("Malmö"));
        // The numbers 1 to 13 are the rows the range cases below name.
        Add(writer, 1, "2026-12-09 10:00", "2026-12-09 11:00");        // 1 same start as 2
        Add(writer, 2, "2026-12-09 10:00", "2026-12-09 10:30");        // 2
        Add(writer, 1, "2026-12-08 22:00", "2026-12-09 01:00");        // 3 over the start edge
        Add(writer, 2, "2026-12-09 23:00", "2026-12-10 02:00");        // 4 over the end edge
        Add(writer, 2, "2026-12-08 20:00", "2026-12-09 00:00");        // 5 ends as the range begins
        Add(writer, 1, "2026-12-10 00:00", "2026-12-10 01:00");        // 6 begins after the end
        Add(writer, 1, "2026-12-09 23:59", "2026-12-10 00:30");        // 7 begins in the last minute
        Add(writer, 1, "2026-12-01 00:00", "2026-12-11 00:00");        // 8 ten days
        Add(writer, 2, "2026-01-01 00:00", "2027-02-05 00:00");        // 9 four hundred days
        Add(writer, 1, "2026-12-09 12:00", "2026-12-09 13:00", false); // 10 cancelled
        Add(writer, 1, "2026-12-09 00:00", "2026-12-09 00:00");        // 11 no length, at the start
        Add(writer, 2, "2026-11-01 00:00", "2026-12-08 00:00");        // 12 long, over before
        Add(writer, 1, "2026-12-08 09:00", "2026-12-08 10:00");        // 13 the day before
        writer.Commit();
    }
    void cleanupTestCase() { vb::ResetLocale(); }

    void range_data()
    {
        QTest::addColumn<QDate>("first");
        QTest::addColumn<QDate>("last");
        QTest::addColumn<qint32>("resource");
        QTest::addColumn<QList<qint32>>("expected");
        const QDate day(2026, 12, 9);
        QTest::newRow("one day, all resources") << day << day << qint32(-9) << QList<qint32>{9, 8, 3, 11, 1, 2, 4, 7};
        QTest::newRow("one day, resource 1") << day << day << qint32(1) << QList<qint32>{8, 3, 11, 1, 7};
        QTest::newRow("one day, resource 2") << day << day << qint32(2) << QList<qint32>{9, 2, 4};
        QTest::newRow("two days") << day.addDays(-1) << day << qint32(-9)
                                  << QList<qint32>{9, 8, 13, 5, 3, 11, 1, 2, 4, 7};
        QTest::newRow("day after") << day.addDays(1) << day.addDays(1) << qint32(-9) << QList<qint32>{9, 8, 4, 7, 6};
        QTest::newRow("only the long ones")
            << QDate(2026, 12, 20) << QDate(2026, 12, 31) << qint32(-9) << QList<qint32>{9};
        QTest::newRow("nothing") << QDate(2030, 1, 1) << QDate(2030, 1, 7) << qint32(-9) << QList<qint32>{};
        QTest::newRow("end before start") << day << day.addDays(-1) << qint32(-9) << QList<qint32>{};
        QTest::newRow("resource without bookings") << day << day << qint32(77) << QList<qint32>{};
    }
    void range()
    {
        QFETCH(QDate, first);
        QFETCH(QDate, last);
        QFETCH(qint32, resource);
        QFETCH(QList<qint32>, expected);
        OPENED_OR_FAIL(db, m_path);
        Recordset records = db.HämtaPoster(RangeStart(first), RangeEnd(last), resource);
        QCOMPARE(records.RecordCount(), qint32(expected.size()));
        QCOMPARE(Keys(records), expected);
    }

    // The wizard hands over the locale's short date; every locale reads the same range.
    void rangeTextsOfEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"sv_SE", "en_US", "en_GB", "de_DE", "C"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void rangeTextsOfEveryLocale()
    {
        QFETCH(QString, locale);
        vb::SetLocaleForTest(QLocale(locale));
        OPENED_OR_FAIL(db, m_path);
        const QDate day(2026, 12, 9);
        QCOMPARE(Keys(db.HämtaPoster(RangeStart(day), RangeEnd(day), -9)), (QList<qint32>{9, 8, 3, 11, 1, 2, 4, 7}));
        // ISO 8601 is read in every locale too.
        QCOMPARE(Keys(db.HämtaPoster(QStringLiteral("2026-12-09 00:00:00"), QStringLiteral("2026-12-09 23:59:59"), 2)),
                 (QList<qint32>{9, 2, 4}));
        vb::SetLocaleForTest(QLocale(QStringLiteral("sv_SE")));
    }

    // Not a date: error 13; a resource number that is none: error 5.
    void badArgumentsRaise_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<qint32>("resource");
        QTest::addColumn<long>("error");
        const auto row = [](const char* name, const char* start, const char* end, qint32 resource, long error) {
            QTest::newRow(name) << QString::fromUtf8(start) << QString::fromUtf8(end) << resource << error;
        };
        row("month 13", "2026-13-01 00:00:00", "2026-12-31 23:59:59", -9, vb::ErrTypeMismatch);
        row("words", "2026-12-01 00:00:00", "i morgon", -9, vb::ErrTypeMismatch);
        row("empty", "", "2026-12-31 23:59:59", -9, vb::ErrTypeMismatch);
        row("hour 25", "2026-12-01 25:00:00", "2026-12-31 23:59:59", -9, vb::ErrTypeMismatch);
        row("resource 0", "2026-12-09 00:00:00", "2026-12-09 23:59:59", 0, vb::ErrInvalidProcedureCall);
        row("resource -1", "2026-12-09 00:00:00", "2026-12-09 23:59:59", -1, vb::ErrInvalidProcedureCall);
    }
    void badArgumentsRaise()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(qint32, resource);
        QFETCH(long, error);
        OPENED_OR_FAIL(db, m_path);
        EXPECT_RAISES(error, db.HämtaPoster(start, end, resource));
    }

    // Random bookings of every length against a plain scan: the duration classes must never
    // hide a booking nor let one in.
    void agreesWithAPlainScan()
    {
        const QString path = CreateDatabase();
        OPENED_OR_FAIL(db, path);
        QRandomGenerator random(20261209);
        std::vector<Stored> stored;
        const QDateTime origin(QDate(2026, 1, 1), QTime(0, 0));
        {
            BulkWriter writer(db);
            for (int r = 0; r < 3; ++r)
                writer.AddResource(QStringLiteral("R"), QString::number(r), QString());
            for (int i = 0; i < 600; ++i) {
                const qint32 person = 1 + qint32(random.bounded(3));
                const QDateTime start = origin.addSecs(qint64(random.bounded(90 * 24 * 60)) * 60);
                const int kind = int(random.bounded(100));
                const qint64 minutes = kind < 5    ? 0
                                       : kind < 75 ? 15 + random.bounded(240)
                                       : kind < 95 ? 1440 + random.bounded(3 * 1440)
                                                   : 30 * 1440 + random.bounded(200 * 1440);
                DBPost post = Post(person, start, start.addSecs(minutes * 60));
                post.Aktiv(random.bounded(20) != 0);
                const qint32 key = writer.AddBooking(post);
                stored.push_back({key, person, post.StartTid(), post.SlutTid(), post.Aktiv()});
            }
            writer.Commit();
        }
        for (int round = 0; round < 120; ++round) {
            const QDate first = origin.date().addDays(random.bounded(100) - 5);
            const QDate last = first.addDays(random.bounded(8));
            const qint32 resource = round % 4 == 0 ? qint32(1 + random.bounded(3)) : -9;
            const QDateTime a(first, QTime(0, 0));
            const QDateTime b(last, QTime(23, 59, 59));
            std::vector<Stored> expected;
            for (const Stored& s : stored)
                if (s.active && (resource == -9 || s.person == resource) && s.start <= b &&
                    (s.end > a || (s.end == s.start && s.start >= a)))
                    expected.push_back(s);
            std::sort(expected.begin(), expected.end(), [](const Stored& x, const Stored& y) {
                return x.start != y.start ? x.start < y.start : x.key < y.key;
            });
            QList<qint32> expectedKeys;
            for (const Stored& s : expected)
                expectedKeys << s.key;
            QCOMPARE(Keys(db.HämtaPoster(RangeStart(first), RangeEnd(last), resource)), expectedKeys);
        }
    }

    void recordsReadByFieldName()
    {
        const QString path = CreateDatabase();
        const QString note = QStringLiteral("\"Ring innan\"\r\nPortkod 1234; fråga efter \"Åsa\"");
        Recordset records;
        {
            OPENED_OR_FAIL(db, path);
            BulkWriter writer(db);
            writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QString());
            DBPost post = Post(1, QStringLiteral("2026-12-09 08:15"), QStringLiteral("2026-12-09 09:45"), 2);
            post.Notering(note);
            writer.AddBooking(post);
            writer.Commit();
            records = db.HämtaPoster(RangeStart(QDate(2026, 12, 9)), RangeEnd(QDate(2026, 12, 9)), -9);
        }
        // The set outlives its connection.
        QCOMPARE(records.RecordCount(), 1);
        QVERIFY(!records.Eof());
        QCOMPARE(records.Fields(QStringLiteral("Nyckel")), QVariant(qint32(1)));
        QCOMPARE(records[QStringLiteral("PersonID")].typeId(), QMetaType::Int);
        QCOMPARE(records[QStringLiteral("PersonID")].toInt(), 1);
        QCOMPARE(records[QStringLiteral("StartTid")].toDateTime(), At(QStringLiteral("2026-12-09 08:15")));
        QCOMPARE(records[QStringLiteral("SlutTid")].toDateTime(), At(QStringLiteral("2026-12-09 09:45")));
        QCOMPARE(records[QStringLiteral("Anteckningx")].toString(), note);
        QCOMPARE(records[QStringLiteral("anteckningX")].toString(), note);
        EXPECT_RAISES(ErrNoSuchField, records[QStringLiteral("Notering")]);
        records.MoveNext();
        QVERIFY(records.Eof());
        EXPECT_RAISES(ErrNoCurrentRecord, records[QStringLiteral("Nyckel")]);
        EXPECT_RAISES(ErrNoCurrentRecord, records.MoveNext());
        QCOMPARE(records.RecordCount(), 1);
        Recordset copy = records;
        records.Close();
        EXPECT_RAISES(ErrNotOpen, copy.Eof());
        EXPECT_RAISES(ErrNotOpen, records.RecordCount());
        records.Close();
    }

    void emptySetIsAtItsEnd()
    {
        OPENED_OR_FAIL(db, m_path);
        Recordset records = db.HämtaPoster(RangeStart(QDate(2031, 1, 1)), RangeEnd(QDate(2031, 1, 1)), -9);
        QVERIFY(records.Eof());
        QCOMPARE(records.RecordCount(), 0);
        EXPECT_RAISES(ErrNoCurrentRecord, records[QStringLiteral("Nyckel")]);
        QCOMPARE(records.FieldNames(),
                 (QStringList{QStringLiteral("Nyckel"), QStringLiteral("PersonID"), QStringLiteral("StartTid"),
                              QStringLiteral("SlutTid"), QStringLiteral("Anteckningx")}));
    }
};

BOOKING_TEST_MAIN(TestBookingFetch)
#include "test_booking_fetch.moc"
