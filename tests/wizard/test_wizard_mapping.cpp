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

    // Clicks a row of each field list, as the user picks a pair, and then Add.
    void Add(int planum, int outlook) const
    {
        testenv::ClickItem(f.ui->lstFält, f.ui->lstFält->item(planum)->text());
        testenv::ClickItem(f.ui->lstOutLook, f.ui->lstOutLook->item(outlook)->text());
        testenv::Click(f.ui->cmdLäggTill);
    }
    QStringList Keys() const
    {
        QStringList keys;
        for (int i = 1; i <= f.ui->lvKopplingar->Count(); ++i)
            keys << f.ui->lvKopplingar->Item(i)->Key();
        return keys;
    }

private slots:
    void initTestCase() { testenv::StartProgram(); } // the texts of the data tables
    void init()
    {
        f.Start();
        if (!QByteArray(QTest::currentTestFunction()).startsWith("planumFields"))
            f.ToMappingStep(); // an export on the mapping step, its controls enabled
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
        const QList<std::pair<QString, QString>> fields = {{"Starttid", "Start time"},
                                                           {"Kundnamn", "Customer name"},
                                                           {"Beställare", "Ordered by"},
                                                           {"Beställningsdatum", "Order date"},
                                                           {"Beställningsnummer", "Order number"},
                                                           {"Märke", "Reference"},
                                                           {"Dokument", "Document"},
                                                           {"Sluttid", "End time"},
                                                           {"Leveransadress", "Delivery address"},
                                                           {"Pris", "Price"},
                                                           {"Leverans_postadress", "Delivery postal address"},
                                                           {"Notering", "Note"},
                                                           {"Telefon", "Phone"}};
        QStringList names, english;
        for (const auto& [name, shown] : fields) {
            names << name;
            english << shown;
        }
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
        testenv::Click(import ? f.ui->optImport : f.ui->optExport);
        QStringList entries, entryNames;
        for (int i = 0; i < f.ui->lstFält->count(); ++i) {
            entries << f.ui->lstFält->item(i)->text();
            entryNames << PlanumFältNamn(f.ui->lstFält->item(i));
        }
        QCOMPARE(entries, shown);
        QCOMPARE(entryNames, names);
        QCOMPARE(entries.size(), import ? 11 : 13);
        for (const QString& field : entries)
            QVERIFY2(!field.contains('&') && !field.isEmpty(), qPrintable(field));
        // A mapping row shows the entry's text and keeps its name.
        f.AddMapping(1, 0);
        QCOMPARE(f.ui->lvKopplingar->Item(1)->SubItem(1), shown[1]);
        QCOMPARE(PlanumFältNamn(f.ui->lvKopplingar->Item(1)), names[1]);
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
        // The kind is chosen on the start step; the mapping step lists its fields when entered.
        f.Previous();
        f.Previous();
        testenv::Click(testenv::Find<QRadioButton>(f.wizard, type));
        f.Next();
        f.Next();
        QCOMPARE(f.ui->lstOutLook->count(), count);
        if (count)
            QCOMPARE(f.ui->lstOutLook->item(0)->text(), T("R2234"));
    }

    void addButtonFollowsBothSelections_data()
    {
        QTest::addColumn<bool>("calendarFirst");
        QTest::newRow("Planum field, then calendar field") << false;
        QTest::newRow("calendar field, then Planum field") << true;
    }
    void addButtonFollowsBothSelections()
    {
        QFETCH(bool, calendarFirst);
        QVERIFY(!f.ui->cmdLäggTill->isEnabled());
        // Whichever list is clicked second enables Add.
        for (QListWidget* list : calendarFirst ? QList<QListWidget*>{f.ui->lstOutLook, f.ui->lstFält}
                                               : QList<QListWidget*>{f.ui->lstFält, f.ui->lstOutLook}) {
            QVERIFY(!f.ui->cmdLäggTill->isEnabled());
            testenv::ClickItem(list, list->item(list == f.ui->lstFält ? 1 : 2)->text());
        }
        QVERIFY(f.ui->cmdLäggTill->isEnabled());
        testenv::Click(f.ui->cmdLäggTill);
        QCOMPARE(f.ui->lvKopplingar->Count(), 1);
        ListItem* row = f.ui->lvKopplingar->Item(1);
        QCOMPARE(row->Key(), QStringLiteral("k0"));
        QCOMPARE(row->Text(), QStringLiteral("1"));
        QCOMPARE(row->SubItem(1), f.ui->lstFält->item(1)->text());
        QCOMPARE(row->SubItemKey(1), QStringLiteral("Ft"));
        QCOMPARE(row->SubItem(2), T("R2267"));
        QCOMPARE(row->SubItemKey(2), QStringLiteral("bm"));
        QCOMPARE(f.ui->lstFält->currentRow(), -1);
        QCOMPARE(f.ui->lstOutLook->currentRow(), -1);
        QVERIFY(!f.ui->cmdLäggTill->isEnabled());
        QVERIFY(f.ui->cmdTaBortAlla->isEnabled());
    }

    void serialKeysAreNeverReused()
    {
        Add(0, 0);
        Add(0, 0); // the same pair again: a second row
        QCOMPARE(Keys(), (QStringList{"k0", "k1"}));
        testenv::Click(f.ui->cmdTaBortAlla);
        QCOMPARE(f.ui->lvKopplingar->Count(), 0);
        QVERIFY(!f.ui->cmdTaBortAlla->isEnabled());
        Add(2, 1);
        QCOMPARE(Keys(), (QStringList{"k2"}));
    }

    void removeOne()
    {
        for (int i = 0; i < 3; ++i)
            Add(i, i);
        testenv::ClickRow(f.ui->lvKopplingar, f.ui->lvKopplingar->Item(2));
        QVERIFY(f.ui->cmdTaBort->isEnabled());
        testenv::Click(f.ui->cmdTaBort);
        QCOMPARE(Keys(), (QStringList{"k0", "k2"}));
        QVERIFY(!f.ui->cmdTaBort->isEnabled());
        QVERIFY(f.ui->cmdTaBortAlla->isEnabled());

        // Removing the last ones disables "remove all".
        testenv::ClickRow(f.ui->lvKopplingar, f.ui->lvKopplingar->Item(1));
        testenv::Click(f.ui->cmdTaBort);
        testenv::ClickRow(f.ui->lvKopplingar, f.ui->lvKopplingar->Item(1));
        testenv::Click(f.ui->cmdTaBort);
        QCOMPARE(f.ui->lvKopplingar->Count(), 0);
        QVERIFY(!f.ui->cmdTaBortAlla->isEnabled());
    }

    void removeOneAfterRemoveAllFails()
    {
        Add(0, 0);
        testenv::Click(f.ui->cmdTaBortAlla);
        f.ui->cmdTaBort->setEnabled(true);
        testenv::Click(f.ui->cmdTaBort);
        ALMBRO_EXPECT_BOX(*f.boxes,
                          "Error no: 35601 (Element not found) in procedure cmdTaBort_Click in Form frmWizard",
                          vbOKOnly, 0, "Almbro");
        QVERIFY(f.ui->cmdTaBort->isEnabled());
        QVERIFY(!f.ui->cmdTaBortAlla->isEnabled());
    }

    void firstAddContinuesAfterTheLastKey()
    {
        // Rows restored without the add button (a list that already has "k7"): the next key follows it.
        f.ui->lvKopplingar->AddItem(-1, QStringLiteral("k7"), QStringLiteral("0"));
        Add(0, 0);
        QCOMPARE(Keys(), (QStringList{"k7", "k8"}));
    }

    void headerClicksFlipTheOrder()
    {
        Add(1, 2); // Outlook field: R2267
        Add(2, 0); // R2234
        Add(3, 1); // R2298
        auto outlookColumn = [&] {
            QStringList texts;
            for (int i = 1; i <= f.ui->lvKopplingar->Count(); ++i)
                texts << f.ui->lvKopplingar->Item(i)->SubItem(2);
            return texts;
        };
        QStringList ascending = {T("R2267"), T("R2234"), T("R2298")};
        std::sort(ascending.begin(), ascending.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        // The list starts ascending, so the first click sorts descending.
        testenv::ClickHeader(f.ui->lvKopplingar, 2);
        QCOMPARE(outlookColumn(), descending);
        testenv::ClickHeader(f.ui->lvKopplingar, 2);
        QCOMPARE(outlookColumn(), ascending);
    }

    void updateExistingDisablesTheResourceList()
    {
        // The resource step of an import of an exported appointment, where the box is offered set.
        f.Previous();
        f.Previous();
        testenv::Click(f.ui->optImport);
        f.AddAppointment(QDateTime(QDate::currentDate(), QTime(8, 0)), QStringLiteral("Möte"), QStringLiteral("1"));
        f.Next();
        testenv::Click(f.ui->cmdAlla[1]);
        f.Next();
        QCOMPARE(f.Step(), 2);
        f.AddResource(QStringLiteral("Bil 1"), 1);
        f.AddResource(QStringLiteral("Bil 2"), 2);
        QVERIFY(f.ui->chkAnvändNyckel->isChecked());
        for (bool checked : {false, true, false}) {
            f.ui->lstResurser->setCurrentRow(1);
            testenv::Click(f.ui->chkAnvändNyckel);
            QCOMPARE(f.ui->chkAnvändNyckel->isChecked(), checked);
            QCOMPARE(f.ui->lstResurser->isEnabledTo(f.ui->fraStep[2]), !checked);
            if (checked) {
                QVERIFY(f.ui->lstResurser->selectedItems().isEmpty());
                QCOMPARE(f.ui->lstResurser->currentRow(), -1);
            }
        }
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardMapping)
#include "test_wizard_mapping.moc"
