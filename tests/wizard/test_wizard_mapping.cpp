// The mapping step: field lists, the add and remove buttons, serial keys, sorting.
#include "WizardFixture.h"
#include "support/Gui.h"
#include "wizard/PlanumFields.h"

#include <QTest>

using namespace vb;
using testenv::T;

class TestWizardMapping : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    // Clicks a row of each field list, as the user picks a pair.
    void Pick(int planum, int outlook)
    {
        testenv::ClickItem(f.wizard->lstFält, f.wizard->lstFält->item(planum)->text());
        testenv::ClickItem(f.wizard->lstOutLook, f.wizard->lstOutLook->item(outlook)->text());
    }
    QStringList Keys() const
    {
        QStringList keys;
        for (int i = 1; i <= f.wizard->lvKopplingar->Count(); ++i)
            keys << f.wizard->lvKopplingar->Item(i)->Key();
        return keys;
    }

private slots:
    void initTestCase() { testenv::StartProgram(); } // the texts of the data tables
    void init()
    {
        f.Start();
        f.wizard->optKalender->setChecked(true);
        f.wizard->SetStep(3, 0); // the mapping step, its controls enabled
    }
    void cleanup()
    {
        ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
    }

    void planumFields_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<bool>("import");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("shown");
        // A field goes by its booking field name in every language and shows the language's name.
        const QStringList names = {"Starttid",
                                   "Kundnamn",
                                   "Beställare",
                                   "Beställningsdatum",
                                   "Beställningsnummer",
                                   "Märke",
                                   "Dokument",
                                   "Sluttid",
                                   "Leveransadress",
                                   "Pris",
                                   "Leverans_postadress",
                                   "Notering",
                                   "Telefon"};
        const QStringList english = {"Start time",
                                     "Customer name",
                                     "Ordered by",
                                     "Order date",
                                     "Order number",
                                     "Reference",
                                     "Document",
                                     "End time",
                                     "Delivery address",
                                     "Price",
                                     "Delivery postal address",
                                     "Note",
                                     "Phone"};
        QStringList swedish = names;
        swedish[10] = QStringLiteral("Leveranspostadress");
        const auto forImport = [](QStringList fields) {
            fields.removeAt(7);
            fields.removeAt(0);
            return fields;
        };
        QTest::newRow("English, export") << "EN" << false << names << english;
        QTest::newRow("English, import") << "EN" << true << forImport(names) << forImport(english);
        QTest::newRow("Swedish, export") << "SV" << false << names << swedish;
        QTest::newRow("Swedish, import") << "SV" << true << forImport(names) << forImport(swedish);
    }
    void planumFields()
    {
        QFETCH(QString, lang);
        QFETCH(bool, import);
        QFETCH(QStringList, names);
        QFETCH(QStringList, shown);
        f.Stop();
        f.Start(lang);
        f.wizard->optKalender->setChecked(true);
        f.wizard->PlanumFält(import);
        QStringList entries, entryNames;
        for (int i = 0; i < f.wizard->lstFält->count(); ++i) {
            entries << f.wizard->lstFält->item(i)->text();
            entryNames << PlanumFältNamn(f.wizard->lstFält->item(i));
        }
        QCOMPARE(entries, shown);
        QCOMPARE(entryNames, names);
        QCOMPARE(entries.size(), import ? 11 : 13);
        // A mapping row shows the entry's text and keeps its name.
        f.wizard->OutLookFält();
        f.wizard->lstFält->setCurrentRow(1);
        f.wizard->lstOutLook->setCurrentRow(0);
        f.wizard->cmdLäggTill_Click();
        QCOMPARE(f.wizard->lvKopplingar->Item(1)->SubItem(1), shown[1]);
        QCOMPARE(PlanumFältNamn(f.wizard->lvKopplingar->Item(1)), names[1]);
        QCOMPARE(VisatFältNamn(names[1]), shown[1]);
        QCOMPARE(VisatFältNamn(QStringLiteral("Bokningsnr")), QStringLiteral("Bokningsnr"));
    }

    void outlookFieldsOnlyForTheCalendar_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("count");
        QTest::newRow("calendar") << "optKalender" << 3;
        QTest::newRow("notes") << "optNotering" << 0;
        QTest::newRow("tasks") << "optUppgifter" << 0;
    }
    void outlookFieldsOnlyForTheCalendar()
    {
        QFETCH(QString, type);
        QFETCH(int, count);
        f.wizard->findChild<QRadioButton*>(type)->setChecked(true);
        f.wizard->OutLookFält();
        QCOMPARE(f.wizard->lstOutLook->count(), count);
        if (count)
            QCOMPARE(f.wizard->lstOutLook->item(0)->text(), T("R2234"));
    }

    void addButtonFollowsBothSelections()
    {
        frmWizard* w = f.wizard;
        w->PlanumFält(false);
        QVERIFY(!w->cmdLäggTill->isEnabled());
        testenv::ClickItem(w->lstFält, w->lstFält->item(1)->text());
        QVERIFY(!w->cmdLäggTill->isEnabled());
        testenv::ClickItem(w->lstOutLook, w->lstOutLook->item(2)->text());
        QVERIFY(w->cmdLäggTill->isEnabled());
        testenv::Click(w->cmdLäggTill);
        QCOMPARE(w->lvKopplingar->Count(), 1);
        ListItem* row = w->lvKopplingar->Item(1);
        QCOMPARE(row->Key(), QStringLiteral("k0"));
        QCOMPARE(row->Text(), QStringLiteral("1"));
        QCOMPARE(row->SubItem(1), w->lstFält->item(1)->text());
        QCOMPARE(row->SubItemKey(1), QStringLiteral("Ft"));
        QCOMPARE(row->SubItem(2), T("R2267"));
        QCOMPARE(row->SubItemKey(2), QStringLiteral("bm"));
        QCOMPARE(w->lstFält->currentRow(), -1);
        QCOMPARE(w->lstOutLook->currentRow(), -1);
        QVERIFY(!w->cmdLäggTill->isEnabled());
        QVERIFY(w->cmdTaBortAlla->isEnabled());
    }

    void serialKeysAreNeverReused()
    {
        frmWizard* w = f.wizard;
        w->PlanumFält(false);
        Pick(0, 0);
        testenv::Click(w->cmdLäggTill);
        Pick(0, 0);
        testenv::Click(w->cmdLäggTill); // the same pair again: a second row
        QCOMPARE(Keys(), (QStringList{"k0", "k1"}));
        testenv::Click(w->cmdTaBortAlla);
        QCOMPARE(w->lvKopplingar->Count(), 0);
        QVERIFY(!w->cmdTaBortAlla->isEnabled());
        Pick(2, 1);
        testenv::Click(w->cmdLäggTill);
        QCOMPARE(Keys(), (QStringList{"k2"}));
    }

    void removeOne()
    {
        frmWizard* w = f.wizard;
        w->PlanumFält(false);
        for (int i = 0; i < 3; ++i) {
            Pick(i, i);
            testenv::Click(w->cmdLäggTill);
        }
        testenv::ClickRow(w->lvKopplingar, w->lvKopplingar->Item(2));
        QVERIFY(w->cmdTaBort->isEnabled());
        testenv::Click(w->cmdTaBort);
        QCOMPARE(Keys(), (QStringList{"k0", "k2"}));
        QVERIFY(!w->cmdTaBort->isEnabled());
        QVERIFY(w->cmdTaBortAlla->isEnabled());

        // Removing the last ones disables "remove all".
        testenv::ClickRow(w->lvKopplingar, w->lvKopplingar->Item(1));
        testenv::Click(w->cmdTaBort);
        testenv::ClickRow(w->lvKopplingar, w->lvKopplingar->Item(1));
        testenv::Click(w->cmdTaBort);
        QCOMPARE(w->lvKopplingar->Count(), 0);
        QVERIFY(!w->cmdTaBortAlla->isEnabled());
    }

    void removeOneAfterRemoveAllFails()
    {
        frmWizard* w = f.wizard;
        w->PlanumFält(false);
        Pick(0, 0);
        testenv::Click(w->cmdLäggTill);
        testenv::Click(w->cmdTaBortAlla);
        w->cmdTaBort->setEnabled(true);
        testenv::Click(w->cmdTaBort);
        ALMBRO_EXPECT_BOX(*f.boxes,
                          "Error no: 35601 (Element not found) in procedure cmdTaBort_Click in Form frmWizard",
                          vbOKOnly, 0, "Almbro");
        QVERIFY(w->cmdTaBort->isEnabled());
        QVERIFY(!w->cmdTaBortAlla->isEnabled());
    }

    void firstAddContinuesAfterTheLastKey()
    {
        // Rows restored without the add button (a list that already has "k7"): the next key follows it.
        frmWizard* w = f.wizard;
        w->PlanumFält(false);
        w->lvKopplingar->AddItem(-1, QStringLiteral("k7"), QStringLiteral("0"));
        Pick(0, 0);
        testenv::Click(w->cmdLäggTill);
        QCOMPARE(Keys(), (QStringList{"k7", "k8"}));
    }

    void headerClicksFlipTheOrder()
    {
        frmWizard* w = f.wizard;
        w->PlanumFält(false);
        Pick(1, 2); // Outlook field: R2267
        testenv::Click(w->cmdLäggTill);
        Pick(2, 0); // R2234
        testenv::Click(w->cmdLäggTill);
        Pick(3, 1); // R2298
        testenv::Click(w->cmdLäggTill);
        auto outlookColumn = [&] {
            QStringList texts;
            for (int i = 1; i <= w->lvKopplingar->Count(); ++i)
                texts << w->lvKopplingar->Item(i)->SubItem(2);
            return texts;
        };
        QStringList ascending = {T("R2267"), T("R2234"), T("R2298")};
        std::sort(ascending.begin(), ascending.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        // The list starts ascending, so the first click sorts descending.
        testenv::ClickHeader(w->lvKopplingar, 2);
        QCOMPARE(outlookColumn(), descending);
        testenv::ClickHeader(w->lvKopplingar, 2);
        QCOMPARE(outlookColumn(), ascending);
    }

    void updateExistingDisablesTheResourceList()
    {
        frmWizard* w = f.wizard;
        // The resource step of an import, where the box is shown.
        w->optImport->setChecked(true);
        w->optImport_Click();
        w->SetStep(2, 0);
        f.AddResource(QStringLiteral("Bil 1"), 1);
        f.AddResource(QStringLiteral("Bil 2"), 2);
        w->lstResurser->setCurrentRow(1);
        testenv::Click(w->chkAnvändNyckel);
        QVERIFY(w->chkAnvändNyckel->isChecked());
        QVERIFY(!w->lstResurser->isEnabledTo(w->fraStep[2]));
        QVERIFY(w->lstResurser->selectedItems().isEmpty());
        QCOMPARE(w->lstResurser->currentRow(), -1);
        testenv::Click(w->chkAnvändNyckel);
        QVERIFY(w->lstResurser->isEnabledTo(w->fraStep[2]));
        QVERIFY(w->lstResurser->selectedItems().isEmpty());
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardMapping)
#include "test_wizard_mapping.moc"
