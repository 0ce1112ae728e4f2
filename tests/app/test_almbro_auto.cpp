// The built program run unattended, as a scheduler runs it: no display, a seeded database,
// an empty calendar and a profile in Planum.ini.
#include "planumdb/Seed.h"
#include "platform/Ini.h"
#include "settings/CTexter.h"
#include "support/AlmbroProcess.h"
#include "support/PgCluster.h"
#include "support/Radicale.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QSet>

using testenv::Run;

namespace {
QString Documents()
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/Documents/Planum");
}

QString Calendar()
{
    return testenv::Root() + QStringLiteral("/calendar");
}

QString Text(const char* id)
{
    CTexter texter;
    texter.SetSpråkfil(testenv::SourceLangDir() + QStringLiteral("/LangEN.ini"));
    return texter.TextTillAndra(QString::fromLatin1(id));
}

// calendar: ALMBRO_CALENDAR for the run; empty: not set, so Planum.ini says where.
Run Almbro(const QStringList& args, const QString& calendar = Calendar())
{
    return testenv::Almbro(args, calendar);
}

QStringList Appointments(const QString& calendar = Calendar())
{
    return QDir(calendar + QStringLiteral("/Calendar")).entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name);
}
} // namespace

class TestAlmbroAuto : public QObject {
    Q_OBJECT
    QString m_db;
    int m_expected = 0;

private slots:
    void initTestCase()
    {
        QDir().mkpath(Documents());
        for (const char* name : {"Lang.ini", "LangEN.ini", "LangSV.ini"})
            QVERIFY(QFile::copy(testenv::SourceLangDir() + QLatin1Char('/') + QLatin1String(name),
                                Documents() + QLatin1Char('/') + QLatin1String(name)));
        m_db = Documents() + QStringLiteral("/Planum.db");
        booking::DBFunk::SkapaDatabas(m_db);
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        planumdb::SeedOptions options;
        options.resources = 5;
        options.bookings = 60;
        options.from = QDate::currentDate().addDays(-6);
        options.days = 7;
        options.seed = 11;
        planumdb::Seed(db, options);
        // What a run over the last seven days lists: every booking of those whole days.
        booking::Recordset week =
            db.HämtaPoster(QDate::currentDate().addDays(-7).toString(Qt::ISODate) + QStringLiteral(" 00:00:00"),
                           QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(" 23:59:59"), -9);
        m_expected = week.RecordCount();
        QVERIFY(m_expected > 0);

        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[System]\nLang=EN\nDataBas1=" + m_db.toUtf8() +
                  "\n[Nightly]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                  "cboResurser=-99;DataBas=" +
                  m_db.toUtf8() + ";chkPlanumBokningar=0;Koppling1=Kundnamn,Subject;Koppling2=Notering,Text\n");
    }

    void runsToItsEndAndASecondRunAddsNothing()
    {
        const Run first = Almbro({QStringLiteral("/auto"), QStringLiteral("NIGHTLY"), QStringLiteral("d7")});
        QVERIFY2(first.status == 0, qPrintable(first.err));
        const QString summary = QStringLiteral("%1 / %1 ").arg(m_expected) + Text("R2146");
        QCOMPARE(first.out.trimmed(), summary);
        const QStringList files = Appointments();
        QCOMPARE(int(files.size()), m_expected);

        const Run second = Almbro({QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")});
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(second.out.trimmed(), summary);
        QCOMPARE(Appointments(), files); // the same appointments, none added, none deleted

        QFile log(Documents() + QStringLiteral("/Almbro.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].contains(QStringLiteral("profile=nightly d7")) &&
                     lines[1].contains(QStringLiteral("done=%1\thandled=%1\tstatus=0 ok").arg(m_expected)),
                 qPrintable(lines[1]));
    }

    void outcomes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stderr");
        QTest::newRow("profile not found")
            << QStringList{"/auto", "nosuch", "d1"} << 4 << "Almbro: Cannot find the profile: nosuch d1!";
        QTest::newRow("no count part") << QStringList{"/auto", "Nightly"} << 4
                                       << "Almbro: Cannot find the profile: nightly!";
        QTest::newRow("usage text") << QStringList{"?"} << 0 << "Almbro: " + Text("R6322");
    }
    void outcomes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, stderr);
        const Run run = Almbro(args);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(stderr), qPrintable(run.err));
        QCOMPARE(run.out, QString());
    }

    void profileNameWithBlanks_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("quoted name, then the range") << QStringList{"/auto", "My Nightly", "d7"} << 0;
        QTest::newRow("blanks in the name of an argument") << QStringList{"/AUTO", " my nightly ", "d7"} << 0;
        QTest::newRow("unquoted: cut at the first blank") << QStringList{"/auto", "my", "nightly", "d7"} << 4;
    }
    void profileNameWithBlanks()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::ReadWrite));
        if (!ini.readAll().contains("[My Nightly]"))
            ini.write("[My Nightly]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                      "cboResurser=-99;DataBas=" +
                      m_db.toUtf8() + ";chkPlanumBokningar=0;Koppling1=Kundnamn,Subject;Koppling2=Notering,Text\n");
        ini.close();
        const Run run = Almbro(args);
        QVERIFY2(run.status == status, qPrintable(run.err));
        if (status == 0) // the whole week, as the profile without blanks does
            QCOMPARE(run.out.trimmed(), QStringLiteral("%1 / %1 ").arg(m_expected) + Text("R2146"));
    }

    void nothingToDoIsNoSuccess()
    {
        // A profile over a day without bookings: the run ends, but did nothing.
        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        const QString empty = testenv::Root() + QStringLiteral("/empty.db");
        booking::DBFunk::SkapaDatabas(empty);
        ini.write("[Empty]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;DataBas=" +
                  empty.toUtf8() + ";chkPlanumBokningar=0\n");
        ini.close();
        const Run run = Almbro({QStringLiteral("/auto"), QStringLiteral("empty"), QStringLiteral("d1")});
        QCOMPARE(run.status, 6);
        QCOMPARE(run.out.trimmed(), QStringLiteral("0 / 0 ") + Text("R2146"));
    }

    void databaseThatCannotBeOpened()
    {
        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write(
            "[Gone]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;DataBas=/no/such.db;"
            "chkPlanumBokningar=0\n");
        ini.close();
        const Run run = Almbro({QStringLiteral("/auto"), QStringLiteral("gone"), QStringLiteral("w1")});
        QCOMPARE(run.status, 5);
        QVERIFY2(run.err.contains(QStringLiteral("Almbro: ") + Text("R0722")), qPrintable(run.err));
    }

    // A mistyped calendar location is an error, never a new tree of folders; a folder of another
    // client's .ics files is used as it is, appointments beside its own.
    void calendarLocation_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<int>("status");
        QTest::newRow("parent folder missing") << testenv::Root() + "/no-such-folder/calendar" << 5;
        QTest::newRow("another client's collection") << testenv::Root() + "/khal-collection" << 0;
    }
    void calendarLocation()
    {
        QFETCH(QString, location);
        QFETCH(int, status);
        if (status == 0) {
            QDir().mkpath(location);
            QFile other(location + QStringLiteral("/other@example.org.ics"));
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Other 1.0//EN\r\nBEGIN:VEVENT\r\n"
                        "UID:other@example.org\r\nDTSTAMP:20261101T080000Z\r\nDTSTART:20261102T090000Z\r\n"
                        "DTEND:20261102T100000Z\r\nSUMMARY:Other\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        }
        const Run run = Almbro({QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")}, location);
        QVERIFY2(run.status == status, qPrintable(run.err));
        if (status != 0) {
            QVERIFY2(run.err.contains(QStringLiteral("is not an existing folder")), qPrintable(run.err));
            QVERIFY(!QFileInfo::exists(testenv::Root() + QStringLiteral("/no-such-folder")));
        } else {
            QCOMPARE(int(QDir(location).entryList({QStringLiteral("*.ics")}, QDir::Files).size()), m_expected + 1);
            QVERIFY(!QFileInfo::exists(location + QStringLiteral("/Calendar")));
        }
    }

    // The same nightly run on a shared PostgreSQL database: the location in the profile is a
    // postgresql:// URL, the password comes from PGPASSFILE. Then the server goes away: the
    // next run cannot open the database and ends with status 5 and the server's reason.
    void aServerDatabase()
    {
        if (!pgtest::Cluster::Available())
            QSKIP("PostgreSQL is not installed");
        pgtest::Cluster server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString location = server.NewDatabase();
        booking::DBFunk::SkapaDatabas(location);
        {
            booking::DBFunk db;
            QCOMPARE(db.ÖppnaDatabas(location, 0, 0), 1);
            planumdb::SeedOptions options;
            options.resources = 5;
            options.bookings = 60;
            options.from = QDate::currentDate().addDays(-6);
            options.days = 7;
            options.seed = 11;
            planumdb::Seed(db, options);
        }
        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("[Shared]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                  "cboResurser=-99;DataBas=" +
                  location.toUtf8() + ";chkPlanumBokningar=0;Koppling1=Kundnamn,Subject;Koppling2=Notering,Text\n");
        ini.close();

        const QString calendar = testenv::Root() + QStringLiteral("/shared-calendar");
        const Run run = Almbro({QStringLiteral("/auto"), QStringLiteral("shared"), QStringLiteral("d7")}, calendar);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out.trimmed(), QStringLiteral("%1 / %1 ").arg(m_expected) + Text("R2146"));
        QCOMPARE(int(Appointments(calendar).size()), m_expected);

        server.Stop();
        const Run down = Almbro({QStringLiteral("/auto"), QStringLiteral("shared"), QStringLiteral("d7")}, calendar);
        QCOMPARE(down.status, 5);
        QVERIFY2(down.err.contains(QStringLiteral("Almbro: ") + Text("R0722")), qPrintable(down.err));
        QVERIFY2(down.err.contains(QStringLiteral("connection to server")), qPrintable(down.err));
        QVERIFY2(!down.err.contains(QString::fromUtf8(pgtest::Cluster::kPassword)), qPrintable(down.err));
        QCOMPARE(int(Appointments(calendar).size()), m_expected);
    }

    // A server database the run cannot use ends it before anything is done, with status 5 and
    // the server's reason: a login the server refuses, a database without the Planum tables.
    void aServerDatabaseRefused_data()
    {
        QTest::addColumn<bool>("tables");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong password") << true << QStringLiteral("not the password")
                                        << QStringLiteral("password authentication failed");
        QTest::newRow("database without the tables")
            << false << QString::fromUtf8(pgtest::Cluster::kPassword) << QStringLiteral("har inga Planum-tabeller");
    }
    void aServerDatabaseRefused()
    {
        QFETCH(bool, tables);
        QFETCH(QString, password);
        QFETCH(QString, reason);
        if (!pgtest::Cluster::Available())
            QSKIP("PostgreSQL is not installed");
        pgtest::Cluster server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString location = server.NewDatabase();
        if (tables)
            booking::DBFunk::SkapaDatabas(location);
        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("[Refused]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                  "cboResurser=-99;DataBas=" +
                  location.toUtf8() + ";chkPlanumBokningar=0;Koppling1=Kundnamn,Subject\n");
        ini.close();
        server.WritePassFile(password); // what the run finds in PGPASSFILE

        const QString calendar = testenv::Root() + QStringLiteral("/refused-calendar");
        const Run run = Almbro({QStringLiteral("/auto"), QStringLiteral("refused"), QStringLiteral("d7")}, calendar);
        server.WritePassFile(QString::fromUtf8(pgtest::Cluster::kPassword));
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("Refused"), QString(), QString(),
                                              Documents() + QStringLiteral("/Planum.ini")));
        QCOMPARE(run.status, 5);
        QVERIFY2(run.err.contains(QStringLiteral("Almbro: ") + Text("R0722")), qPrintable(run.err));
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QVERIFY2(!run.err.contains(QString::fromUtf8(pgtest::Cluster::kPassword)), qPrintable(run.err));
        QVERIFY2(!run.err.contains(QStringLiteral("not the password")), qPrintable(run.err));
        QCOMPARE(int(Appointments(calendar).size()), 0);
    }

    void noDisplayForTheWizard()
    {
        const Run run = Almbro({});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(QStringLiteral("no display")), qPrintable(run.err));
    }

    void againstACalDavCollection()
    {
        testenv::Radicale server(testenv::Root() + QStringLiteral("/radicale"));
        server.AddCalendar(QStringLiteral("planum"), QStringLiteral("bookings"), QStringLiteral("Bokningar"));
        QVERIFY(server.Start());
        const QString url = server.Url(QStringLiteral("planum"), QStringLiteral("bookings"));
        // The calendar named in Planum.ini this time, as a user sets it up.
        const QString ini = Documents() + QStringLiteral("/Planum.ini");
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Calendar"), url, ini));
        const QString summary = QStringLiteral("%1 / %1 ").arg(m_expected) + Text("R2146");

        const Run first = Almbro({QStringLiteral("/auto"), QStringLiteral("NIGHTLY"), QStringLiteral("d7")}, QString());
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(first.out.trimmed(), summary);
        const QMap<QString, QByteArray> stored = server.Stored(QStringLiteral("planum"), QStringLiteral("bookings"));
        QCOMPARE(int(stored.size()), m_expected);

        // The same bookings again: every one done, nothing uploaded, nothing added.
        const int puts = server.Count(QStringLiteral("PUT"));
        const Run second = Almbro({QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")}, QString());
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(second.out.trimmed(), summary);
        QCOMPARE(server.Count(QStringLiteral("PUT")), puts);
        QCOMPARE(server.Stored(QStringLiteral("planum"), QStringLiteral("bookings")), stored);

        // The server gone: the calendar cannot be opened, and the reason is on the console.
        server.Stop();
        const Run third = Almbro({QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")}, QString());
        QCOMPARE(third.status, 5);
        const QString reason = QStringLiteral("The calendar server %1 could not be reached: Connection refused")
                                   .arg(QUrl(url).adjusted(QUrl::RemovePath).toString());
        QVERIFY2(third.err.contains(reason), qPrintable(third.err));
        QCOMPARE(server.Stored(QStringLiteral("planum"), QStringLiteral("bookings")), stored);
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Calendar"), QString(), ini));
    }

    void theCalDavServerDiesMidRun()
    {
        testenv::Radicale server(testenv::Root() + QStringLiteral("/radicale-dies"));
        server.AddCalendar(QStringLiteral("planum"), QStringLiteral("bookings"), QStringLiteral("Bokningar"));
        server.DieAfterWrites(3);
        QVERIFY(server.Start());
        const QString url = server.Url(QStringLiteral("planum"), QStringLiteral("bookings"));
        const QString host = QUrl(url).adjusted(QUrl::RemovePath).toString();
        const QString ini = Documents() + QStringLiteral("/Planum.ini");
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Calendar"), url, ini));

        // Three items written, the third never answered: the run ends with the items not done
        // named and why, and says so in its status.
        const Run first = Almbro({QStringLiteral("/auto"), QStringLiteral("NIGHTLY"), QStringLiteral("d7")}, QString());
        QCOMPARE(first.status, 6);
        QVERIFY2(first.err.contains(QStringLiteral("The calendar server %1 could not be reached").arg(host)),
                 qPrintable(first.err));
        QVERIFY(server.Stored(QStringLiteral("planum"), QStringLiteral("bookings")).size() == 3);

        // Back again: the next run finds what the server kept, updates it and makes the rest, once.
        server.Stop();
        server.DieAfterWrites(0);
        QVERIFY(server.Start());
        const Run second = Almbro({QStringLiteral("/auto"), QStringLiteral("NIGHTLY"), QStringLiteral("d7")}, QString());
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(second.out.trimmed(), QStringLiteral("%1 / %1 ").arg(m_expected) + Text("R2146"));
        const QMap<QString, QByteArray> stored = server.Stored(QStringLiteral("planum"), QStringLiteral("bookings"));
        QCOMPARE(int(stored.size()), m_expected);
        QSet<QString> markers;
        for (const QByteArray& ics : stored)
            for (const QByteArray& line : ics.split('\n'))
                if (line.startsWith("UID:"))
                    markers.insert(QString::fromUtf8(line.mid(4).trimmed()).section(QLatin1Char('-'), 0, 1));
        QCOMPARE(int(markers.size()), m_expected); // one appointment per booking
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Calendar"), QString(), ini));
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
        const QString log = Documents() + QStringLiteral("/Almbro.log");
        const QString kept = log + QStringLiteral(".kept");
        QVERIFY(!QFile::exists(log) || QFile::rename(log, kept));
        if (blocker == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(log));
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), log)); // every write: no space left
        const Run run = Almbro(args);
        if (blocker == QLatin1String("folder"))
            QVERIFY(QDir(log).removeRecursively());
        else
            QVERIFY(QFile::remove(log));
        QVERIFY(!QFile::exists(kept) || QFile::rename(kept, log));
        QVERIFY2(run.status == status, qPrintable(run.err));
        const QString said = QStringLiteral("Almbro: the run log %1 could not be written: ").arg(log);
        QVERIFY2(run.err.count(said) == 1, qPrintable(run.err));
    }
};

ALMBRO_TEST_MAIN(TestAlmbroAuto)
#include "test_almbro_auto.moc"
