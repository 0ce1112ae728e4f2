// Unattended imports as a nightly schedule runs them: a window of Almbro's own appointments and
// one written by another program, imported twice, must add exactly one booking and link the
// foreign appointment to it; nothing is copied, and the second run changes nothing.
#include "support/AlmbroProcess.h"
#include "support/PgCluster.h"

#include <QDir>
#include <QRegularExpression>

using namespace testenv;

namespace {
// The content lines of an iCalendar text, unfolded.
QStringList Lines(const QByteArray& ics)
{
    QString text = QString::fromUtf8(ics);
    text.replace(QStringLiteral("\r\n "), QString()).replace(QStringLiteral("\n "), QString());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines;
    // A list of categories is the same whether written on one line or several.
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("CATEGORIES:")))
            for (const QString& one : line.mid(11).split(QLatin1Char(',')))
                lines << QStringLiteral("CATEGORIES:") + one;
        else
            lines << line;
    }
    return lines;
}

// The lines that record when and by whom the item was last written, and the markers.
bool Bookkeeping(const QString& line)
{
    static const QRegularExpression re(QStringLiteral("^(DTSTAMP|LAST-MODIFIED|X-ALMBRO-[A-Z]+)[;:]"));
    return re.match(line).hasMatch();
}

const char kForeignName[] = "f00d-written-elsewhere@example.org.ics";

} // namespace

class TestAlmbroImport : public QObject {
    Q_OBJECT
    QString m_db;
    QByteArray m_foreign;

private slots:
    void initTestCase()
    {
        m_db = PlanumDocuments() + QStringLiteral("/Planum.db");
        const qint32 resource = SeedDatabase(m_db, {4, 30, QDate::currentDate().addDays(-5), 4, 7});
        QVERIFY(resource > 0);
        QVERIFY(WriteIni("[System]\nLang=EN\nDataBas1=" + m_db.toUtf8() + "\n" + ExportProfile("Export", m_db) +
                             ImportProfile("Import", m_db, resource),
                         false));

        // The foreign appointment: yesterday morning, as another calendar program writes one, with
        // properties Almbro neither reads nor writes.
        const QDateTime start(QDate::currentDate().addDays(-1), QTime(10, 0));
        m_foreign =
            ForeignAppointment(QStringLiteral("f00d-written-elsewhere@example.org"), start, 90,
                               "SUMMARY:Dentist  \r\nDESCRIPTION:Bring the forms\\, all three\r\nLOCATION:Main "
                               "street 4\r\nCATEGORIES:Private,Health\r\nORGANIZER;CN=Sam:mailto:sam@example.org\r\n"
                               "X-OTHER-CLIENT-COLOUR:#33aa77\r\nSEQUENCE:3\r\nCLASS:PRIVATE\r\n");
    }

    void foreignAppointmentBecomesOneLinkedBooking()
    {
        const Run exported = RunProfile(QStringLiteral("export"));
        QVERIFY2(exported.status == 0, qPrintable(exported.err));
        const qint64 before = Bookings(m_db);
        QVERIFY(before > 0);
        QVERIFY(WriteFile(AppointmentFolder() + QLatin1Char('/') + QLatin1String(kForeignName), m_foreign));
        const QMap<QString, QByteArray> exportedFiles = Snapshot(AppointmentFolder());

        const Run first = RunProfile(QStringLiteral("import"));
        QVERIFY2(first.status == 0, qPrintable(first.out + first.err));
        QCOMPARE(Bookings(m_db), before + 1); // the foreign one, and no copy of any other

        const QMap<QString, QByteArray> linked = Snapshot(AppointmentFolder());
        QCOMPARE(linked.keys(), exportedFiles.keys()); // no appointment added or removed
        for (const QString& name : linked.keys())
            if (name != QLatin1String(kForeignName))
                QVERIFY2(linked[name] == exportedFiles[name], qPrintable(name)); // Almbro's own untouched

        // The new booking's number in the three markers; every other property as it was.
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        const QDateTime start(QDate::currentDate().addDays(-1), QTime(10, 0));
        booking::Recordset found =
            db.HämtaPoster(start.toString(Qt::ISODate), start.addSecs(60).toString(Qt::ISODate), -9);
        qint32 number = 0;
        for (; !found.Eof(); found.MoveNext())
            if (found[QStringLiteral("StartTid")].toDateTime() == start &&
                found[QStringLiteral("Anteckningx")].toString() == QStringLiteral("Bring the forms, all three"))
                number = found[QStringLiteral("Nyckel")].toInt();
        QVERIFY(number > 0);
        const QStringList after = Lines(linked[QLatin1String(kForeignName)]);
        for (const char* marker : {"X-ALMBRO-BILLINGINFORMATION", "X-ALMBRO-MILEAGE", "X-ALMBRO-REMINDERSOUNDFILE"})
            QVERIFY2(after.contains(QLatin1String(marker) + QLatin1Char(':') + QString::number(number)),
                     qPrintable(after.join(QLatin1Char('\n'))));
        QStringList kept, was;
        for (const QString& line : after)
            if (!Bookkeeping(line))
                kept << line;
        for (const QString& line : Lines(m_foreign))
            if (!Bookkeeping(line))
                was << line;
        std::sort(kept.begin(), kept.end());
        std::sort(was.begin(), was.end());
        QVERIFY2(kept == was, qPrintable(kept.join(QLatin1Char('\n')) + QStringLiteral("\n--- was:\n") +
                                         was.join(QLatin1Char('\n'))));

        // Again: the foreign appointment is Almbro's now and updates its booking; nothing is added.
        const Run second = RunProfile(QStringLiteral("import"));
        QVERIFY2(second.status == 0, qPrintable(second.out + second.err));
        QCOMPARE(Bookings(m_db), before + 1);
        QCOMPARE(Snapshot(AppointmentFolder()), linked);

        // The next export finds the linked appointment by its marker and updates it in place.
        const Run again = RunProfile(QStringLiteral("export"));
        QVERIFY2(again.status == 0, qPrintable(again.out + again.err));
        const QMap<QString, QByteArray> reexported = Snapshot(AppointmentFolder());
        QCOMPARE(reexported.keys(), linked.keys());
        QVERIFY(Lines(reexported[QLatin1String(kForeignName)])
                    .contains(QStringLiteral("X-ALMBRO-MILEAGE:") + QString::number(number)));
    }

    // A nightly import into a PostgreSQL database whose server is stopped in the middle of the
    // run. To stop it at a known point, the test database holds back the third new booking
    // (a trigger that sleeps once two are saved) and the server is stopped while that save
    // waits: two bookings committed, the third one's transaction open. The run must end with
    // status 5 naming the server and the cause; once the server is back, exactly the bookings
    // the run reports done are there, each whole, and their appointments carry their numbers.
    void aServerStoppedMidImport_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("cause");
        QTest::newRow("fast") << QStringLiteral("fast") << QStringLiteral("terminating connection");
        QTest::newRow("immediate") << QStringLiteral("immediate") << QStringLiteral("server closed the connection");
    }
    void aServerStoppedMidImport()
    {
        QFETCH(QString, mode);
        QFETCH(QString, cause);
        if (!pgtest::Cluster::Available())
            QSKIP("PostgreSQL is not installed");
        pgtest::Cluster server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString location = server.NewDatabase();
        const QString database = QUrl(location).path().mid(1);
        // Resources, and bookings long before the import's week.
        const qint32 resource = SeedDatabase(location, {3, 20, QDate(2020, 1, 6), 5, 5});
        QVERIFY(resource > 0);
        const qint64 before = Bookings(location);
        QCOMPARE(before, qint64(20));
        QString error;
        // The throwaway cluster commits without waiting for its log; a server killed outright
        // would then lose commits it had confirmed, as such a server is configured to.
        QVERIFY2(server.Admin(QStringLiteral("ALTER DATABASE %1 SET synchronous_commit = on").arg(database), error),
                 qPrintable(error));
        QVERIFY2(server.Admin(QStringLiteral("CREATE FUNCTION hold_back() RETURNS trigger LANGUAGE plpgsql AS $$ "
                                             "BEGIN IF (SELECT count(*) FROM \"Bokningar\") >= %1 THEN "
                                             "PERFORM pg_sleep(300); END IF; RETURN NEW; END $$")
                                  .arg(before + 2),
                              error, database),
                 qPrintable(error));
        QVERIFY2(server.Admin(QStringLiteral("CREATE TRIGGER hold_back BEFORE INSERT ON \"Bokningar\" "
                                             "FOR EACH ROW EXECUTE FUNCTION hold_back()"),
                              error, database),
                 qPrintable(error));

        // Six appointments of another program yesterday, half an hour each, an hour apart.
        const QString calendar = Root() + QStringLiteral("/server-") + mode;
        QDir().mkpath(calendar + QStringLiteral("/Calendar"));
        QMap<QString, QDateTime> starts; // description -> start
        for (int i = 0; i < 6; ++i) {
            const QDateTime start(QDate::currentDate().addDays(-1), QTime(8 + i, 0));
            const QString description = QStringLiteral("Visit %1 of %2").arg(i + 1).arg(mode);
            starts.insert(description, start);
            QVERIFY(
                WriteFile(calendar + QStringLiteral("/Calendar/visit-%1.ics").arg(i + 1),
                          ForeignAppointment(QStringLiteral("visit-%1-%2@example.org").arg(i + 1).arg(mode), start, 30,
                                             "SUMMARY:Visit\r\nDESCRIPTION:" + description.toUtf8() + "\r\n", true)));
        }
        const QString profile = QStringLiteral("Server ") + mode;
        QVERIFY(WriteIni(ImportProfile(profile, location, resource)));

        QProcess run;
        StartAlmbro(run, {QStringLiteral("/auto"), profile, QStringLiteral("d7")}, calendar);
        QVERIFY(run.waitForStarted());
        // The third save is held back: the run's session sleeps in the trigger.
        const QString held = QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep' AND "
                                            "application_name = 'Almbro'");
        QVariant holding;
        QTRY_VERIFY2_WITH_TIMEOUT((server.Admin(held, error, database, &holding) && holding.toInt() == 1) ||
                                      run.state() == QProcess::NotRunning,
                                  qPrintable(error), 60000);
        QCOMPARE(run.state(), QProcess::Running);
        server.Stop(mode);

        const Run ended = Finish(run);
        QVERIFY2(ended.status == 5, qPrintable(QString::number(ended.status) + QLatin1Char(' ') + ended.err));
        QVERIFY2(ended.err.contains(cause), qPrintable(ended.err));
        QVERIFY2(ended.err.contains(server.Socket()), qPrintable(ended.err)); // names the server
        QVERIFY2(!ended.err.contains(QString::fromUtf8(pgtest::Cluster::kPassword)), qPrintable(ended.err));
        const QString logged = RunLog();
        const int line = logged.lastIndexOf(QStringLiteral("profile=") + profile.toLower());
        QVERIFY2(line >= 0, qPrintable(logged));
        const QString runLog = logged.mid(line);
        QVERIFY2(runLog.contains(QStringLiteral("\tdone=2\t")) && runLog.contains(QStringLiteral("\tstatus=5 ")),
                 qPrintable(runLog));
        QVERIFY2(runLog.contains(cause), qPrintable(runLog));

        // The server back: the two bookings the run did, each whole, and nothing of the third.
        QVERIFY2(server.Restart(), qPrintable(server.Error()));
        QCOMPARE(Bookings(location), before + 2);
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(location, 0, 0), 1);
        const QDate yesterday = QDate::currentDate().addDays(-1);
        booking::Recordset saved = db.HämtaPoster(yesterday.toString(Qt::ISODate) + QStringLiteral(" 00:00:00"),
                                                  yesterday.toString(Qt::ISODate) + QStringLiteral(" 23:59:59"), -9);
        int found = 0;
        QStringList linked;
        for (; !saved.Eof(); saved.MoveNext(), ++found) {
            const qint32 number = saved[QStringLiteral("Nyckel")].toInt();
            const std::optional<booking::DBPost> post = db.HämtaPost(number);
            QVERIFY(post);
            QVERIFY2(starts.contains(post->Notering()), qPrintable(post->Notering()));
            const QDateTime start = starts.value(post->Notering());
            QCOMPARE(post->StartTid(), start);
            QCOMPARE(post->SlutTid(), start.addSecs(1800));
            QCOMPARE(post->PersonID(), resource);
            QCOMPARE(post->Status(), 1);
            QVERIFY(post->Aktiv());
            const QString name =
                QStringLiteral("/Calendar/visit-%1.ics").arg(post->Notering().section(QLatin1Char(' '), 1, 1));
            QFile file(calendar + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(Lines(file.readAll()).contains(QStringLiteral("X-ALMBRO-MILEAGE:") + QString::number(number)),
                     qPrintable(name));
            linked << name;
        }
        QCOMPARE(found, 2);
        // The appointments whose bookings were not made carry no number.
        for (int i = 1; i <= 6; ++i) {
            const QString name = QStringLiteral("/Calendar/visit-%1.ics").arg(i);
            if (linked.contains(name))
                continue;
            QFile file(calendar + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains("X-ALMBRO-"), qPrintable(name));
        }
    }
};

ALMBRO_TEST_MAIN(TestAlmbroImport)
#include "test_almbro_import.moc"
