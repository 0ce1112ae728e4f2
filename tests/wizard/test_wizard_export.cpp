// Export from end to end through the real wizard: a seeded booking database, an empty calendar,
// the item list, the mapping, Finish; then the same export again after a booking changed.
#include "WizardFixture.h"
#include "support/Gui.h"
#include "booking/BulkWriter.h"
#include "planumdb/Seed.h"
#include "platform/ControlType.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "ui/clsListView.h"
#include "wizard/PlanumFields.h"
#include "wizard/frmAvslutning.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace vb;
using testenv::T;

namespace {
// Answers the next finish dialog, ticking "close the wizard" or not.
std::shared_ptr<bool> AnswerFinishDialog(bool closeWizard)
{
    return testenv::WhenModal<frmAvslutning>([closeWizard](frmAvslutning* dialog) {
        dialog->chkSlut->setChecked(closeWizard);
        testenv::Click(dialog->cmdOK);
    });
}

// Bookings all on one day, one resource, one hour each.
void AddBookings(const QString& path, int count, const QDate& day)
{
    booking::DBFunk db;
    QCOMPARE(db.ÖppnaDatabas(path, 0, 0), 1);
    booking::BulkWriter writer(db);
    const qint32 person = writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Lund"));
    for (int i = 0; i < count; ++i) {
        booking::DBPost post;
        post.PersonID(person);
        post.StartTid(QDateTime(day, QTime(8, 0)).addSecs(60 * (i % 600)));
        post.SlutTid(post.StartTid().addSecs(3600));
        post.Notering(QStringLiteral("Bokning %1").arg(i));
        writer.AddBooking(post);
    }
    writer.Commit();
}
} // namespace

class TestWizardExport : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;
    QString m_db;
    QDate m_monday;

    void ChooseExport(const QDate& from, const QDate& to)
    {
        testenv::Click(f.ui->optExport);
        f.ui->dtpStartTid->setDateTime(QDateTime(from, QTime(0, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(to, QTime(23, 0)));
    }
    void Map(const QString& planum, const char* outlookId)
    {
        testenv::ClickItem(f.ui->lstFält, VisatFältNamn(planum));
        testenv::ClickItem(f.ui->lstOutLook, T(outlookId));
        QVERIFY(f.ui->lstFält->currentRow() >= 0 && f.ui->lstOutLook->currentRow() >= 0);
        testenv::Click(f.ui->cmdLäggTill);
    }
    // From the item step: every row ticked, the note as the subject, on to the finish step.
    void TickAllToFinishStep()
    {
        QTest::mouseClick(f.ui->cmdAlla[1], Qt::LeftButton);
        f.ui->cmdNav[3]->click();
        Map(QStringLiteral("Notering"), "R2298");
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 4);
    }
    // Finish, and the finish dialog answered.
    void Finish() const
    {
        const auto answered = AnswerFinishDialog(false);
        testenv::Click(f.ui->cmdNav[4]);
        QTRY_VERIFY(*answered);
    }

private slots:
    void initTestCase() { testenv::StartProgram(); }
    void init()
    {
        static int n = 0;
        ++n;
        testenv::StartProgram();
        QFile::remove(gsIniFil);
        qputenv("ALMBRO_CALENDAR", (testenv::Root() + QStringLiteral("/calendar-%1").arg(n)).toUtf8());
        m_db = testenv::Root() + QStringLiteral("/export-%1.db").arg(n);
        booking::DBFunk::SkapaDatabas(m_db);
        m_monday = planumdb::MondayOf(QDate::currentDate());
        f.Start();
        gsDataBas = m_db;
        f.ui->txtDB->setText(m_db);
    }
    void cleanup()
    {
        ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
    }

    void exportsTickedBookingsAndUpdatesThemLater()
    {
        {
            booking::DBFunk db;
            QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
            planumdb::SeedOptions options;
            options.resources = 4;
            options.bookings = 40;
            options.from = m_monday;
            options.days = 7;
            options.seed = 3;
            planumdb::Seed(db, options);
        }
        frmWizard* w = f.wizard;
        ChooseExport(m_monday, m_monday.addDays(6));
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 1);
        const int listed = f.ui->lvVisa->Count();
        QVERIFY(listed >= 30);
        QCOMPARE(f.ui->cboResurser->count(), 5);
        QCOMPARE(f.ui->cboResurser->itemData(0).toInt(), -99);
        QCOMPARE(f.ui->cboResurser->itemText(0), T("R2160"));
        for (int i = 1; i <= listed; ++i)
            QVERIFY(!f.ui->lvVisa->Item(i)->Checked());

        // Tick all with the button, then clear two by hand.
        f.ui->cmdAlla[1]->click();
        f.ui->lvVisa->Item(2)->SetChecked(false);
        f.ui->lvVisa->Item(5)->SetChecked(false);
        const int ticked = listed - 2;

        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 3);
        Map(QStringLiteral("Kundnamn"), "R2298");
        Map(QStringLiteral("Notering"), "R2267");
        Map(QStringLiteral("Leveransadress"), "R2234");
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 4);
        // The finish step says what Finish will do; the run then does just that.
        const auto counts = [](int created, int updated, int unchanged, int refused) {
            return T("R6300").arg(created).arg(updated).arg(unchanged).arg(refused);
        };
        auto* plan = w->findChild<QLabel*>(QStringLiteral("lblPlan"));
        QVERIFY(plan && plan->isVisibleTo(w));
        QCOMPARE(plan->text(), T("R6305") + QLatin1Char(' ') + counts(ticked, 0, 0, 0));
        QVERIFY(w->Kalender()->GetAllAppointments().isEmpty()); // the plan wrote nothing

        Finish();
        const QString summary = QStringLiteral("%1 / %1 ").arg(ticked) + T("R2146");
        QCOMPARE(gsBekräftelse, summary);
        QCOMPARE(w->RäkningText(), counts(ticked, 0, 0, 0));
        QCOMPARE(f.Step(), 4);

        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(m_db, 0, 0), 1);
        auto check = [&](int expectedCount) {
            const QList<cal::Item> items = w->Kalender()->GetAllAppointments();
            QCOMPARE(int(items.size()), expectedCount);
            for (int i = 1; i <= listed; ++i) {
                vb::ListItem* row = f.ui->lvVisa->Item(i);
                const QString nyckel = row->Key().mid(1);
                const cal::Item* found = nullptr;
                for (const cal::Item& item : items)
                    if (item.BillingInformation() == nyckel)
                        found = &item;
                QCOMPARE(found != nullptr, row->Checked());
                if (!found)
                    continue;
                const booking::DBPost post = *db.HämtaPost(nyckel.toInt());
                QCOMPARE(found->Subject(),
                         post.Kundnamn().isEmpty() ? QStringLiteral("<Ej angiven>") : post.Kundnamn());
                // The calendar hands bodies out with CR LF line ends, as the desktop client did.
                QCOMPARE(found->Body().replace("\r\n", "\n"), post.Notering().replace("\r\n", "\n"));
                QCOMPARE(found->Location(), post.Leveransadress());
                QCOMPARE(found->Get(QStringLiteral("Start")).toDateTime(), post.StartTid());
                QCOMPARE(found->Get(QStringLiteral("End")).toDateTime(), post.SlutTid());
                QCOMPARE(found->Mileage(), nyckel);
                QCOMPARE(found->ReminderSoundFile(), nyckel);
            }
        };
        check(ticked);

        // A booking changes; the same export updates its appointment and adds none.
        booking::DBPost changed = *db.HämtaPost(f.ui->lvVisa->Item(1)->Key().mid(1).toInt());
        changed.Kundnamn(QStringLiteral("Ändrad Kund AB"));
        changed.SlutTid(changed.SlutTid().addSecs(1800));
        qint32 number = 0, result = -1;
        db.SparaPost(changed, false, number, result);
        QCOMPARE(result, 0);
        // Finish is off after a run; back to the mapping step and forward turns it on again.
        QVERIFY(!f.ui->cmdNav[4]->isEnabled());
        f.ui->cmdNav[2]->click();
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.Step(), 4);
        QCOMPARE(plan->text(), T("R6305") + QLatin1Char(' ') + counts(0, 1, ticked - 1, 0));
        QVERIFY2(plan->toolTip().contains(T("R6302") + QStringLiteral(": ") + T("R6002") + QLatin1Char(' ') +
                                          QString::number(changed.Nyckel()) + QStringLiteral(": ") + T("R2298") +
                                          QStringLiteral(", ") + T("R6327")),
                 qPrintable(plan->toolTip()));
        Finish();
        QCOMPARE(gsBekräftelse, summary);
        QCOMPARE(w->RäkningText(), counts(0, 1, ticked - 1, 0));
        check(ticked);
    }

    // Another run writes a booking's appointment while this wizard shows its list: the transfer
    // reads the calendar afresh and updates that appointment instead of making a second one.
    void appointmentWrittenMeanwhileIsUpdatedNotDoubled()
    {
        AddBookings(m_db, 3, m_monday);
        frmWizard* w = f.wizard;
        ChooseExport(m_monday, m_monday);
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.ui->lvVisa->Count(), 3);
        // The session has read the calendar (empty) before the other run writes.
        QVERIFY(w->Kalender()->GetAllAppointments().isEmpty());
        const QString nyckel = f.ui->lvVisa->Item(2)->Key().mid(1);
        const QString folder = w->Kalender()->Plats() + QStringLiteral("/Calendar");
        QVERIFY(QDir().mkpath(folder));
        const QString uid = QStringLiteral("almbro-%1-4f1c2a7e-other-run").arg(nyckel);
        {
            QFile file(folder + QLatin1Char('/') + uid + QStringLiteral(".ics"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QString day = m_monday.toString(QStringLiteral("yyyyMMdd"));
            file.write(QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other run//EN\r\n"
                                      "BEGIN:VEVENT\r\nUID:%1\r\nDTSTAMP:%2T050000Z\r\n"
                                      "DTSTART:%2T060000\r\nDTEND:%2T070000\r\nSUMMARY:Written meanwhile\r\n"
                                      "X-ALMBRO-BILLINGINFORMATION:%3\r\nX-ALMBRO-MILEAGE:%3\r\n"
                                      "X-ALMBRO-REMINDERSOUNDFILE:%3\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                           .arg(uid, day, nyckel)
                           .toUtf8());
        }
        TickAllToFinishStep();
        Finish();
        QCOMPARE(gsBekräftelse, QStringLiteral("3 / 3 ") + T("R2146"));

        // Three files, one per booking; the other run's file is the booking's, rewritten.
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.ics")}, QDir::Files);
        QCOMPARE(files.size(), 3);
        QVERIFY(files.contains(uid + QStringLiteral(".ics")));
        int carrying = 0;
        for (const QString& name : files) {
            QFile file(folder + QLatin1Char('/') + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            if (text.contains("X-ALMBRO-BILLINGINFORMATION:" + nyckel.toUtf8())) {
                ++carrying;
                QVERIFY(!text.contains("Written meanwhile"));
            }
        }
        QCOMPARE(carrying, 1);
    }

    void stopEndsTheRunBetweenItems()
    {
        AddBookings(m_db, 20, m_monday);
        frmWizard* w = f.wizard;
        ChooseExport(m_monday, m_monday);
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.ui->lvVisa->Count(), 20);
        TickAllToFinishStep();

        // Stop is pressed while the dialog shows the eighth item.
        const int stopAt = 7;
        int seenTotal = -1;
        QString seenLabel;
        QTimer stopper;
        stopper.setInterval(0);
        connect(&stopper, &QTimer::timeout, this, [&] {
            auto* progress = w->findChild<QProgressDialog*>(QStringLiteral("dlgProgress"));
            if (!progress || !progress->isVisible() || progress->value() < stopAt)
                return;
            stopper.stop();
            seenTotal = progress->maximum();
            seenLabel = progress->labelText();
            auto* stop = progress->findChild<QPushButton*>();
            QVERIFY(stop);
            QCOMPARE(stop->text(), T("R6103"));
            QTest::mouseClick(stop, Qt::LeftButton);
        });
        stopper.start();
        QStringList notDone;
        QString confirm;
        std::function<void()> attempt;
        attempt = [&] {
            auto* dialog = qobject_cast<frmAvslutning*>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(10, attempt);
                return;
            }
            for (int i = 0; i < dialog->lstEjKlara->count(); ++i)
                notDone << dialog->lstEjKlara->item(i)->text();
            confirm = dialog->lblConfirm->text();
            dialog->cmdOK->click();
        };
        QTimer::singleShot(10, attempt);
        QTest::mouseClick(f.ui->cmdNav[4], Qt::LeftButton);

        QCOMPARE(seenTotal, 20);
        QVERIFY2(seenLabel.contains(T("R6104").arg(stopAt + 1).arg(20).arg(QString())), qPrintable(seenLabel));
        // What the summary counts is what the calendar holds.
        QCOMPARE(int(w->Kalender()->GetAllAppointments().size()), stopAt);
        QCOMPARE(gsBekräftelse, QStringLiteral("%1 / %1 ").arg(stopAt) + T("R2146"));
        QCOMPARE(notDone, QStringList{T("R6105").arg(stopAt).arg(20).arg(20 - stopAt)});
        // The finish dialog names the calendar written to.
        QVERIFY2(confirm.contains(QStringLiteral("\r\n") + T("R6108").arg(w->Kalender()->Plats()) + QStringLiteral("\r\n")),
                 qPrintable(confirm));
        QVERIFY(!w->findChild<QProgressDialog*>(QStringLiteral("dlgProgress")));
    }

    void reminderAndBusyStatus_data()
    {
        QTest::addColumn<QString>("reminder");
        QTest::addColumn<QString>("busy");
        QTest::addColumn<bool>("reminderSet");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("busyStatus");
        QTest::newRow("no keys: at the start, free") << "" << "" << true << 0 << int(cal::olFree);
        QTest::newRow("15 minutes, busy") << "15" << "2" << true << 15 << int(cal::olBusy);
        QTest::newRow("none, tentative") << "-1" << "1" << false << 0 << int(cal::olTentative);
        QTest::newRow("out of office; beyond the range") << "" << "9" << true << 0 << int(cal::olOutOfOffice);
    }
    void reminderAndBusyStatus()
    {
        QFETCH(QString, reminder);
        QFETCH(QString, busy);
        QFETCH(bool, reminderSet);
        QFETCH(int, minutes);
        QFETCH(int, busyStatus);
        if (!reminder.isEmpty())
            WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Paminnelse"), reminder, gsIniFil);
        if (!busy.isEmpty())
            WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Upptagen"), busy, gsIniFil);
        AddBookings(m_db, 1, m_monday);
        frmWizard* w = f.wizard;
        ChooseExport(m_monday, m_monday);
        f.ui->cmdNav[3]->click();
        TickAllToFinishStep();
        Finish();
        const QList<cal::Item> items = w->Kalender()->GetAllAppointments();
        QCOMPARE(int(items.size()), 1);
        QCOMPARE(items[0].ReminderSet(), reminderSet);
        if (reminderSet)
            QCOMPARE(items[0].ReminderMinutesBeforeStart(), minutes);
        QCOMPARE(items[0].BusyStatus(), busyStatus);
    }

    void resourceFilterAndNoteRule()
    {
        const qint32 other = [&] {
            booking::DBFunk db;
            testenv::OpenTestDatabase(db, m_db);
            booking::BulkWriter writer(db);
            const qint32 named =
                writer.AddResource(QStringLiteral("Bil"), QStringLiteral("Ett"), QStringLiteral("Garage"));
            const qint32 nameless = writer.AddResource(QString(), QString(), QString());
            const QStringList notes = {QStringLiteral("\"Citerad\""), QStringLiteral("rad ett\r\nrad två"),
                                       QStringLiteral("\""), QStringLiteral("\"inne\" och\nute")};
            for (int i = 0; i < notes.size(); ++i) {
                booking::DBPost post;
                post.PersonID(i % 2 ? nameless : named);
                post.StartTid(QDateTime(m_monday, QTime(8 + i, 0)));
                post.SlutTid(QDateTime(m_monday, QTime(8 + i, 30)));
                post.Notering(notes[i]);
                writer.AddBooking(post);
            }
            writer.Commit();
            return named;
        }();
        ChooseExport(m_monday, m_monday);
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.ui->lvVisa->Count(), 4);
        QStringList notes, resources;
        for (int i = 1; i <= 4; ++i) {
            vb::ListItem* row = f.ui->lvVisa->Item(i);
            notes << row->SubItemByKey(QStringLiteral("Notering"));
            resources << row->SubItemByKey(QStringLiteral("Resurs"));
            QCOMPARE(row->Text(),
                     FormatShortDate(m_monday) + QLatin1Char(' ') + FormatShortTime(QTime(8 + i - 1, 0)));
            QCOMPARE(row->SubItemByKey(QStringLiteral("Sluttid")),
                     FormatShortDate(m_monday) + QLatin1Char(' ') + FormatShortTime(QTime(8 + i - 1, 30)));
        }
        QCOMPARE(notes, (QStringList{"Citerad", "rad ett rad två", "\"", "\"inne\" och ute"}));
        QCOMPARE(resources, (QStringList{"Bil Ett", T("R2162"), "Bil Ett", T("R2162")}));

        // Only one resource's bookings.
        testenv::Pick(f.ui->cboResurser, f.ui->cboResurser->findData(other));
        QCOMPARE(f.ui->lvVisa->Count(), 2);
        // Sorting: every header click flips the one order flag, first to descending.
        testenv::ClickHeader(f.ui->lvVisa, 3);
        QCOMPARE(f.ui->lvVisa->Item(1)->SubItem(3), QStringLiteral("Citerad"));
        testenv::ClickHeader(f.ui->lvVisa, 0);
        QCOMPARE(f.ui->lvVisa->Item(1)->Text(),
                 FormatShortDate(m_monday) + QLatin1Char(' ') + FormatShortTime(QTime(8, 0)));
    }

    void emptyRangeAndUnopenableDatabase()
    {
        ChooseExport(m_monday.addDays(-30), m_monday.addDays(-29));
        f.ui->cmdNav[3]->click();
        QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2212"), vbOKOnly, vbInformation, "Almbro");
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2215"), vbOKOnly, vbExclamation, "Almbro");
        QCOMPARE(f.Step(), 0);

        // A file that is not a booking database: R0722, and the file is left as it was.
        const QString text = testenv::Root() + QStringLiteral("/notes.txt");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a database\n");
        file.close();
        gsDataBas = text;
        f.ui->txtDB->setText(text);
        f.ui->cmdNav[3]->click();
        ALMBRO_EXPECT_BOX(*f.boxes, T("R0722"), vbOKOnly, vbExclamation, "Almbro");
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2215"), vbOKOnly, vbExclamation, "Almbro");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not a database\n"));
    }

    void largeResultQuestion_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("rows");
        QTest::newRow("500: no question") << 500 << 0 << 500;
        QTest::newRow("501, Yes: stop") << 501 << int(vbYes) << 0;
        QTest::newRow("501, No: list them all") << 501 << int(vbNo) << 501;
    }
    void largeResultQuestion()
    {
        QFETCH(int, count);
        QFETCH(int, answer);
        QFETCH(int, rows);
        AddBookings(m_db, count, m_monday);
        frmWizard* w = f.wizard;
        ChooseExport(m_monday, m_monday);
        if (answer)
            f.boxes->Answer(answer);
        w->FyllLista();
        if (answer)
            ALMBRO_EXPECT_BOX(*f.boxes, T("R0748") + " " + FormatThousands(count) + T("R3211") + "\r\n" + T("R2282"),
                              vbYesNo, vbQuestion, "Almbro");
        QCOMPARE(f.ui->lvVisa->Count(), rows);
    }

    void statusList_data()
    {
        QTest::addColumn<int>("profileStatus");
        QTest::addColumn<QString>("picked");
        QTest::newRow("no profile status") << -1 << "";
        QTest::newRow("status 3") << 3 << "Avbokad";
        QTest::newRow("a number without a status") << 42 << "";
    }
    void statusList()
    {
        QFETCH(int, profileStatus);
        QFETCH(QString, picked);
        frmWizard* w = f.wizard;
        testenv::Click(f.ui->optImport);
        f.ui->optNotering->setChecked(true); // notes list nothing: no message about an empty calendar
        w->FyllLista(); // opens the lists' connection
        glStatus = profileStatus;
        const QString before = f.ui->lblStatusKoll->text();
        clsListView lister;
        lister.SetListView(f.ui->lvwStatus);
        w->FyllStatus(&lister);
        // The default statuses above -1, in their order, keyed "K" and the number.
        QStringList keys;
        for (int i = 1; i <= f.ui->lvwStatus->Count(); ++i)
            keys << f.ui->lvwStatus->Item(i)->Key();
        QCOMPARE(keys, (QStringList{"K0", "K1", "K2", "K3", "K4", "K5"}));
        for (int i = 1; i <= f.ui->lvwStatus->Count(); ++i)
            QVERIFY(!f.ui->lvwStatus->Item(i)->Tag().isEmpty());
        QVERIFY(!lister.Image().isNull());
        int checkedRows = 0;
        for (int i = 1; i <= f.ui->lvwStatus->Count(); ++i)
            checkedRows += f.ui->lvwStatus->Item(i)->Checked();
        if (picked.isEmpty()) {
            QCOMPARE(f.ui->lblStatusKoll->text(), before);
            QCOMPARE(checkedRows, 0);
        } else {
            QCOMPARE(f.ui->lblStatusKoll->text(), picked);
            QCOMPARE(vb::Tag(f.ui->lblStatusKoll), QStringLiteral("K3"));
            QCOMPARE(checkedRows, 1);
            QCOMPARE(f.ui->lvwStatus->SelectedItem()->Key(), QStringLiteral("K3"));
        }
        // Filled once: a second call changes nothing.
        f.ui->lvwStatus->Item(1)->SetText(QStringLiteral("kept"));
        w->FyllStatus(&lister);
        QCOMPARE(f.ui->lvwStatus->Item(1)->Text(), QStringLiteral("kept"));
    }

    void ctrlAOnlyOnTheItemStep()
    {
        AddBookings(m_db, 2, m_monday);
        ChooseExport(m_monday, m_monday);
        vb::ListView* list = f.ui->lvVisa;
        f.Next();
        f.Previous(); // the rows stay, on a step where Ctrl+A means nothing
        QTest::keyClick(f.ui->cboProfiler[0], Qt::Key_A, Qt::ControlModifier);
        QVERIFY(!list->Item(1)->Checked());
        f.Next();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(list->Item(1)->Checked() && list->Item(2)->Checked());
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!list->Item(1)->Checked() && !list->Item(2)->Checked());
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardExport)
#include "test_wizard_export.moc"
