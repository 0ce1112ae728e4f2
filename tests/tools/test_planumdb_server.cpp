// planumdb on a PostgreSQL database: the same commands as on a file, and the same data. The
// demo data of one seed is made in a file and on a throwaway server, and every booking must
// come back alike: the server's bulk path (COPY) has to carry notes with line breaks, tabs,
// quotes and backslashes, empty texts and missing numbers exactly as the file does.
#include "booking/BookingTestSupport.h"
#include "platform/Ini.h"
#include "support/PgCluster.h"
#include "support/TestEnv.h"

#include "PlanumdbRun.h"
#include <QProcess>

using namespace booking;
using bookingtest::ComparePosts;

namespace {

using Outcome = testenv::PlanumdbOutcome;
using testenv::Words;

Outcome Planumdb(const QString& command)
{
    return testenv::RunPlanumdb(Words(command));
}

} // namespace

class TestPlanumdbServer : public QObject {
    Q_OBJECT
    std::unique_ptr<pgtest::Cluster> m_server;

private slots:
    void initTestCase()
    {
        if (!pgtest::Cluster::Available())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<pgtest::Cluster>();
        QVERIFY2(m_server->Start(), qPrintable(m_server->Error()));
    }
    void cleanupTestCase() { m_server.reset(); }

    void theSameDataAsInAFile()
    {
        const QString file = testenv::Root() + QStringLiteral("/demo.db");
        const QString server = m_server->NewDatabase();
        const Outcome init = Planumdb("init " + server);
        QVERIFY2(init.status == 0, qPrintable(init.err));
        // A large seed into the empty table makes its indexes and foreign keys again at the end:
        // the same ones as before.
        const QString database = QUrl(server).path().mid(1);
        const QString definitions = pgtest::BookingsIndexesAndKeys();
        QVariant before;
        QVariant after;
        QString error;
        QVERIFY2(m_server->Admin(definitions, error, database, &before), qPrintable(error));
        QVERIFY2(before.toString().contains(QStringLiteral("Bokningar_Tid")) &&
                     before.toString().contains(QStringLiteral("FOREIGN KEY")),
                 qPrintable(before.toString()));
        for (const QString& location : {file, server}) {
            const Outcome seeded = Planumdb("seed " + location + " --resources 7 --bookings 3000 --seed 5 --from 2026-11-02 --days 30");
            QVERIFY2(seeded.status == 0, qPrintable(seeded.err));
            QVERIFY2(seeded.out.contains(QStringLiteral("7 resources, 3000 bookings")), qPrintable(seeded.out));
        }
        QVERIFY2(m_server->Admin(definitions, error, database, &after), qPrintable(error));
        QCOMPARE(after.toString(), before.toString());

        DBFunk a;
        DBFunk b;
        QCOMPARE(a.ÖppnaDatabas(file, 0, 1), qint32(Öppnad));
        QCOMPARE(b.ÖppnaDatabas(server, 0, 1), qint32(Öppnad));
        QCOMPARE(b.AntalBokningar(), a.AntalBokningar());
        int withBreaks = 0;
        for (qint32 number = 1; number <= 3000; ++number) {
            const auto x = a.HämtaPost(number);
            const auto y = b.HämtaPost(number);
            QVERIFY(x && y);
            ComparePosts(*y, *x);
            if (QTest::currentTestFailed())
                return;
            withBreaks += x->Notering().contains(QLatin1Char('\n')) ? 1 : 0;
        }
        QVERIFY(withBreaks > 0);

        // list and info print the same, but for the location itself.
        const QString range = QStringLiteral(" --from 2026-11-09 --to 2026-11-15");
        const Outcome listFile = Planumdb("list " + file + range);
        const Outcome listServer = Planumdb("list " + server + range);
        QCOMPARE(listServer.status, 0);
        QVERIFY(listFile.out.count(QLatin1Char('\n')) > 100);
        QCOMPARE(listServer.out, listFile.out);
        const Outcome infoFile = Planumdb("info " + file);
        const Outcome infoServer = Planumdb("info " + server);
        QCOMPARE(infoServer.out.section(QLatin1Char('\n'), 1), infoFile.out.section(QLatin1Char('\n'), 1));

        // A second init never touches the tables; seed --if-missing leaves them as they are.
        const Outcome again = Planumdb("init " + server);
        QCOMPARE(again.status, 2);
        const Outcome ifMissing = Planumdb("seed " + server + " --if-missing");
        QCOMPARE(ifMissing.status, 0);
        QCOMPARE(b.AntalBokningar(), qint64(3000));
    }

    // demo given a server location: the empty database gets the demo data, Planum.ini names
    // the location as it was given, and a second demo adds nothing to a database that has data.
    void demoOnAServer()
    {
        const QString server = m_server->NewDatabase();
        const QString ini = testenv::Root() + QStringLiteral("/demo-server.ini");
        const Outcome made = Planumdb("demo --ini " + ini + " --db " + server);
        QVERIFY2(made.status == 0, qPrintable(made.out + made.err));
        const auto named = [&] {
            return vb::GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), QString(), 255, ini);
        };
        QCOMPARE(named(), server);
        DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(server, 0, 1), qint32(Öppnad));
        const qint64 bookings = db.AntalBokningar();
        QCOMPARE(bookings, qint64(300));

        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), QString(), ini));
        const Outcome again = Planumdb("demo --ini " + ini + " --db " + server);
        QVERIFY2(again.status == 0, qPrintable(again.out + again.err));
        QCOMPARE(named(), server);
        QCOMPARE(db.AntalBokningar(), bookings);
    }

    void refusalsCarryTheServersReason_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no such database") << QStringLiteral("saknas") << QStringLiteral("does not exist");
        QTest::newRow("no Planum tables") << QStringLiteral("postgres") << QStringLiteral("har inga Planum-tabeller");
    }
    void refusalsCarryTheServersReason()
    {
        QFETCH(QString, location);
        QFETCH(QString, reason);
        const Outcome listed = Planumdb("list " + m_server->Location(location));
        QCOMPARE(listed.status, 2);
        QVERIFY2(listed.err.contains(reason), qPrintable(listed.err));
    }
};

ALMBRO_TEST_MAIN(TestPlanumdbServer)
#include "test_planumdb_server.moc"
