// The built program run unattended, as a scheduler runs it: no display, a seeded database,
// an empty calendar and a profile in Planum.ini.
#include "platform/Ini.h"
#include "support/AlmbroProcess.h"
#include "support/PgCluster.h"
#include "support/Radicale.h"

#include <QDir>
#include <QScopeGuard>
#include <QSet>

using namespace testenv;

namespace {
// The bookings of a week up to today, the same on every database the test seeds.
const planumdb::SeedOptions kWeek{5, 60, QDate::currentDate().addDays(-6), 7, 11};

QStringList Appointments(const QString& calendar = CalendarLocation())
{
    return QDir(calendar + QStringLiteral("/Calendar")).entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name);
}

// Sets a key of section System in Planum.ini, as a user does.
bool SetSystemKey(const char* key, const QString& value)
{
    return vb::WritePrivateProfileString(QStringLiteral("System"), QString::fromLatin1(key), value,
                                         PlanumDocuments() + QStringLiteral("/Planum.ini"));
}

// Names a calendar (empty: none).
bool UseCalendar(const QString& url)
{
    return SetSystemKey("Calendar", url);
}
} // namespace

class TestAlmbroAuto : public QObject {
    Q_OBJECT
    QString m_db;
    int m_expected = 0;

private slots:
    void initTestCase()
    {
        m_db = PlanumDocuments() + QStringLiteral("/Planum.db");
        QVERIFY(SeedDatabase(m_db, kWeek) > 0);
        // What a run over the last seven days lists: every booking of those whole days.
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        m_expected = db.HämtaPoster(QDate::currentDate().addDays(-7).toString(Qt::ISODate) + QStringLiteral(" 00:00:00"),
                                    QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(" 23:59:59"), -9)
                         .RecordCount();
        QVERIFY(m_expected > 0);
        const QString empty = Root() + QStringLiteral("/empty.db");
        booking::DBFunk::SkapaDatabas(empty);
        QVERIFY(WriteIni("[System]\nLang=EN\nDataBas1=" + m_db.toUtf8() + "\n" + ExportProfile("Nightly", m_db) +
                             ExportProfile("My Nightly", m_db) + ExportProfile("Empty", empty, {}) +
                             ExportProfile("Gone", QStringLiteral("/no/such.db"), {}),
                         false));
    }

    void runsToItsEndAndASecondRunAddsNothing()
    {
        const Run first = RunProfile(QStringLiteral("NIGHTLY"));
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(first.out.trimmed(), Summary(m_expected));
        const QStringList files = Appointments();
        QCOMPARE(int(files.size()), m_expected);

        const Run second = RunProfile(QStringLiteral("nightly"));
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(second.out.trimmed(), Summary(m_expected));
        QCOMPARE(Appointments(), files); // the same appointments, none added, none deleted

        const QStringList lines = RunLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].contains(QStringLiteral("profile=nightly d7")) &&
                     lines[1].contains(QStringLiteral("done=%1\thandled=%1\tstatus=0 ok").arg(m_expected)),
                 qPrintable(lines[1]));
    }

    // Status, what is said on stderr (a part of it) and what on stdout (all of it).
    void outcomes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stderr");
        QTest::addColumn<QString>("stdout");
        const QString none;
        QTest::newRow("profile not found")
            << QStringList{"/auto", "nosuch", "d1"} << 4 << "Almbro: Cannot find the profile: nosuch d1!" << none;
        QTest::newRow("no count part") << QStringList{"/auto", "Nightly"} << 4
                                       << "Almbro: Cannot find the profile: nightly!" << none;
        QTest::newRow("usage text") << QStringList{"?"} << 0 << "Almbro: " + EnglishText("R6322") << none;
        QTest::newRow("no display for the wizard") << QStringList{} << 2 << "no display" << none;
        QTest::newRow("database cannot be opened")
            << QStringList{"/auto", "gone", "w1"} << 5 << "Almbro: " + EnglishText("R0722") << none;
        // A run that ends but did nothing is no success.
        QTest::newRow("nothing to do") << QStringList{"/auto", "empty", "d1"} << 6 << none << Summary(0);
        // A profile named with blanks, as one argument: the whole week, as the one without blanks.
        QTest::newRow("quoted name, then the range")
            << QStringList{"/auto", "My Nightly", "d7"} << 0 << none << Summary(m_expected);
        QTest::newRow("blanks in the name of an argument")
            << QStringList{"/AUTO", " my nightly ", "d7"} << 0 << none << Summary(m_expected);
        QTest::newRow("unquoted: cut at the first blank")
            << QStringList{"/auto", "my", "nightly", "d7"} << 4 << "Almbro: Cannot find the profile: my" << none;
    }
    void outcomes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, stderr);
        QFETCH(QString, stdout);
        const Run run = Almbro(args, CalendarLocation());
        QVERIFY2(run.status == status, qPrintable(run.err));
        QVERIFY2(run.err.contains(stderr), qPrintable(run.err));
        QCOMPARE(run.out.trimmed(), stdout);
        QVERIFY(!stdout.isEmpty() || run.out.isEmpty());
    }

    // A mistyped calendar location is an error, never a new tree of folders; a folder of another
    // client's .ics files is used as it is, appointments beside its own.
    void calendarLocation_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<int>("status");
        QTest::newRow("parent folder missing") << Root() + "/no-such-folder/calendar" << 5;
        QTest::newRow("another client's collection") << Root() + "/khal-collection" << 0;
    }
    void calendarLocation()
    {
        QFETCH(QString, location);
        QFETCH(int, status);
        if (status == 0) {
            QDir().mkpath(location);
            QVERIFY(WriteFile(location + QStringLiteral("/other@example.org.ics"),
                              ForeignAppointment(QStringLiteral("other@example.org"),
                                                 QDateTime(QDate(2026, 11, 2), QTime(9, 0), Qt::UTC), 60,
                                                 "SUMMARY:Other\r\n")));
        }
        const Run run = RunProfile(QStringLiteral("nightly"), QStringLiteral("d7"), location);
        QVERIFY2(run.status == status, qPrintable(run.err));
        if (status != 0) {
            QVERIFY2(run.err.contains(QStringLiteral("is not an existing folder")), qPrintable(run.err));
            QVERIFY(!QFileInfo::exists(Root() + QStringLiteral("/no-such-folder")));
        } else {
            QCOMPARE(int(QDir(location).entryList({QStringLiteral("*.ics")}, QDir::Files).size()), m_expected + 1);
            for (const char* collection : {"/Calendar", "/Notes", "/Tasks"}) // nothing made in it
                QVERIFY2(!QFileInfo::exists(location + QLatin1String(collection)), collection);
        }
    }

    // The same nightly run on a shared PostgreSQL database: the location in the profile is a
    // postgresql:// URL, the password comes from PGPASSFILE. Then the server goes away, or the run
    // cannot use it (a login the server refuses, a database without the Planum tables): it ends
    // before anything is done, with status 5 and the server's reason, and never the password.
    void aServerDatabase_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the server stopped") << "stopped" << "connection to server";
        QTest::newRow("wrong password") << "password" << "password authentication failed";
        QTest::newRow("database without the tables") << "tables" << "har inga Planum-tabeller";
    }
    void aServerDatabase()
    {
        QFETCH(QString, problem);
        QFETCH(QString, reason);
        if (!pgtest::Cluster::Available())
            QSKIP("PostgreSQL is not installed");
        pgtest::Cluster server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString location = server.NewDatabase();
        if (problem != QLatin1String("tables"))
            QVERIFY(SeedDatabase(location, kWeek) > 0);
        const QString profile = QStringLiteral("Shared ") + problem;
        QVERIFY(WriteIni(ExportProfile(profile, location)));
        const QString calendar = Root() + QStringLiteral("/calendar-") + problem;
        int written = 0;
        if (problem == QLatin1String("stopped")) {
            const Run run = RunProfile(profile, QStringLiteral("d7"), calendar);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            QCOMPARE(run.out.trimmed(), Summary(m_expected));
            written = m_expected;
            QCOMPARE(int(Appointments(calendar).size()), written);
            server.Stop();
        } else if (problem == QLatin1String("password")) {
            server.WritePassFile(QStringLiteral("not the password")); // what the run finds in PGPASSFILE
        }
        const Run run = RunProfile(profile, QStringLiteral("d7"), calendar);
        server.WritePassFile(QString::fromUtf8(pgtest::Cluster::kPassword));
        QCOMPARE(run.status, 5);
        for (const QString& said : {"Almbro: " + EnglishText("R0722"), reason})
            QVERIFY2(run.err.contains(said), qPrintable(run.err));
        for (const char* secret : {pgtest::Cluster::kPassword, "not the password"})
            QVERIFY2(!run.err.contains(QString::fromUtf8(secret)), qPrintable(run.err));
        QCOMPARE(int(Appointments(calendar).size()), written);
    }

    void againstACalDavCollection()
    {
        Radicale server(Root() + QStringLiteral("/radicale"));
        server.AddCalendar(QStringLiteral("planum"), QStringLiteral("bookings"), QStringLiteral("Bokningar"));
        QVERIFY(server.Start());
        const QString url = server.Url(QStringLiteral("planum"), QStringLiteral("bookings"));
        QVERIFY(UseCalendar(url));
        const auto forget = qScopeGuard([] { UseCalendar(QString()); });
        const auto stored = [&] { return server.Stored(QStringLiteral("planum"), QStringLiteral("bookings")); };

        const Run first = RunProfile(QStringLiteral("NIGHTLY"), QStringLiteral("d7"), QString());
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(first.out.trimmed(), Summary(m_expected));
        const QMap<QString, QByteArray> written = stored();
        QCOMPARE(int(written.size()), m_expected);

        // The same bookings again: every one done, nothing uploaded, nothing added.
        const int puts = server.Count(QStringLiteral("PUT"));
        const Run second = RunProfile(QStringLiteral("nightly"), QStringLiteral("d7"), QString());
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(second.out.trimmed(), Summary(m_expected));
        QCOMPARE(server.Count(QStringLiteral("PUT")), puts);
        QCOMPARE(stored(), written);

        // The server gone: the calendar cannot be opened, and the reason is on the console.
        server.Stop();
        const Run third = RunProfile(QStringLiteral("nightly"), QStringLiteral("d7"), QString());
        QCOMPARE(third.status, 5);
        const QString reason = QStringLiteral("The calendar server %1 could not be reached: Connection refused")
                                   .arg(QUrl(url).adjusted(QUrl::RemovePath).toString());
        QVERIFY2(third.err.contains(reason), qPrintable(third.err));
        QCOMPARE(stored(), written);
    }

    void theCalDavServerDiesMidRun()
    {
        Radicale server(Root() + QStringLiteral("/radicale-dies"));
        server.AddCalendar(QStringLiteral("planum"), QStringLiteral("bookings"), QStringLiteral("Bokningar"));
        server.DieAfterWrites(3);
        QVERIFY(server.Start());
        const QString url = server.Url(QStringLiteral("planum"), QStringLiteral("bookings"));
        QVERIFY(UseCalendar(url));
        const auto forget = qScopeGuard([] { UseCalendar(QString()); });
        const auto stored = [&] { return server.Stored(QStringLiteral("planum"), QStringLiteral("bookings")); };

        // Three items written, the third never answered: the run ends with the items not done
        // named and why, and says so in its status. A Swedish user reads the reasons, and what
        // answered each question, in Swedish.
        QVERIFY(SetSystemKey("Lang", QStringLiteral("SV")));
        const Run first = RunProfile(QStringLiteral("NIGHTLY"), QStringLiteral("d7"), QString());
        QVERIFY(SetSystemKey("Lang", QStringLiteral("EN")));
        QCOMPARE(first.status, 6);
        const QString host = QUrl(url).adjusted(QUrl::RemovePath).toString();
        QVERIFY2(first.err.contains(QStringLiteral("Kalenderservern %1 gick inte att nå").arg(host)),
                 qPrintable(first.err));
        QVERIFY2(first.err.contains(QStringLiteral("    [besvarad med Ja, förvalet]")), qPrintable(first.err));
        QVERIFY2(!first.err.contains(QStringLiteral("answered")), qPrintable(first.err));
        QVERIFY2(first.err.contains(QStringLiteral("gick inte att nå: Anslutningen nekades")), qPrintable(first.err));
        QCOMPARE(int(stored().size()), 3);

        // Back again: the next run finds what the server kept, updates it and makes the rest, once.
        server.Stop();
        server.DieAfterWrites(0);
        QVERIFY(server.Start());
        const Run second = RunProfile(QStringLiteral("NIGHTLY"), QStringLiteral("d7"), QString());
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(second.out.trimmed(), Summary(m_expected));
        const QMap<QString, QByteArray> written = stored();
        QCOMPARE(int(written.size()), m_expected);
        QSet<QString> markers;
        for (const QByteArray& ics : written)
            for (const QByteArray& line : ics.split('\n'))
                if (line.startsWith("UID:"))
                    markers.insert(QString::fromUtf8(line.mid(4).trimmed()).section(QLatin1Char('-'), 0, 1));
        QCOMPARE(int(markers.size()), m_expected); // one appointment per booking
    }

    // A run log that cannot be written changes nothing of the run, but is said on standard error,
    // once: by the message of a run that stops at a question, and by the summary of a whole run.
    void aLogThatCannotBeWrittenIsSaid_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        for (const char* blocker : {"folder", "full disk"}) {
            QTest::addRow("%s, a message", blocker) << QString::fromLatin1(blocker) << QStringList{"/auto", "nosuch", "d1"} << 4;
            QTest::addRow("%s, a whole run", blocker) << QString::fromLatin1(blocker) << QStringList{"/auto", "nightly", "d7"} << 0;
        }
    }
    void aLogThatCannotBeWrittenIsSaid()
    {
        QFETCH(QString, blocker);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        const QString log = PlanumDocuments() + QStringLiteral("/Almbro.log");
        const QString kept = log + QStringLiteral(".kept");
        QVERIFY(!QFile::exists(log) || QFile::rename(log, kept));
        const bool folder = blocker == QLatin1String("folder");
        // A full disk: every write to /dev/full fails for want of space.
        QVERIFY(folder ? QDir().mkdir(log) : QFile::link(QStringLiteral("/dev/full"), log));
        const Run run = Almbro(args, CalendarLocation());
        QVERIFY(folder ? QDir(log).removeRecursively() : QFile::remove(log));
        QVERIFY(!QFile::exists(kept) || QFile::rename(kept, log));
        QVERIFY2(run.status == status, qPrintable(run.err));
        const QString said = QStringLiteral("Almbro: the run log %1 could not be written: ").arg(log);
        QVERIFY2(run.err.count(said) == 1, qPrintable(run.err));
    }
};

ALMBRO_TEST_MAIN(TestAlmbroAuto)
#include "test_almbro_auto.moc"
