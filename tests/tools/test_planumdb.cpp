// planumdb as the set-up script and a person use it: the real program for exit statuses and
// untouched files, the same commands in-process for the data they make.
#include "booking/BookingTestSupport.h"
#include "planumdb/Commands.h"
#include "planumdb/Seed.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "platform/SpecialFolders.h"
#include "support/TestEnv.h"

#include <QDir>
#include "PlanumdbRun.h"
#include <QProcess>
#include <QSet>

using namespace booking;
using bookingtest::FileBytes;
using bookingtest::FilesBeside;
using bookingtest::NewPath;
using bookingtest::RawConnection;

namespace {

using Outcome = testenv::PlanumdbOutcome;
using testenv::RunPlanumdb;
using testenv::Words;

Outcome RunHere(const QStringList& arguments)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status = planumdb::Run(arguments, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return {status, out, err};
}

int Bookings(const QString& path)
{
    return RawConnection(path).Value(QStringLiteral("SELECT COUNT(*) FROM Bokningar")).toInt();
}

QString TextFile()
{
    const QString path = NewPath(QStringLiteral("anteckningar.txt"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("Inte en databas\n");
    return path;
}

QString OtherSqlite()
{
    const QString path = NewPath(QStringLiteral("other.sqlite"));
    RawConnection raw(path);
    raw.Exec(QStringLiteral("CREATE TABLE t (x)"));
    raw.Exec(QStringLiteral("INSERT INTO t VALUES (1)"));
    return path;
}

QString DataBas1(const QString& ini)
{
    return vb::GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), QString(), 255, ini);
}

} // namespace

class TestPlanumdb : public QObject {
    Q_OBJECT
private slots:
    void initMakesAnEmptyDatabase()
    {
        const QString path = NewPath(QStringLiteral("ny.db"));
        const Outcome made = RunPlanumdb({QStringLiteral("init"), path});
        QCOMPARE(made.status, 0);
        QVERIFY(made.err.isEmpty());
        DBFunk db;
        db.Anropskod(-9);
        QCOMPARE(db.ÖppnaDatabas(path, 0, 0), qint32(Öppnad));
        QCOMPARE(db.AntalBokningar(), qint64(0));
        QCOMPARE(db.HämtaStatusar().RecordCount(), 7);
        QCOMPARE(db.HämtaPersoner(0, 0, 0, 0, 0).RecordCount(), 0);
    }

    // Every command refuses a file that is not a booking database and leaves it as it was.
    void notABookingDatabase_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("file");
        for (const char* command : {"seed", "list", "info"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, text file").arg(QLatin1String(command))))
                << QString::fromLatin1(command) << 0;
            QTest::newRow(qPrintable(QStringLiteral("%1, database of another program").arg(QLatin1String(command))))
                << QString::fromLatin1(command) << 1;
        }
        QTest::newRow("init, text file") << "init" << 0; // never replaced
        QTest::newRow("list, missing file") << "list" << 2;
        QTest::newRow("info, missing file") << "info" << 2;
    }
    void notABookingDatabase()
    {
        QFETCH(QString, command);
        QFETCH(int, file);
        const QString path = file == 0 ? TextFile() : file == 1 ? OtherSqlite() : NewPath(QStringLiteral("saknas.db"));
        const QByteArray before = FileBytes(path);
        const QStringList filesBefore = FilesBeside(path);
        const Outcome refused = RunPlanumdb({command, path});
        QCOMPARE(refused.status, int(planumdb::ExitNotUsable));
        QVERIFY2(refused.err.contains(path), qPrintable(refused.err));
        QVERIFY(refused.out.isEmpty());
        QCOMPARE(FileBytes(path), before);
        QCOMPARE(FilesBeside(path), filesBefore);
    }

    void badCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        for (const char* line : {"", "drop x.db", "seed", "seed --bookings 5", "seed x.db --bookings many",
                                 "seed x.db --resources=0", "seed x.db --colour red", "list x.db --from",
                                 "list x.db --from igår", "init x.db --force"})
            QTest::newRow(*line != '\0' ? line : "nothing") << Words(QString::fromUtf8(line));
    }
    void badCommandLines()
    {
        QFETCH(QStringList, arguments);
        const QString dir = QFileInfo(NewPath(QStringLiteral("unused"))).absolutePath();
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir);
        const Outcome outcome = RunHere(arguments);
        QDir::setCurrent(previous);
        QCOMPARE(outcome.status, int(planumdb::ExitUsage));
        QVERIFY(!outcome.err.isEmpty());
        QVERIFY(QDir(dir).entryList(QDir::Files).isEmpty()); // nothing was made
    }

    void seedIsTheSameForTheSameSeed()
    {
        const QString options = QStringLiteral(" --resources 8 --bookings 400 --from 2026-11-30 --days 14 --seed ");
        const QString range = QStringLiteral(" --from 2026-11-30 --to 2026-12-13");
        const QStringList paths = {NewPath(QStringLiteral("a.db")), NewPath(QStringLiteral("b.db")),
                                   NewPath(QStringLiteral("c.db"))};
        QStringList listed; // of the seeds 42, 42 and 43
        for (const QString& path : paths) {
            QCOMPARE(RunHere(Words("seed " + path + options + (listed.size() < 2 ? "42" : "43"))).status, 0);
            const Outcome list = RunHere(Words("list " + path + range));
            QCOMPARE(list.status, 0);
            listed << list.out;
        }
        QVERIFY(listed[0].count(QLatin1Char('\n')) > 350); // all but the cancelled ones
        QCOMPARE(listed[0], listed[1]);
        QVERIFY(listed[0] != listed[2]);
        const QString allColumns =
            QStringLiteral("SELECT group_concat(Kundnamn || Notering || StartTid || Status, '|') FROM Bokningar");
        QCOMPARE(RawConnection(paths[0]).Value(allColumns), RawConnection(paths[1]).Value(allColumns));
    }

    void seedMakesVariedData()
    {
        const QString path = NewPath(QStringLiteral("demo.db"));
        const Outcome seeded = RunHere(Words("seed " + path + " --resources 60 --bookings 3000 --days 30 --from 2026-12-01"));
        QCOMPARE(seeded.status, 0);
        QVERIFY(seeded.out.contains(QStringLiteral("60 resources, 3000 bookings")));
        QCOMPARE(Bookings(path), 3000);
        QCOMPARE(RawConnection(path).Value(QStringLiteral("SELECT COUNT(*) FROM Personer")).toInt(), 60);
        // How many rows of each kind there are at least.
        const QList<QPair<const char*, int>> kinds = {
            {"SELECT COUNT(*) FROM Personer WHERE FörNamn = '' AND EfterNamn = ''", 1},
            {"SELECT COUNT(*) FROM Personer WHERE FörNamn <> '' AND EfterNamn = ''", 1},
            {"SELECT COUNT(DISTINCT Status) FROM Bokningar", 6},
            {"SELECT COUNT(*) FROM Bokningar WHERE Notering LIKE '%\"%'", 1},
            {"SELECT COUNT(*) FROM Bokningar WHERE Notering LIKE '\"%\"'", 1},
            {"SELECT COUNT(*) FROM Bokningar WHERE instr(Notering, char(13, 10)) > 0", 1},
            {"SELECT COUNT(*) FROM Bokningar WHERE Aktiv = 0", 1},
            {"SELECT COUNT(*) FROM Bokningar WHERE Kundnamn = ''", 1},
            {"SELECT COUNT(DISTINCT Kundnamn) FROM Bokningar", 8},
            {"SELECT COUNT(*) FROM Bokningar WHERE Typ = 2 AND SlutTid >= datetime(StartTid, '+1 day')", 1}};
        for (const auto& [sql, least] : kinds)
            QVERIFY2(RawConnection(path).Value(QString::fromUtf8(sql)).toInt() >= least, sql);
        QCOMPARE(RawConnection(path).Value(QStringLiteral("SELECT MIN(substr(StartTid, 1, 10)) FROM Bokningar")).toString(),
                 QStringLiteral("2026-12-01"));
        QVERIFY(
            RawConnection(path).Value(QStringLiteral("SELECT MAX(substr(StartTid, 1, 10)) FROM Bokningar WHERE Typ <> 2")).toString() <=
            QStringLiteral("2026-12-30"));
    }

    // What the set-up script runs: a demo database when none is there, and nothing when one is.
    void seedIfMissing()
    {
        const QString path = NewPath(QStringLiteral("Planum.db"));
        const QStringList command = {QStringLiteral("seed"), path, QStringLiteral("--if-missing")};
        QCOMPARE(RunPlanumdb(command).status, 0);
        QCOMPARE(Bookings(path), 300);
        QCOMPARE(RunPlanumdb(command).status, 0);
        QCOMPARE(Bookings(path), 300);
        // Without the flag an existing database gets more.
        QCOMPARE(RunPlanumdb(Words("seed " + path + " --bookings 10")).status, 0);
        QCOMPARE(Bookings(path), 310);
    }

    // The set-up of a new user: a demo database named in Planum.ini, once.
    void demoMakesAndNamesADatabase()
    {
        const auto documents = vb::SpecialFolderPath(vb::CSIDL_PERSONAL);
        QVERIFY(documents.has_value());
        QVERIFY(documents->startsWith(testenv::Root())); // never the real user's folder
        const QString ini = *documents + QStringLiteral("/Planum/Planum.ini");
        const QString database = *documents + QStringLiteral("/Planum/Planum.db");
        QVERIFY(!QFileInfo::exists(ini));

        const Outcome made = RunPlanumdb({QStringLiteral("demo")});
        QCOMPARE(made.status, 0);
        QCOMPARE(DataBas1(ini), database);
        QCOMPARE(Bookings(database), 300);

        const QByteArray iniBefore = FileBytes(ini);
        const Outcome again = RunPlanumdb({QStringLiteral("demo")});
        QCOMPARE(again.status, 0);
        QVERIFY(again.out.contains(QStringLiteral("left as it is")));
        QCOMPARE(FileBytes(ini), iniBefore);
        QCOMPARE(Bookings(database), 300);
    }

    void demoLeavesANamedDatabase()
    {
        const QString ini = NewPath(QStringLiteral("Planum.ini"));
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"),
                                              QStringLiteral("/srv/planum/bokningar.db"), ini));
        const QByteArray before = FileBytes(ini);
        const Outcome outcome = RunHere({QStringLiteral("demo"), QStringLiteral("--ini"), ini});
        QCOMPARE(outcome.status, 0);
        QCOMPARE(FileBytes(ini), before);
        QCOMPARE(FilesBeside(ini), QStringList{QStringLiteral("Planum.ini")});
    }

    void demoTakesABookingDatabaseAlreadyThere()
    {
        const QString ini = NewPath(QStringLiteral("Planum.ini"));
        const QString database = QFileInfo(ini).absolutePath() + QStringLiteral("/Planum.db");
        QCOMPARE(RunHere(Words("seed " + database + " --bookings 7")).status, 0);
        QCOMPARE(RunHere({QStringLiteral("demo"), QStringLiteral("--ini"), ini}).status, 0);
        QCOMPARE(DataBas1(ini), database);
        QCOMPARE(Bookings(database), 7);
    }

    void demoRefusesAFileThatIsNotABookingDatabase()
    {
        const QString text = TextFile();
        const QString ini = QFileInfo(text).absolutePath() + QStringLiteral("/Planum.ini");
        const QByteArray before = FileBytes(text);
        const Outcome refused =
            RunPlanumdb({QStringLiteral("demo"), QStringLiteral("--ini"), ini, QStringLiteral("--db"), text});
        QCOMPARE(refused.status, int(planumdb::ExitNotUsable));
        QVERIFY(refused.err.contains(text));
        QCOMPARE(FileBytes(text), before);
        QVERIFY(!QFileInfo::exists(ini));
    }

    // One line per booking that HämtaPoster gives for the range, in its order.
    void listGivesTheFetchedBookings()
    {
        const QString path = NewPath(QStringLiteral("list.db"));
        QCOMPARE(RunHere(Words("seed " + path + " --resources 10 --bookings 500 --from 2026-12-01 --days 20")).status, 0);
        const Outcome listed = RunPlanumdb(Words("list " + path + " --from 2026-12-07 --to 2026-12-08"));
        QCOMPARE(listed.status, 0);
        QStringList lines = listed.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.takeLast(), QString());

        DBFunk db;
        db.Anropskod(-9);
        QCOMPARE(db.ÖppnaDatabas(path, 0, 1), qint32(Öppnad));
        Recordset records = db.HämtaPoster(vb::FormatShortDate(QDate(2026, 12, 7)) + QStringLiteral(" 00:00:00"),
                                           vb::FormatShortDate(QDate(2026, 12, 8)) + QStringLiteral(" 23:59:59"), -9);
        QCOMPARE(qint32(lines.size()), records.RecordCount());
        QVERIFY(lines.size() > 40);
        bool sawQuotes = false;
        for (const QString& line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields[0].toInt(), records[QStringLiteral("Nyckel")].toInt());
            QCOMPARE(fields[1], db.PersonNamn(records[QStringLiteral("PersonID")].toInt()));
            QCOMPARE(fields[2],
                     records[QStringLiteral("StartTid")].toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            QCOMPARE(fields[3],
                     records[QStringLiteral("SlutTid")].toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            QString note = records[QStringLiteral("Anteckningx")].toString();
            note.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
            QCOMPARE(fields[4], note);
            QVERIFY(!line.contains(QLatin1Char('\r')));
            sawQuotes = sawQuotes || note.contains(QLatin1Char('"'));
            records.MoveNext();
        }
        QVERIFY(sawQuotes);
    }
};

ALMBRO_TEST_MAIN(TestPlanumdb)
#include "test_planumdb.moc"
