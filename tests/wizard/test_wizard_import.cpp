// The import list: the calendar's appointments of the range, ours in blue and others in red,
// then an import of them through the transfer run.
#include "WizardFixture.h"
#include "support/Gui.h"
#include "calendar/Calendar.h"
#include "platform/Locale.h"
#include "wizard/PlanumFields.h"
#include "wizard/frmAvslutning.h"

#include <QLabel>
#include <QHeaderView>
#include <QTest>
#include <QScopeGuard>
#include <QTimer>
#include <functional>

using namespace vb;
using testenv::T;

namespace {
const QDate kDay(2026, 11, 16);

void Write(const QDateTime& start, const QDateTime& end, const QString& subject, const QString& marker)
{
    if (QTest::currentTestFailed())
        return;
    bool ok = false;
    COutLook calendar(nullptr, ok);
    AppointmentRec rec;
    rec.Start = FormatShortDateTime(start);
    rec.End = FormatShortDateTime(end);
    rec.Subject = subject;
    rec.Body = subject + QStringLiteral(" text");
    rec.Location = QStringLiteral("Rum 1");
    rec.BillingInformation = marker;
    QVERIFY(calendar.NewAppointment(rec));
}
booking::DBPost Booking(qint32 resource, const QDateTime& start, const QDateTime& end, const QString& note)
{
    booking::DBPost post;
    post.PersonID(resource);
    post.StartTid(start);
    post.SlutTid(end);
    post.Status(1);
    post.Notering(note);
    return post;
}

// The appointment with this subject, as the running calendar holds it now.
cal::Item Appointment(const QString& subject)
{
    const auto app = cal::Application::GetRunning();
    if (!app)
        return {};
    cal::Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items();
    return items.Find(QStringLiteral("[Subject] = \"") + subject + QLatin1Char('"'));
}
} // namespace

class TestWizardImport : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    void List(bool onlyOurs = false, QRadioButton* type = nullptr)
    {
        frmWizard* w = f.wizard;
        f.UseNewDatabase();
        testenv::Click(f.ui->optImport);
        (type ? type : f.ui->optKalender)->setChecked(true);
        f.ui->chkPlanumBokningar->setChecked(onlyOurs);
        f.ui->dtpStartTid->setDateTime(QDateTime(kDay, QTime(12, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(kDay, QTime(12, 0)));
        w->FyllLista();
    }
    QStringList Subjects() const
    {
        QStringList subjects;
        for (int i = 1; i <= f.ui->lvVisa->Count(); ++i)
            subjects << f.ui->lvVisa->Item(i)->SubItem(3);
        return subjects;
    }

    static void Click(QListWidget* list, QListWidgetItem* item)
    {
        QVERIFY(item);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }
    // A database with one resource and the given bookings, made the one in use.
    qint32 Database(const QList<booking::DBPost>& posts, QList<qint32>* numbers = nullptr)
    {
        const QString db = f.UseNewDatabase();
        booking::DBFunk funk;
        testenv::OpenTestDatabase(funk, db);
        booking::BulkWriter writer(funk);
        const qint32 resource = writer.AddResource(QStringLiteral("Sal"), QStringLiteral("A"), QStringLiteral("Lund"));
        for (booking::DBPost post : posts) {
            post.PersonID(resource);
            const qint32 n = writer.AddBooking(post);
            if (numbers)
                *numbers << n;
        }
        writer.Commit();
        return resource;
    }
    qint64 BookingCount()
    {
        booking::DBFunk funk;
        testenv::OpenTestDatabase(funk, gsDataBas);
        return funk.AntalBokningar();
    }
    // Import over kDay through the steps as a person goes: Next, tick every row, Next, the
    // resource and status, Next, Notering from the subject.
    void ToMappingStep(const std::function<void()>& atResourceStep = {})
    {
        QTest::mouseClick(f.ui->optImport, Qt::LeftButton);
        f.ui->dtpStartTid->setDateTime(QDateTime(kDay, QTime(0, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(kDay, QTime(0, 0)));
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 1);
        QTest::mouseClick(f.ui->cmdAlla[1], Qt::LeftButton);
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 2);
        f.ui->lstResurser->setCurrentRow(0);
        testenv::ClickRow(f.ui->lvwStatus, f.ui->lvwStatus->ItemByKey(QStringLiteral("K1")));
        if (atResourceStep)
            atResourceStep();
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 3);
        Click(f.ui->lstFält, f.ui->lstFält->findItems(VisatFältNamn(QStringLiteral("Notering")), Qt::MatchExactly).value(0));
        Click(f.ui->lstOutLook, f.ui->lstOutLook->findItems(T("R2298"), Qt::MatchExactly).value(0));
        QTest::mouseClick(f.ui->cmdLäggTill, Qt::LeftButton);
        QCOMPARE(f.ui->lvKopplingar->Count(), 1);
    }
    // Presses Finish and reads the finish dialog: its text and the items it names as not done.
    QStringList Finish(QString* confirm = nullptr)
    {
        QStringList named;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<frmAvslutning*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (confirm)
                *confirm = dialog->lblConfirm->text();
            if (dialog->lstEjKlara->isVisibleTo(dialog))
                for (int i = 0; i < dialog->lstEjKlara->count(); ++i)
                    named << dialog->lstEjKlara->item(i)->text();
            dialog->cmdOK->click();
        });
        f.ui->cmdNav[3]->click();
        if (f.Step() != 4) {
            QTest::qFail("Next did not reach the finish step", __FILE__, __LINE__);
            return named;
        }
        // What the finish step said Finish would do is what it did.
        auto* plan = f.wizard->findChild<QLabel*>(QStringLiteral("lblPlan"));
        const QString planned = plan ? plan->text() : QString();
        QTest::mouseClick(f.ui->cmdNav[4], Qt::LeftButton);
        if (planned != T("R6305") + QLatin1Char(' ') + f.wizard->RäkningText())
            QTest::qFail(qPrintable(QStringLiteral("planned \"%1\", done \"%2\"").arg(planned, f.wizard->RäkningText())),
                         __FILE__, __LINE__);
        return named;
    }

private slots:
    void initTestCase() { testenv::StartProgram(); }
    void init()
    {
        static int n = 0;
        qputenv("ALMBRO_CALENDAR", (testenv::Root() + QStringLiteral("/import-calendar-%1").arg(++n)).toUtf8());
        testenv::StartProgram();
    }
    void cleanup()
    {
        // Stopped also when a box was left unasserted: the next test needs a calendar of its own.
        const auto stop = qScopeGuard([this] { f.Stop(); });
        if (f.boxes)
            ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
    }

    void oursInBlueOthersInRed()
    {
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"), QStringLiteral("12"));
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("Främmande"), QStringLiteral("ord"));
        Write(QDateTime(kDay, QTime(22, 0)), QDateTime(kDay, QTime(23, 0)), QStringLiteral("Sen"), QString());
        Write(QDateTime(kDay.addDays(1), QTime(9, 0)), QDateTime(kDay.addDays(1), QTime(10, 0)), QStringLiteral("Utanför"),
              QStringLiteral("13"));
        f.Start();
        List();
        frmWizard* w = f.wizard;
        QCOMPARE(Subjects(), (QStringList{"Vår", "Främmande", "Sen"}));
        QCOMPARE(f.ui->lvVisa->ColumnText(0), QStringLiteral("Start"));
        vb::ListItem* ours = f.ui->lvVisa->Item(1);
        QCOMPARE(ours->ForeColor(), QColor(0, 0, 255));
        QCOMPARE(ours->toolTip(0), T("R2236"));
        QCOMPARE(ours->Text(), FormatShortDate(kDay) + " " + FormatShortTime(QTime(9, 0)));
        QCOMPARE(ours->SubItem(1), FormatShortDate(kDay) + " " + FormatShortTime(QTime(10, 0)));
        QCOMPARE(ours->SubItem(2), QStringLiteral("Rum 1"));
        QCOMPARE(ours->SubItem(4), QStringLiteral("Vår text"));
        QCOMPARE(ours->toolTip(2), QString());
        vb::ListItem* theirs = f.ui->lvVisa->Item(2);
        QCOMPARE(theirs->ForeColor(), QColor(255, 0, 0));
        QCOMPARE(theirs->toolTip(0), T("R2235"));
        QCOMPARE(theirs->toolTip(1), T("R6334"));
        QCOMPARE(theirs->toolTip(3), T("R2194"));
        QCOMPARE(w->PlanumNyckel(theirs), -1);
        // A mix: "update existing" cleared and disabled.
        QVERIFY(!f.ui->chkAnvändNyckel->isChecked());
        QVERIFY(!f.ui->chkAnvändNyckel->isEnabledTo(f.ui->fraStep[2]));
        QVERIFY(!f.ui->cboResurser->isVisibleTo(w));
    }

    void onlyOurs()
    {
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"), QStringLiteral("12"));
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("Främmande"), QString());
        f.Start();
        List(true);
        QCOMPARE(Subjects(), (QStringList{"Vår"}));
        QVERIFY(f.ui->chkAnvändNyckel->isChecked());
        QVERIFY(f.ui->chkAnvändNyckel->isEnabledTo(f.ui->fraStep[2]));
    }

    void nothingToList_data()
    {
        QTest::addColumn<bool>("foreignOnly");
        QTest::addColumn<bool>("onlyOurs");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty window") << false << false << "R2214";
        QTest::newRow("only others', ours asked for") << true << true << "R2213";
    }
    void nothingToList()
    {
        QFETCH(bool, foreignOnly);
        QFETCH(bool, onlyOurs);
        QFETCH(QString, message);
        if (foreignOnly)
            Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("Främmande"), QString());
        f.Start();
        List(onlyOurs);
        QCOMPARE(f.ui->lvVisa->Count(), 0);
        QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
        ALMBRO_EXPECT_BOX(*f.boxes, T(qPrintable(message)), vbOKOnly, vbInformation, "Almbro");
        if (foreignOnly) // items were found, but the filter hid them all: the box stays set
            QVERIFY(f.ui->chkAnvändNyckel->isChecked() && f.ui->chkAnvändNyckel->isEnabledTo(f.ui->fraStep[2]));
    }

    void notesListNothing()
    {
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"), QStringLiteral("12"));
        f.Start();
        f.AddRow(QStringLiteral("kept"));
        List(false, f.ui->optNotering);
        QCOMPARE(f.ui->lvVisa->Count(), 1);
        QVERIFY(f.ui->lstResurser->count() == 0); // a new database without resources
    }

    void datesSortAsDates()
    {
        // As text, 1 Apr 2027 comes before 1 Aug 2026 and 10 Dec before 2 Dec.
        for (const QDate& day : {QDate(2027, 4, 1), QDate(2026, 8, 1), QDate(2026, 12, 10), QDate(2026, 12, 2)})
            Write(QDateTime(day, QTime(9, 0)), QDateTime(day, QTime(10, 0)), day.toString(Qt::ISODate), QString());
        f.Start();
        f.UseNewDatabase();
        QTest::mouseClick(f.ui->optImport, Qt::LeftButton);
        f.ui->dtpStartTid->setDateTime(QDateTime(QDate(2026, 7, 1), QTime(0, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(QDate(2027, 5, 1), QTime(0, 0)));
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 1);
        const QStringList ascending{"2026-08-01", "2026-12-02", "2026-12-10", "2027-04-01"};
        QCOMPARE(Subjects(), ascending);
        // A click on the Start header sorts latest first, a second one earliest first again.
        QHeaderView* header = f.ui->lvVisa->header();
        const QPoint start(header->sectionViewportPosition(0) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, start);
        QCOMPARE(Subjects(), (QStringList{"2027-04-01", "2026-12-10", "2026-12-02", "2026-08-01"}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, start);
        QCOMPARE(Subjects(), ascending);
        // The end column too.
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QCOMPARE(Subjects().first(), QStringLiteral("2027-04-01"));
    }

    void lineBreaksAreBlanks_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("LF") << "first\nsecond";
        QTest::newRow("CR LF") << "first\r\nsecond";
        QTest::newRow("CR") << "first\rsecond";
    }
    void lineBreaksAreBlanks()
    {
        QFETCH(QString, subject);
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), subject, QString());
        f.Start();
        List();
        QCOMPARE(Subjects(), (QStringList{"first second"}));
        QCOMPARE(f.ui->lvVisa->Item(1)->SubItem(4), QStringLiteral("first second text"));
    }

    void spaceTicksTheCurrentRow()
    {
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("A"), QString());
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("B"), QString());
        f.Start();
        f.UseNewDatabase();
        QTest::mouseClick(f.ui->optImport, Qt::LeftButton);
        f.ui->dtpStartTid->setDateTime(QDateTime(kDay, QTime(0, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(kDay, QTime(0, 0)));
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 1);
        f.ui->lvVisa->setFocus();
        QTest::keyClick(f.ui->lvVisa, Qt::Key_Home);
        QTest::keyClick(f.ui->lvVisa, Qt::Key_Down);
        QCOMPARE(f.ui->lvVisa->currentItem(), f.ui->lvVisa->Item(2));
        QVERIFY(!f.ui->lvVisa->Item(2)->Checked());
        QTest::keyClick(f.ui->lvVisa, Qt::Key_Space);
        QVERIFY(f.ui->lvVisa->Item(2)->Checked());
        QVERIFY(!f.ui->lvVisa->Item(1)->Checked());
        QTest::keyClick(f.ui->lvVisa, Qt::Key_Space);
        QVERIFY(!f.ui->lvVisa->Item(2)->Checked());
    }

    void statusPickedByItsCheckMark()
    {
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("Möte"), QString());
        f.Start();
        Database({});
        ToMappingStep([&] {
            QVERIFY(f.ui->lvwStatus->Count() >= 2);
            QVERIFY(f.ui->lvwStatus->Item(1)->data(0, Qt::CheckStateRole).isValid()); // the rows have check boxes
            // A click on a row's text picks it and marks it.
            vb::ListItem* first = f.ui->lvwStatus->Item(1);
            QTest::mouseClick(f.ui->lvwStatus->viewport(), Qt::LeftButton, {},
                              f.ui->lvwStatus->visualItemRect(first).center());
            QVERIFY(first->Checked());
            QCOMPARE(f.ui->lblStatusKoll->text(), first->Text());
            vb::ListItem* second = f.ui->lvwStatus->Item(2);
            f.ui->lvwStatus->setFocus();
            f.ui->lvwStatus->setCurrentItem(second);
            QTest::keyClick(f.ui->lvwStatus, Qt::Key_Space);
            QVERIFY(second->Checked());
            int marked = 0;
            for (int i = 1; i <= f.ui->lvwStatus->Count(); ++i)
                marked += f.ui->lvwStatus->Item(i)->Checked() ? 1 : 0;
            QCOMPARE(marked, 1);
            QCOMPARE(f.ui->lblStatusKoll->text(), second->Text());
        });
    }

    // A foreign appointment imported through the steps as a person goes, with a status other
    // than the first; Finish then stays off until the steps are gone through again.
    void importedAsANewBookingAndFinishStaysOff()
    {
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 30)), QStringLiteral("Kundmöte"), QString());
        f.Start();
        const qint32 resource = Database({});
        ToMappingStep([&] { testenv::ClickRow(f.ui->lvwStatus, f.ui->lvwStatus->ItemByKey(QStringLiteral("K2"))); });
        Finish();
        QCOMPARE(gsBekräftelse, QStringLiteral("1 / 1 ") + T("R2147"));
        QCOMPARE(BookingCount(), 1);
        {
            booking::DBFunk funk;
            testenv::OpenTestDatabase(funk, gsDataBas);
            booking::Recordset set =
                funk.HämtaPoster(QStringLiteral("2026-11-16 00:00"), QStringLiteral("2026-11-16 23:59"), resource);
            QCOMPARE(set.RecordCount(), 1);
            const booking::DBPost post = *funk.HämtaPost(set[QStringLiteral("Nyckel")].toInt());
            QCOMPARE(post.Notering(), QStringLiteral("Kundmöte"));
            QCOMPARE(post.Status(), 2);
            QCOMPARE(post.StartTid(), QDateTime(kDay, QTime(11, 0)));
            QCOMPARE(post.SlutTid(), QDateTime(kDay, QTime(12, 30)));
            QCOMPARE(post.ExtraPersonID(), resource);
            QCOMPARE(post.Minuter(), 90.0);
        }
        QVERIFY(!f.ui->cmdNav[4]->isEnabled());
        // Enter and a second click do nothing.
        QTest::keyClick(f.ui->cboProfiler[1], Qt::Key_Return);
        QTest::mouseClick(f.ui->cmdNav[4], Qt::LeftButton);
        QCOMPARE(BookingCount(), 1);
        // Back to the mapping step and forward again: a new run may start.
        QTest::mouseClick(f.ui->cmdNav[2], Qt::LeftButton);
        QCOMPARE(f.Step(), 3);
        QTest::mouseClick(f.ui->cmdNav[3], Qt::LeftButton);
        QCOMPARE(f.Step(), 4);
        QVERIFY(f.ui->cmdNav[4]->isEnabled());
    }

    void mixedWindowLinksTheNewBookingAndNamesTheRefusedCopy()
    {
        f.Start();
        QList<qint32> numbers;
        Database({Booking(0, QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"))}, &numbers);
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"),
              QString::number(numbers[0]));
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("Främmande"), QString());
        ToMappingStep();
        // Not every row came from Planum: "update existing" cleared and disabled, as before.
        QVERIFY(!f.ui->chkAnvändNyckel->isChecked());
        QVERIFY(!f.ui->chkAnvändNyckel->isEnabledTo(f.ui->fraStep[2]));
        QString confirm;
        const QStringList named = Finish(&confirm);

        // The foreign appointment became a booking and carries its number now.
        QCOMPARE(BookingCount(), 2);
        const cal::Item linked = Appointment(QStringLiteral("Främmande"));
        QVERIFY(linked);
        const QString number = linked.BillingInformation();
        QVERIFY(number.toInt() > numbers[0]);
        QCOMPARE(linked.Mileage(), number);
        QCOMPARE(linked.ReminderSoundFile(), number);
        QCOMPARE(linked.Start(), QDateTime(kDay, QTime(11, 0)));
        QCOMPARE(linked.Body(), QStringLiteral("Främmande text"));
        // Ours, with the box clear, is copied as a new booking, which the component refuses as a
        // clash with the booking it came from: named, not silent.
        QCOMPARE(gsBekräftelse, QStringLiteral("1 / 2 ") + T("R2147"));
        QCOMPARE(named, QStringList{QStringLiteral("'Vår' ") + FormatShortDate(kDay) + QLatin1Char(' ') +
                                    FormatShortTime(QTime(9, 0)) + QStringLiteral(": ") + T("R6003")});
        QVERIFY2(confirm.endsWith(QStringLiteral("\r\n1 ") + T("R6001")), qPrintable(confirm));
    }

    void clashes_data()
    {
        QTest::addColumn<bool>("updateExisting");
        QTest::addColumn<bool>("overlaps");
        QTest::addColumn<qint64>("bookings");
        QTest::addColumn<bool>("refused");
        QTest::newRow("update existing: saved all the same") << true << false << qint64(2) << false;
        QTest::newRow("a copy, overlaps not allowed: refused") << false << false << qint64(2) << true;
        QTest::newRow("a copy, overlaps allowed: saved") << false << true << qint64(3) << false;
    }
    void clashes()
    {
        QFETCH(bool, updateExisting);
        QFETCH(bool, overlaps);
        QFETCH(qint64, bookings);
        QFETCH(bool, refused);
        f.Start();
        QList<qint32> numbers;
        Database({Booking(0, QDateTime(kDay, QTime(8, 0)), QDateTime(kDay, QTime(9, 0)), QStringLiteral("Vår")),
                  Booking(0, QDateTime(kDay, QTime(9, 30)), QDateTime(kDay, QTime(10, 30)), QStringLiteral("Annan"))},
                 &numbers);
        // Moved in the calendar onto the other booking's time. Only one marker field is left, so
        // the subject is joined to the note rather than replacing it.
        Write(QDateTime(kDay, QTime(9, 45)), QDateTime(kDay, QTime(10, 15)), QStringLiteral("Flyttad"),
              QString::number(numbers[0]));
        ToMappingStep([&] {
            QVERIFY(f.ui->chkAnvändNyckel->isChecked() && f.ui->chkAnvändNyckel->isEnabled());
            if (!updateExisting)
                QTest::mouseClick(f.ui->chkAnvändNyckel, Qt::LeftButton, {}, QPoint(8, f.ui->chkAnvändNyckel->height() / 2));
            if (overlaps)
                QTest::mouseClick(f.ui->chkOverLapp, Qt::LeftButton, {}, QPoint(8, f.ui->chkOverLapp->height() / 2));
        });
        QCOMPARE(f.ui->chkAnvändNyckel->isChecked(), updateExisting);
        QCOMPARE(f.ui->chkOverLapp->isChecked(), overlaps);
        const QStringList named = Finish();
        if (refused) {
            QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
            ALMBRO_EXPECT_BOX(*f.boxes,
                              T("R2176") + FormatGeneralDate(QDateTime(kDay, QTime(9, 45))) + "' " + T("R2148") +
                                  "'Vår, Flyttad' " + T("R2149") + "'Sal A'.\r\n\r\n" + T("R2250"),
                              vbOKOnly, vbExclamation, T("R2305") + "  " + T("R2307"));
            QCOMPARE(gsBekräftelse, QStringLiteral("0 / 1 ") + T("R2147"));
            QCOMPARE(named.size(), 1);
            QVERIFY(named[0].endsWith(T("R6003")));
        } else {
            QCOMPARE(gsBekräftelse, QStringLiteral("1 / 1 ") + T("R2147"));
            QCOMPARE(named, QStringList());
        }
        QCOMPARE(BookingCount(), bookings);
        booking::DBFunk funk;
        testenv::OpenTestDatabase(funk, gsDataBas);
        // Updating moves the booking itself; anything else leaves it where it was.
        const booking::DBPost moved = *funk.HämtaPost(numbers[0]);
        QCOMPARE(moved.StartTid(), QDateTime(kDay, updateExisting ? QTime(9, 45) : QTime(8, 0)));
        QCOMPARE(moved.SlutTid(), QDateTime(kDay, updateExisting ? QTime(10, 15) : QTime(9, 0)));
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardImport)
#include "test_wizard_import.moc"
