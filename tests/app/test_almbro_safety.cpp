// Unattended runs that must never lose or double data: two runs at once, an appointment file
// that cannot be rewritten, a calendar client's copy of an appointment, a profile that maps a
// field that does not exist, a booking with a date no calendar should hold.
#include "booking/BulkWriter.h"
#include "booking/DBFunk.h"
#include "planumdb/Seed.h"
#include "platform/RunLock.h"
#include "support/AlmbroProcess.h"

#include <QCoreApplication>
#include <QRegularExpression>

using testenv::Run;

namespace {
QString Calendar()
{
    return testenv::CalendarLocation();
}

QString Folder()
{
    return testenv::AppointmentFolder();
}

Run Almbro(const QString& profile)
{
    return testenv::RunProfile(profile);
}

// The booking number each appointment file carries, by file name.
QMap<QString, QString> Markers()
{
    QMap<QString, QString> markers;
    static const QRegularExpression re(QStringLiteral("X-ALMBRO-MILEAGE:(\\d+)"));
    const auto files = testenv::Snapshot(Folder());
    for (auto it = files.begin(); it != files.end(); ++it)
        markers.insert(it.key(), re.match(QString::fromUtf8(it.value())).captured(1));
    return markers;
}

bool SetImmutable(const QString& path, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), path}) == 0;
}
} // namespace

class TestAlmbroSafety : public QObject {
    Q_OBJECT
    QString m_documents;
    QString m_db;
    int m_expected = 0;

    void AddProfile(const QByteArray& name, const QByteArray& database, const QByteArray& mappings)
    {
        QFile ini(m_documents + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("[" + name + "]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                  "cboResurser=-99;DataBas=" + database + ";chkPlanumBokningar=0;" + mappings + "\n");
    }

private slots:
    void initTestCase()
    {
        m_documents = testenv::PlanumDocuments();
        m_db = m_documents + QStringLiteral("/Planum.db");
        booking::DBFunk::SkapaDatabas(m_db);
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        planumdb::SeedOptions options;
        options.resources = 4;
        options.bookings = 40;
        options.from = QDate::currentDate().addDays(-5);
        options.days = 4;
        options.seed = 3;
        planumdb::Seed(db, options);
        m_expected = int(db.AntalBokningar());
        QFile ini(m_documents + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[System]\nLang=EN\n");
        ini.close();
        AddProfile("Nightly", m_db.toUtf8(), "Koppling1=Kundnamn,Subject;Koppling2=Notering,Text");
    }

    void twoRunsAtOnceWriteEachAppointmentOnce()
    {
        QProcess first, second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("ALMBRO_CALENDAR"), Calendar());
        for (QProcess* p : {&first, &second}) {
            p->setProcessEnvironment(env);
            p->start(QStringLiteral(ALMBRO_EXE), {QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")});
        }
        QVERIFY(first.waitForFinished(120000) && second.waitForFinished(120000));
        // The second waits for the first and then finds every appointment it made.
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        const QMap<QString, QString> markers = Markers();
        QCOMPARE(markers.size(), m_expected);
        QStringList numbers = markers.values();
        numbers.removeDuplicates();
        QCOMPARE(numbers.size(), m_expected);
    }

    void aRunThatCannotWaitEndsWithItsOwnStatus()
    {
        QString holder;
        const auto lock = vb::RunLock::Acquire(Calendar(), 0, &holder);
        QVERIFY2(lock, qPrintable(holder));
        QFile ini(m_documents + QStringLiteral("/Planum.ini"));
        const QByteArray before = [&] { ini.open(QIODevice::ReadOnly); QByteArray b = ini.readAll(); ini.close(); return b; }();
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray(before).replace("[System]\n", "[System]\nLasVantetid=1\n"));
        ini.close();
        const auto files = testenv::Snapshot(Folder());
        const Run run = Almbro(QStringLiteral("nightly"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(before);
        ini.close();
        QCOMPARE(run.status, 7);
        QVERIFY2(run.err.contains(QStringLiteral("process %1,").arg(QCoreApplication::applicationPid())), qPrintable(run.err));
        QCOMPARE(testenv::Snapshot(Folder()), files);
    }

    void anAppointmentThatCannotBeRewrittenIsNotDoneAndNotDoubled()
    {
        QVERIFY(Almbro(QStringLiteral("nightly")).status == 0);
        const QMap<QString, QString> markers = Markers();
        const QString name = markers.firstKey();
        const QString path = Folder() + QLatin1Char('/') + name;
        {
            // The booking changes, so its appointment must be rewritten (an unchanged one is not).
            booking::DBFunk db;
            QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
            booking::DBPost post = *db.HämtaPost(markers[name].toInt());
            post.Notering(post.Notering() + QStringLiteral(" (changed)"));
            qint32 number = 0, result = -1;
            db.Överlapp(true);
            db.SparaPost(post, false, number, result);
            QCOMPARE(result, 0);
        }
        if (!SetImmutable(path, true))
            QSKIP("chattr +i is not possible here (not root, or the file system has no such flag)");
        const auto guard = qScopeGuard([&] { SetImmutable(path, false); });
        for (int night = 1; night <= 3; ++night) {
            const Run run = Almbro(QStringLiteral("nightly"));
            QCOMPARE(run.status, 6);
            QVERIFY2(run.err.contains(QStringLiteral("Booking ") + markers[name] + QStringLiteral(": ")), qPrintable(run.err));
            QCOMPARE(Markers(), markers); // no new file, night after night
        }
    }

    void aClientsCopyIsLeftAloneAndNamed()
    {
        QVERIFY(Almbro(QStringLiteral("nightly")).status == 0);
        const auto files = testenv::Snapshot(Folder());
        // A calendar client's copy: every property, our markers too, under another UID, moved.
        const QString original = files.firstKey();
        QByteArray copy = files.first();
        copy.replace(QRegularExpression(QStringLiteral("UID:[^\\r\\n]+")).match(QString::fromUtf8(copy)).captured(0).toUtf8(),
                     "UID:copy-by-another-client@example.org");
        copy.replace("SUMMARY:", "SUMMARY:Copy of ");
        QFile out(Folder() + QStringLiteral("/copy-by-another-client@example.org.ics"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(copy);
        out.close();

        const Run run = Almbro(QStringLiteral("nightly"));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(QStringLiteral("a copy of its appointment was left as it is: 'Copy of ")), qPrintable(run.err));
        const auto after = testenv::Snapshot(Folder());
        QCOMPARE(after.value(QStringLiteral("copy-by-another-client@example.org.ics")), copy);
        QCOMPARE(after.size(), files.size() + 1);
        QVERIFY(!after.value(original).contains("Copy of"));
        QFile::remove(out.fileName());
    }

    void aProfileMappingAFieldThatDoesNotExistWritesNothing()
    {
        AddProfile("Typo", m_db.toUtf8(), "Koppling1=Kundnamn,Subjekt;Koppling2=Notering,Text");
        const auto files = testenv::Snapshot(Folder());
        const Run run = Almbro(QStringLiteral("typo"));
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.contains(QStringLiteral("Koppling1=Kundnamn,Subjekt")), qPrintable(run.err));
        QCOMPARE(testenv::Snapshot(Folder()), files);
    }

    void aDateNoCalendarShouldHoldIsNotWritten()
    {
        const QString far = m_documents + QStringLiteral("/far.db");
        booking::DBFunk::SkapaDatabas(far);
        {
            booking::DBFunk db;
            QCOMPARE(db.ÖppnaDatabas(far, 0, 0), 1);
            booking::BulkWriter writer(db);
            booking::DBPost post;
            post.PersonID(writer.AddResource(QStringLiteral("Sal"), QStringLiteral("B"), QString()));
            post.StartTid(QDateTime(QDate::currentDate().addDays(-1), QTime(9, 0)));
            post.SlutTid(QDateTime(QDate(9999, 12, 31), QTime(0, 0)));
            post.Status(1);
            writer.AddBooking(post);
            writer.Commit();
        }
        AddProfile("Far", far.toUtf8(), "Koppling1=Kundnamn,Subject");
        const auto files = testenv::Snapshot(Folder());
        const Run run = Almbro(QStringLiteral("far"));
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.contains(QStringLiteral("a date before 1900 or after 2100")), qPrintable(run.err));
        QCOMPARE(testenv::Snapshot(Folder()), files);
    }
};

ALMBRO_TEST_MAIN(TestAlmbroSafety)
#include "test_almbro_safety.moc"
