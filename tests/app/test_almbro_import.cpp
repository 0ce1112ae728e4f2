// Unattended imports as a nightly schedule runs them: a window of Almbro's own appointments and
// one written by another program, imported twice, must add exactly one booking and link the
// foreign appointment to it; nothing is copied, and the second run changes nothing.
#include "booking/DBFunk.h"
#include "planumdb/Seed.h"
#include "support/AlmbroProcess.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QRegularExpression>

using testenv::Run;

namespace {
QString Documents()
{
    return testenv::PlanumDocuments();
}

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

QMap<QString, QByteArray> Snapshot()
{
    return testenv::Snapshot(Folder());
}

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

qint64 Bookings(const QString& db)
{
    booking::DBFunk funk;
    if (funk.ÖppnaDatabas(db, 0, 0) != 1)
        return -1;
    return funk.AntalBokningar();
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
        m_db = Documents() + QStringLiteral("/Planum.db");
        booking::DBFunk::SkapaDatabas(m_db);
        qint32 resource = 0;
        {
            booking::DBFunk db;
            QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
            planumdb::SeedOptions options;
            options.resources = 4;
            options.bookings = 30;
            options.from = QDate::currentDate().addDays(-5);
            options.days = 4;
            options.seed = 7;
            planumdb::Seed(db, options);
            booking::Recordset persons = db.HämtaPersoner(0, 0, 0, 0, 0);
            resource = persons[QStringLiteral("ID")].toInt();
        }
        QFile ini(Documents() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        const QByteArray db = m_db.toUtf8();
        ini.write("[System]\nLang=EN\nDataBas1=" + db +
                  "\n[Export]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                  "cboResurser=-99;DataBas=" + db +
                  ";chkPlanumBokningar=0;Koppling1=Kundnamn,Subject;Koppling2=Notering,Text\n"
                  "[Import]\nValues=optImport=True;optKalender=True;optNotering=False;optUppgifter=False;lstResurser=" +
                  QByteArray::number(resource) + ";DataBas=" + db +
                  ";Status=1;chkPlanumBokningar=0;Koppling1=Notering,Text\n");
        ini.close();

        // The foreign appointment: yesterday morning, as another calendar program writes one, with
        // properties Almbro neither reads nor writes.
        const QDateTime start(QDate::currentDate().addDays(-1), QTime(10, 0));
        const QString utc = QStringLiteral("yyyyMMddTHHmmssZ");
        m_foreign = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example Corp.//Other Calendar 4.2//EN\r\n"
                    "BEGIN:VEVENT\r\nUID:f00d-written-elsewhere@example.org\r\nDTSTAMP:20261101T080000Z\r\n"
                    "DTSTART:" + start.toUTC().toString(utc).toLatin1() + "\r\nDTEND:" +
                    start.addSecs(5400).toUTC().toString(utc).toLatin1() +
                    "\r\nSUMMARY:Dentist  \r\nDESCRIPTION:Bring the forms\\, all three\r\nLOCATION:Main street 4\r\n"
                    "CATEGORIES:Private,Health\r\nORGANIZER;CN=Sam:mailto:sam@example.org\r\n"
                    "X-OTHER-CLIENT-COLOUR:#33aa77\r\nSEQUENCE:3\r\nCLASS:PRIVATE\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    }

    void foreignAppointmentBecomesOneLinkedBooking()
    {
        const Run exported = Almbro(QStringLiteral("export"));
        QVERIFY2(exported.status == 0, qPrintable(exported.err));
        const qint64 before = Bookings(m_db);
        QVERIFY(before > 0);
        QFile foreign(Folder() + QLatin1Char('/') + QLatin1String(kForeignName));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(m_foreign);
        foreign.close();
        const QMap<QString, QByteArray> exportedFiles = Snapshot();

        const Run first = Almbro(QStringLiteral("import"));
        QVERIFY2(first.status == 0, qPrintable(first.out + first.err));
        QCOMPARE(Bookings(m_db), before + 1); // the foreign one, and no copy of any other

        const QMap<QString, QByteArray> linked = Snapshot();
        QCOMPARE(linked.keys(), exportedFiles.keys()); // no appointment added or removed
        for (const QString& name : linked.keys())
            if (name != QLatin1String(kForeignName))
                QVERIFY2(linked[name] == exportedFiles[name], qPrintable(name)); // Almbro's own untouched

        // The new booking's number in the three markers; every other property as it was.
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        const QDateTime start(QDate::currentDate().addDays(-1), QTime(10, 0));
        booking::Recordset found = db.HämtaPoster(start.toString(Qt::ISODate), start.addSecs(60).toString(Qt::ISODate), -9);
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
        QVERIFY2(kept == was, qPrintable(kept.join(QLatin1Char('\n')) + QStringLiteral("\n--- was:\n") + was.join(QLatin1Char('\n'))));

        // Again: the foreign appointment is Almbro's now and updates its booking; nothing is added.
        const Run second = Almbro(QStringLiteral("import"));
        QVERIFY2(second.status == 0, qPrintable(second.out + second.err));
        QCOMPARE(Bookings(m_db), before + 1);
        QCOMPARE(Snapshot(), linked);

        // The next export finds the linked appointment by its marker and updates it in place.
        const Run again = Almbro(QStringLiteral("export"));
        QVERIFY2(again.status == 0, qPrintable(again.out + again.err));
        const QMap<QString, QByteArray> reexported = Snapshot();
        QCOMPARE(reexported.keys(), linked.keys());
        QVERIFY(Lines(reexported[QLatin1String(kForeignName)])
                    .contains(QStringLiteral("X-ALMBRO-MILEAGE:") + QString::number(number)));
    }
};

ALMBRO_TEST_MAIN(TestAlmbroImport)
#include "test_almbro_import.moc"
