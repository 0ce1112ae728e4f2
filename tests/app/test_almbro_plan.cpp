// "/plan": an unattended run that says, item by item, what the transfer would do and writes
// nothing; the run that follows does exactly what it said.
#include "support/AlmbroProcess.h"

#include <QDirIterator>
#include <algorithm>
#include <QRegularExpression>

using namespace testenv;

namespace {
// Every file under the settings folder (Planum.ini, the database, the log) and the calendar,
// with its bytes: what a plan must leave exactly as it found it.
QMap<QString, QByteArray> Everything()
{
    QMap<QString, QByteArray> files;
    for (const QString& top : {PlanumDocuments(), CalendarLocation()}) {
        QDirIterator it(top, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            files.insert(f.fileName(), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)"));
        }
    }
    return files;
}

// created, updated, unchanged, not done
using Counts = QList<int>;

Counts Numbers(const QString& line)
{
    Counts numbers;
    static const QRegularExpression number(QStringLiteral("\\d+"));
    for (auto it = number.globalMatch(line); it.hasNext();)
        numbers << it.next().captured().toInt();
    return numbers;
}

// The counts of the last run in the run log, and how many items it handled.
Counts Logged(int* handled)
{
    QString last;
    for (const QString& line : RunLog().split(QLatin1Char('\n')))
        if (line.contains(QLatin1String("\tprofile=")))
            last = line;
    Counts counts;
    for (const char* key : {"created", "updated", "unchanged", "refused"}) {
        const QRegularExpression re(QStringLiteral("\t%1=(\\d+)").arg(QLatin1String(key)));
        counts << re.match(last).captured(1).toInt();
    }
    *handled = QRegularExpression(QStringLiteral("\thandled=(\\d+)")).match(last).captured(1).toInt();
    return counts;
}

const char kForeign[] = "f00d-plan@example.org.ics";
} // namespace

class TestAlmbroPlan : public QObject {
    Q_OBJECT
    QString m_db;
    qint32 m_changed = 0;

    void ChangeOneBooking()
    {
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        m_changed = db.HämtaPoster(QDate::currentDate().addDays(-7).toString(Qt::ISODate) + QStringLiteral(" 00:00:00"),
                                   QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(" 23:59:59"), -9)
                        [QStringLiteral("Nyckel")].toInt();
        QCOMPARE(ChangeBooking(m_db, m_changed,
                               [](booking::DBPost& post) { post.Kundnamn(post.Kundnamn() + QStringLiteral(" (renamed)")); }),
                 0);
    }

    // Another program edits the text of one appointment an export made; Lang chooses the
    // language of the runs that follow.
    static bool EditAppointmentText(const QByteArray& lang)
    {
        QDirIterator it(AppointmentFolder(), {QStringLiteral("*.ics")}, QDir::Files);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.fileName().endsWith(QLatin1String(kForeign)) || !f.open(QIODevice::ReadOnly))
                continue;
            const QString ics = QString::fromUtf8(f.readAll());
            f.close();
            // One the import lists: over before today (a long booking may reach past it).
            static const QRegularExpression end(QStringLiteral("\r\nDTEND[^:\r]*:(\\d{8})"));
            if (QDate::fromString(end.match(ics).captured(1), QStringLiteral("yyyyMMdd")) >= QDate::currentDate())
                continue;
            // The event's own text, not its reminder's; an event without one gets one.
            const qsizetype alarm = ics.indexOf(QLatin1String("BEGIN:VALARM"));
            QString edited = alarm < 0 ? ics : ics.left(alarm);
            static const QRegularExpression description(QStringLiteral("\r\nDESCRIPTION:[^\r]*(\r\n [^\r]*)*"));
            edited.remove(description);
            edited.replace(QStringLiteral("BEGIN:VEVENT\r\n"), QStringLiteral("BEGIN:VEVENT\r\nDESCRIPTION:Edited in "
                                                                               "another program ") +
                                                                  QString::fromLatin1(lang) + QStringLiteral("\r\n"));
            edited += alarm < 0 ? QString() : ics.mid(alarm);
            QFile ini(PlanumDocuments() + QStringLiteral("/Planum.ini"));
            if (!ini.open(QIODevice::ReadOnly))
                return false;
            QString text = QString::fromUtf8(ini.readAll());
            ini.close();
            text.replace(QRegularExpression(QStringLiteral("\nLang=\\w+")), QStringLiteral("\nLang=") + QString::fromLatin1(lang));
            return WriteFile(f.fileName(), edited.toUtf8()) && WriteIni(text.toUtf8(), false);
        }
        return false;
    }

    static bool AddForeignAppointment()
    {
        return WriteFile(AppointmentFolder() + QLatin1Char('/') + QLatin1String(kForeign),
                         ForeignAppointment(QStringLiteral("f00d-plan@example.org"),
                                            QDateTime(QDate::currentDate().addDays(-1), QTime(6, 15)), 30,
                                            "SUMMARY:Early call\r\nDESCRIPTION:From another program\r\n"));
    }

private slots:
    void initTestCase()
    {
        m_db = PlanumDocuments() + QStringLiteral("/Planum.db");
        const qint32 resource = SeedDatabase(m_db, {4, 25, QDate::currentDate().addDays(-5), 4, 5});
        QVERIFY(resource > 0);
        QVERIFY(WriteIni("[System]\nLang=EN\nDataBas1=" + m_db.toUtf8() + "\n" + ExportProfile("Export", m_db) +
                             ImportProfile("Import", m_db, resource),
                         false));
    }

    // The rows run in order, each on what the ones before left.
    void planThenRun_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("flags");
        QTest::newRow("export to an empty calendar: all new") << "" << "export" << QStringList{"/plan"};
        QTest::newRow("export after a booking changed: one update")
            << "booking" << "export" << QStringList{"--plan"};
        QTest::newRow("export again: all unchanged") << "" << "Export" << QStringList{"/PLAN"};
        QTest::newRow("import with a foreign appointment") << "foreign" << "import" << QStringList{"--plan"};
        QTest::newRow("import again") << "" << "import" << QStringList{"/plan"};
        QTest::newRow("import of an edited text, English") << "EN" << "import" << QStringList{"/plan"};
        QTest::newRow("import of an edited text, Swedish") << "SV" << "import" << QStringList{"/plan"};
    }
    void planThenRun()
    {
        QFETCH(QString, change);
        QFETCH(QString, profile);
        QFETCH(QStringList, flags);
        if (change == QLatin1String("booking"))
            ChangeOneBooking();
        else if (change == QLatin1String("foreign"))
            QVERIFY(AddForeignAppointment());
        else if (change.size() == 2)
            QVERIFY(EditAppointmentText(change.toLatin1()));

        const QMap<QString, QByteArray> before = Everything();
        const Run plan = Almbro(QStringList{QStringLiteral("/auto"), profile, QStringLiteral("d7")} + flags,
                                         CalendarLocation());
        QVERIFY2(plan.status == 0 || plan.status == 6, qPrintable(plan.err));
        const QMap<QString, QByteArray> after = Everything();
        QCOMPARE(after.keys(), before.keys());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key() + QStringLiteral(" was changed")));

        QStringList lines = plan.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        const Counts planned = Numbers(lines.takeLast());
        QCOMPARE(planned.size(), 4);

        const Run run = RunProfile(profile);
        QVERIFY2(run.status == 0 || run.status == 6, qPrintable(run.err));
        int handled = -1;
        QCOMPARE(Logged(&handled), planned);
        // One line per item the run took in hand.
        QCOMPARE(int(lines.size()), handled);
        QCOMPARE(planned[0] + planned[1] + planned[2] + planned[3], handled);
        QVERIFY(handled > 0);

        const QString booking = EnglishText("R6002") + QLatin1Char(' ');
        if (QTest::currentDataTag() == QLatin1String("export to an empty calendar: all new")) {
            QCOMPARE(planned[0], handled);
            QVERIFY2(lines.first().startsWith(EnglishText("R6301") + QStringLiteral(": ") + booking), qPrintable(lines.first()));
        } else if (change == QLatin1String("booking")) {
            QCOMPARE(planned, (Counts{0, 1, handled - 1, 0}));
            // The update names the appointment field that changes, and only that one.
            const QString update = EnglishText("R6302") + QStringLiteral(": ") + booking + QString::number(m_changed) +
                                   QStringLiteral(": ") + EnglishText("R2298");
            QVERIFY2(lines.contains(update), qPrintable(lines.join(QLatin1Char('\n'))));
        } else if (profile == QLatin1String("Export") || QTest::currentDataTag() == QLatin1String("import again")) {
            QCOMPARE(planned, (Counts{0, 0, handled, 0}));
        } else if (change.size() == 2) {
            // The booking field the text feeds, named as the language in use names it.
            QCOMPARE(planned, (Counts{0, 1, handled - 1, 0}));
            const QString update = LangText(change, "R6302") + QStringLiteral(": ");
            const QString field = QStringLiteral(": ") + LangText(change, "R6411");
            QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                                 [&](const QString& l) { return l.startsWith(update) && l.endsWith(field); }),
                     qPrintable(lines.join(QLatin1Char('\n'))));
        } else if (change == QLatin1String("foreign")) {
            QVERIFY2(planned[0] + planned[3] >= 1, qPrintable(plan.out)); // the foreign one: new, or a clash
        }
    }
};

ALMBRO_TEST_MAIN(TestAlmbroPlan)
#include "test_almbro_plan.moc"
