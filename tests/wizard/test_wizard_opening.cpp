// A calendar whose first opening reads thousands of files shows, in the wizard, what it opens
// and how far it has come; an opening the summary cache answers shows nothing.
#include "WizardFixture.h"
#include "calendar/Calendar.h"
#include "wizard/OpeningProgress.h"

#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>

using testenv::T;

namespace {
const QDate kDay(2026, 11, 16);
constexpr int kFiles = 3000;

// A vdir calendar of kFiles appointments written as another program writes them (no cache).
QString WriteCalendar(const QString& place)
{
    const QString folder = place + QStringLiteral("/Calendar");
    QDir().mkpath(folder);
    for (int i = 0; i < kFiles; ++i) {
        QFile file(folder + QStringLiteral("/other-%1.ics").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        const QByteArray day = QByteArray::number(10 + i % 15);
        file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\nBEGIN:VEVENT\r\nUID:other-" +
                   QByteArray::number(i) + "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:202611" + day +
                   "T080000Z\r\nDTEND:202611" + day + "T090000Z\r\nSUMMARY:Möte " + QByteArray::number(i) +
                   "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
    return folder;
}
} // namespace

class TestWizardOpening : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    // The import list of kDay: the calendar is opened for it.
    void List()
    {
        f.UseNewDatabase();
        testenv::Click(f.ui->optImport);
        f.ui->dtpStartTid->setDateTime(QDateTime(kDay, QTime(12, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(kDay, QTime(12, 0)));
        f.wizard->FyllLista();
    }

private slots:
    void cleanup()
    {
        f.Stop();
        qunsetenv("ALMBRO_CALENDAR");
    }

    void firstOpeningShowsWhatAndHowFar_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::newRow("English") << QStringLiteral("EN");
        QTest::newRow("Swedish") << QStringLiteral("SV");
    }

    void firstOpeningShowsWhatAndHowFar()
    {
        QFETCH(QString, lang);
        const QString place = testenv::Root() + QStringLiteral("/calendar-") + lang;
        QVERIFY(place.startsWith(QDir::tempPath()));
        QVERIFY(!WriteCalendar(place).isEmpty());
        qputenv("ALMBRO_CALENDAR", place.toUtf8());
        f.Start(lang);
        auto* progress = f.wizard->findChild<OpeningProgress*>();
        QVERIFY(progress);
        QSignalSpy reports(progress, &OpeningProgress::Reported);
        List();
        QVERIFY(f.boxes->Boxes().isEmpty());
        QCOMPARE(f.ui->lvVisa->Count(), kFiles / 15);

        // Told at the start, on the way, and at the end, of every file to read.
        QVERIFY(reports.size() >= 2);
        QCOMPARE(reports.first().at(0).toLongLong(), 0);
        QCOMPARE(reports.first().at(1).toLongLong(), kFiles);
        QCOMPARE(reports.last().at(0).toLongLong(), kFiles);
        QCOMPARE(reports.last().at(1).toLongLong(), kFiles);
        for (qsizetype i = 1; i < reports.size(); ++i)
            QVERIFY(reports.at(i).at(0).toLongLong() >= reports.at(i - 1).at(0).toLongLong());

        // A dialog of the wizard's that names the calendar and counts its files; put away when
        // the opening is over.
        QProgressDialog* dialog = progress->Dialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->parentWidget(), f.wizard.data());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->maximum(), kFiles);
        QCOMPARE(dialog->value(), kFiles);
        QVERIFY(dialog->labelText().contains(T("R6200").arg(place)));
        QVERIFY(dialog->labelText().contains(T("R6201").arg(kFiles).arg(kFiles)));
        QVERIFY(!T("R6200").isEmpty() && !T("R6201").isEmpty());
        QVERIFY(!dialog->isVisible());

        // The next opening finds the summary cache: nothing to read, nothing to show.
        f.Stop();
        f.Start(lang);
        progress = f.wizard->findChild<OpeningProgress*>();
        QVERIFY(progress);
        QSignalSpy again(progress, &OpeningProgress::Reported);
        List();
        QCOMPARE(f.ui->lvVisa->Count(), kFiles / 15);
        QCOMPARE(again.size(), 0);
        QVERIFY(!progress->Dialog());
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardOpening)
#include "test_wizard_opening.moc"
