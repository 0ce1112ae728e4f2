// What we write is read the same by python3-icalendar, a reader that shares no code with ours:
// start and end (with their offsets), subject and the three markers.
#include "CalendarTestSupport.h"

using namespace cal;

class TestInterop : public QObject {
    Q_OBJECT
private slots:
    void pythonReadsWhatWeWrite()
    {
        QVERIFY2(QFileInfo::exists(QStringLiteral(ALMBRO_PYTHON3)), "python3 not found");
        const QString place = testenv::Root() + QStringLiteral("/interop");
        auto app = Application::Create(place);
        struct Row {
            QDateTime start, end;
            QString subject, marker;
        };
        const QList<Row> rows = {
            {QDateTime(QDate(2026, 1, 15), QTime(9, 0)), QDateTime(QDate(2026, 1, 15), QTime(10, 30)), "Vinter", "101"},
            {QDateTime(QDate(2026, 7, 1), QTime(23, 30)), QDateTime(QDate(2026, 7, 2), QTime(0, 15)), "Sommar över midnatt", "102"},
            {QDateTime(QDate(2026, 3, 29), QTime(1, 30)), QDateTime(QDate(2026, 3, 29), QTime(3, 30)), "Över omställningen", "103"},
            {QDateTime(QDate(2026, 10, 5), QTime(8, 0)), QDateTime(QDate(2026, 10, 5), QTime(9, 0)), "Åäö; med, tecken", "a;b,c"},
        };
        QStringList expected;
        for (const Row& r : rows) {
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(r.start);
            item.SetEnd(r.end);
            item.SetSubject(r.subject);
            item.SetBillingInformation(r.marker);
            item.SetMileage(r.marker);
            item.SetReminderSoundFile(r.marker);
            item.Save();
            const Item back = caltest::CalendarItems(app).Find(QStringLiteral("[Subject] = '%1'").arg(r.subject));
            QVERIFY(back);
            auto iso = [](const QDateTime& t) { return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate); };
            expected << QStringList{back.EntryID(), iso(back.Start()), iso(back.End()), back.Subject(), back.BillingInformation(),
                                    back.Mileage(), back.ReminderSoundFile()}
                            .join(QLatin1Char('|'));
        }
        expected.sort();
        QProcess python;
        python.start(QStringLiteral(ALMBRO_PYTHON3),
                     {QStringLiteral(ALMBRO_SOURCE_DIR "/tests/calendar/read_vdir.py"), place + QStringLiteral("/Calendar")});
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        QStringList got = QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        got.sort();
        QCOMPARE(got, expected);
        // And the times are the ones we meant, not just the ones we read back.
        QVERIFY2(got.join('\n').contains(QLatin1String("2026-07-01T23:30:00+02:00|2026-07-02T00:15:00+02:00")), qPrintable(got.join('\n')));
        QVERIFY(got.join('\n').contains(QLatin1String("2026-01-15T09:00:00+01:00|2026-01-15T10:30:00+01:00")));
    }
};

ALMBRO_TEST_MAIN(TestInterop)
#include "test_interop.moc"
