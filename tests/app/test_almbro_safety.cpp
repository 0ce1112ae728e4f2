// Unattended runs that must never lose or double data: two runs at once, an appointment file
// that cannot be rewritten, a calendar client's copy of an appointment, a profile that maps a
// field that does not exist, a booking with a date no calendar should hold.
#include "booking/BulkWriter.h"
#include "platform/RunLock.h"
#include "support/AlmbroProcess.h"

#include <QCoreApplication>
#include <QRegularExpression>

using namespace testenv;

namespace {
// The booking number each appointment file carries, by file name.
QMap<QString, QString> Markers()
{
    QMap<QString, QString> markers;
    static const QRegularExpression re(QStringLiteral("X-ALMBRO-MILEAGE:(\\d+)"));
    const auto files = Snapshot(AppointmentFolder());
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
    QString m_db;
    int m_expected = 0;

private slots:
    void initTestCase()
    {
        m_db = PlanumDocuments() + QStringLiteral("/Planum.db");
        QVERIFY(SeedDatabase(m_db, {4, 40, QDate::currentDate().addDays(-5), 4, 3}) > 0);
        m_expected = int(Bookings(m_db));
        // A booking that ends on the last day of 9999.
        const QString far = PlanumDocuments() + QStringLiteral("/far.db");
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
        QVERIFY(WriteIni("[System]\nLang=EN\n" + ExportProfile("Nightly", m_db) +
                             ExportProfile("Typo", m_db, "Koppling1=Kundnamn,Subjekt;Koppling2=Notering,Text") +
                             ExportProfile("Far", far, "Koppling1=Kundnamn,Subject"),
                         false));
    }

    void twoRunsAtOnceWriteEachAppointmentOnce()
    {
        QProcess first, second;
        for (QProcess* p : {&first, &second})
            StartAlmbro(*p, {QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")}, CalendarLocation());
        // The second waits for the first and then finds every appointment it made.
        QCOMPARE(Finish(first).status, 0);
        QCOMPARE(Finish(second).status, 0);
        const QMap<QString, QString> markers = Markers();
        QCOMPARE(markers.size(), m_expected);
        QStringList numbers = markers.values();
        numbers.removeDuplicates();
        QCOMPARE(numbers.size(), m_expected);
    }

    void aRunThatCannotWaitEndsWithItsOwnStatus()
    {
        QString holder;
        const auto lock = vb::RunLock::Acquire(CalendarLocation(), 0, &holder);
        QVERIFY2(lock, qPrintable(holder));
        QFile ini(PlanumDocuments() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray before = ini.readAll();
        ini.close();
        QVERIFY(WriteIni(QByteArray(before).replace("[System]\n", "[System]\nLasVantetid=1\n"), false));
        const auto files = Snapshot(AppointmentFolder());
        const Run run = RunProfile(QStringLiteral("nightly"));
        QVERIFY(WriteIni(before, false));
        QCOMPARE(run.status, 7);
        QVERIFY2(run.err.contains(QStringLiteral("process %1,").arg(QCoreApplication::applicationPid())), qPrintable(run.err));
        QCOMPARE(Snapshot(AppointmentFolder()), files);
    }

    void anAppointmentThatCannotBeRewrittenIsNotDoneAndNotDoubled()
    {
        QVERIFY(RunProfile(QStringLiteral("nightly")).status == 0);
        const QMap<QString, QString> markers = Markers();
        const QString name = markers.firstKey();
        const QString path = AppointmentFolder() + QLatin1Char('/') + name;
        // The booking changes, so its appointment must be rewritten (an unchanged one is not).
        QCOMPARE(ChangeBooking(m_db, markers[name].toInt(),
                               [](booking::DBPost& post) { post.Notering(post.Notering() + QStringLiteral(" (changed)")); }),
                 0);
        if (!SetImmutable(path, true))
            QSKIP("chattr +i is not possible here (not root, or the file system has no such flag)");
        const auto guard = qScopeGuard([&] { SetImmutable(path, false); });
        for (int night = 1; night <= 3; ++night) {
            const Run run = RunProfile(QStringLiteral("nightly"));
            QCOMPARE(run.status, 6);
            QVERIFY2(run.err.contains(QStringLiteral("Booking ") + markers[name] + QStringLiteral(": ")), qPrintable(run.err));
            QCOMPARE(Markers(), markers); // no new file, night after night
        }
    }

    void aClientsCopyIsLeftAloneAndNamed()
    {
        QVERIFY(RunProfile(QStringLiteral("nightly")).status == 0);
        const auto files = Snapshot(AppointmentFolder());
        // A calendar client's copy: every property, our markers too, under another UID, moved.
        const QString original = files.firstKey();
        QByteArray copy = files.first();
        copy.replace(QRegularExpression(QStringLiteral("UID:[^\\r\\n]+")).match(QString::fromUtf8(copy)).captured(0).toUtf8(),
                     "UID:copy-by-another-client@example.org");
        copy.replace("SUMMARY:", "SUMMARY:Copy of ");
        QFile out(AppointmentFolder() + QStringLiteral("/copy-by-another-client@example.org.ics"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(copy);
        out.close();

        const Run run = RunProfile(QStringLiteral("nightly"));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(QStringLiteral("a copy of its appointment was left as it is: 'Copy of ")), qPrintable(run.err));
        const auto after = Snapshot(AppointmentFolder());
        QCOMPARE(after.value(QStringLiteral("copy-by-another-client@example.org.ics")), copy);
        QCOMPARE(after.size(), files.size() + 1);
        QVERIFY(!after.value(original).contains("Copy of"));
        QFile::remove(out.fileName());
    }

    // Profiles that cannot be carried out say why and leave the calendar as it was.
    void aProfileThatCannotBeDoneWritesNothing_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("said");
        QTest::newRow("mapping a field that does not exist") << "typo" << "Koppling1=Kundnamn,Subjekt";
        QTest::newRow("a date no calendar should hold") << "far" << "a date before 1900 or after 2100";
    }
    void aProfileThatCannotBeDoneWritesNothing()
    {
        QFETCH(QString, profile);
        QFETCH(QString, said);
        const auto files = Snapshot(AppointmentFolder());
        const Run run = RunProfile(profile);
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(Snapshot(AppointmentFolder()), files);
    }
};

ALMBRO_TEST_MAIN(TestAlmbroSafety)
#include "test_almbro_safety.moc"
