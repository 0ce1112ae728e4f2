// The import list: the calendar's appointments of the range, ours in blue and others in red,
// then an import of them through the transfer run.
#include "WizardFixture.h"
#include "platform/Locale.h"

#include <QTest>

using namespace vb;
using testenv::T;

namespace {
const QDate kDay(2026, 11, 16);

void Write(const QDateTime& start, const QDateTime& end, const QString& subject, const QString& marker)
{
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
} // namespace

class TestWizardImport : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    void List(bool onlyOurs = false, QRadioButton* type = nullptr)
    {
        frmWizard* w = f.wizard;
        f.UseNewDatabase();
        w->optImport->setChecked(true);
        w->optImport_Click();
        (type ? type : w->optKalender)->setChecked(true);
        w->chkPlanumBokningar->setChecked(onlyOurs);
        w->dtpStartTid->setDateTime(QDateTime(kDay, QTime(12, 0)));
        w->dtpSlutTid->setDateTime(QDateTime(kDay, QTime(12, 0)));
        w->FyllLista();
    }
    QStringList Subjects() const
    {
        QStringList subjects;
        for (int i = 1; i <= f.wizard->lvVisa->Count(); ++i)
            subjects << f.wizard->lvVisa->Item(i)->SubItem(3);
        return subjects;
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
        if (f.boxes)
            ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
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
        QCOMPARE(w->lvVisa->ColumnText(0), QStringLiteral("Start"));
        vb::ListItem* ours = w->lvVisa->Item(1);
        QCOMPARE(ours->ForeColor(), QColor(0, 0, 255));
        QCOMPARE(ours->toolTip(0), T("R2236"));
        QCOMPARE(ours->Text(), FormatShortDate(kDay) + " " + FormatShortTime(QTime(9, 0)));
        QCOMPARE(ours->SubItem(1), FormatShortDate(kDay) + " " + FormatShortTime(QTime(10, 0)));
        QCOMPARE(ours->SubItem(2), QStringLiteral("Rum 1"));
        QCOMPARE(ours->SubItem(4), QStringLiteral("Vår text"));
        QCOMPARE(ours->toolTip(2), QString());
        vb::ListItem* theirs = w->lvVisa->Item(2);
        QCOMPARE(theirs->ForeColor(), QColor(255, 0, 0));
        QCOMPARE(theirs->toolTip(0), T("R2235"));
        QCOMPARE(theirs->toolTip(1), QStringLiteral("Ej från Planum!"));
        QCOMPARE(theirs->toolTip(3), T("R2194"));
        QCOMPARE(w->PlanumNyckel(theirs), -1);
        // A mix: "update existing" cleared and disabled.
        QVERIFY(!w->chkAnvändNyckel->isChecked());
        QVERIFY(!w->chkAnvändNyckel->isEnabledTo(w->fraStep[2]));
        QVERIFY(!w->cboResurser->isVisibleTo(w));
    }

    void onlyOurs()
    {
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"), QStringLiteral("12"));
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 0)), QStringLiteral("Främmande"), QString());
        f.Start();
        List(true);
        QCOMPARE(Subjects(), (QStringList{"Vår"}));
        QVERIFY(f.wizard->chkAnvändNyckel->isChecked());
        QVERIFY(f.wizard->chkAnvändNyckel->isEnabledTo(f.wizard->fraStep[2]));
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
        QCOMPARE(f.wizard->lvVisa->Count(), 0);
        QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
        ALMBRO_EXPECT_BOX(*f.boxes, T(qPrintable(message)), vbOKOnly, vbInformation, "Almbro");
        if (foreignOnly) // items were found, but the filter hid them all: the box stays set
            QVERIFY(f.wizard->chkAnvändNyckel->isChecked() && f.wizard->chkAnvändNyckel->isEnabledTo(f.wizard->fraStep[2]));
    }

    void notesListNothing()
    {
        Write(QDateTime(kDay, QTime(9, 0)), QDateTime(kDay, QTime(10, 0)), QStringLiteral("Vår"), QStringLiteral("12"));
        f.Start();
        f.AddRow(QStringLiteral("kept"));
        List(false, f.wizard->optNotering);
        QCOMPARE(f.wizard->lvVisa->Count(), 1);
        QVERIFY(f.wizard->lstResurser->count() == 0); // a new database without resources
    }

    void importedAsANewBooking()
    {
        Write(QDateTime(kDay, QTime(11, 0)), QDateTime(kDay, QTime(12, 30)), QStringLiteral("Kundmöte"), QString());
        f.Start();
        frmWizard* w = f.wizard;
        const QString db = f.UseNewDatabase();
        qint32 resource = 0;
        {
            booking::DBFunk funk;
            funk.ÖppnaDatabas(db, 0, 0);
            booking::BulkWriter writer(funk);
            resource = writer.AddResource(QStringLiteral("Sal"), QStringLiteral("A"), QStringLiteral("Lund"));
            writer.Commit();
        }
        w->optImport->setChecked(true);
        w->optImport_Click();
        w->dtpStartTid->setDateTime(QDateTime(kDay, QTime(0, 0)));
        w->dtpSlutTid->setDateTime(QDateTime(kDay, QTime(0, 0)));
        w->cmdNav[3]->click();
        QCOMPARE(f.Step(), 1);
        QCOMPARE(w->lvVisa->Count(), 1);
        QCOMPARE(w->lstResurser->count(), 1);
        w->lvVisa->Item(1)->SetChecked(true);
        w->cmdNav[3]->click();
        QCOMPARE(f.Step(), 2);
        w->lstResurser->setCurrentRow(0);
        w->lvwStatus_ItemClick(w->lvwStatus->ItemByKey(QStringLiteral("K1")));
        w->cmdNav[3]->click();
        QCOMPARE(f.Step(), 3);
        w->lstFält->setCurrentRow(w->lstFält->count() - 2); // Notering
        for (int i = 0; i < w->lstOutLook->count(); ++i)
            if (w->lstOutLook->item(i)->text() == T("R2298"))
                w->lstOutLook->setCurrentRow(i);
        w->cmdLäggTill_Click();
        QVERIFY(w->Utför());
        QCOMPARE(gsBekräftelse, QStringLiteral("1 / 1 ") + T("R2147"));
        booking::DBFunk funk;
        funk.ÖppnaDatabas(db, 0, 0);
        booking::Recordset set = funk.HämtaPoster(QStringLiteral("2026-11-16 00:00"), QStringLiteral("2026-11-16 23:59"), resource);
        QCOMPARE(set.RecordCount(), 1);
        const booking::DBPost post = *funk.HämtaPost(set[QStringLiteral("Nyckel")].toInt());
        QCOMPARE(post.Notering(), QStringLiteral("Kundmöte"));
        QCOMPARE(post.Status(), 1);
        QCOMPARE(post.StartTid(), QDateTime(kDay, QTime(11, 0)));
        QCOMPARE(post.SlutTid(), QDateTime(kDay, QTime(12, 30)));
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardImport)
#include "test_wizard_import.moc"
