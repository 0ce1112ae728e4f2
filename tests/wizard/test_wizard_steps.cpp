// The wizard's steps: entry checks, navigation, Finish, closing.
#include "WizardFixture.h"
#include "support/Gui.h"

#include <QDateTimeEdit>
#include <QRadioButton>
#include <QTest>

using namespace vb;
using testenv::T;

class TestWizardSteps : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

private slots:
    void initTestCase() { testenv::StartProgram(); } // the texts of the data tables
    void init() { f.Start(); }
    void cleanup()
    {
        ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
    }

    void loadsOnTheStartStep()
    {
        QCOMPARE(f.Step(), 0);
        QCOMPARE(f.Shown(), 0);
        QCOMPARE(f.wizard->windowTitle(), QStringLiteral("Almbro"));
        for (int i = 1; i <= 4; ++i)
            QVERIFY(!f.ui->fraStep[i]->isEnabled());
        QVERIFY(!f.ui->cmdNav[2]->isEnabled());
        QVERIFY(f.ui->cmdNav[3]->isEnabled() && f.ui->cmdNav[3]->isDefault());
        QVERIFY(!f.ui->cmdNav[4]->isEnabled() && !f.ui->cmdNav[4]->isDefault());
        const QDateTime start = f.ui->dtpStartTid->dateTime();
        QCOMPARE(start.time().minute(), 0);
        QCOMPARE(start.date(), QDate::currentDate());
        QCOMPARE(f.ui->dtpSlutTid->dateTime(), start.addDays(1));
        QVERIFY(f.ui->optKalender->isChecked());
        QVERIFY(!f.ui->optImport->isChecked() && !f.ui->optExport->isChecked());
        QCOMPARE(f.ui->cmdNav[1]->text(), T("R1048"));
        QCOMPARE(f.ui->lblValdTyp->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    }

    // What the user clicks on the start step shows in lblValdTyp: the kind as its text, the
    // direction as its colour, and the direction's own controls.
    void startStepOptionsByClick_data()
    {
        QTest::addColumn<QString>("direction");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("importControls");
        QTest::newRow("export, notes") << "optExport" << "optNotering" << "R2229" << QColor(255, 0, 0) << false;
        QTest::newRow("import, tasks") << "optImport" << "optUppgifter" << "R2276" << QColor(0, 0, 255) << true;
        QTest::newRow("import, calendar after tasks")
            << "optImport" << "optUppgifter,optKalender" << "R1011" << QColor(0, 0, 255) << true;
    }
    void startStepOptionsByClick()
    {
        QFETCH(QString, direction);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        QFETCH(bool, importControls);
        frmWizard* w = f.wizard;
        testenv::Click(w->findChild<QRadioButton*>(direction));
        for (const QString& name : kind.split(QLatin1Char(',')))
            testenv::Click(w->findChild<QRadioButton*>(name));
        QCOMPARE(f.ui->lblValdTyp->text(), T(qPrintable(text)));
        QCOMPARE(f.ui->lblValdTyp->palette().color(QPalette::WindowText), colour);
        QCOMPARE(!f.ui->chkOverLapp->isHidden(), importControls);
        QCOMPARE(f.ui->chkPlanumBokningar->isEnabled(), importControls);
    }

    void startStepChecks_data()
    {
        QTest::addColumn<bool>("startAfterEnd");
        QTest::addColumn<bool>("direction");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("message");
        QTest::newRow("start after end") << true << true << "/data/x.db" << T("R2254");
        QTest::newRow("no direction") << false << false << "/data/x.db" << T("R2296");
        QTest::newRow("no database") << false << true << QString() << T("R2289");
    }
    void startStepChecks()
    {
        QFETCH(bool, startAfterEnd);
        QFETCH(bool, direction);
        QFETCH(QString, database);
        QFETCH(QString, message);
        if (startAfterEnd)
            f.ui->dtpStartTid->setDateTime(f.ui->dtpSlutTid->dateTime().addSecs(60));
        if (direction)
            testenv::Click(f.ui->optExport);
        f.ui->txtDB->setText(database);
        f.Next();
        QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
        ALMBRO_EXPECT_BOX(*f.boxes, message, vbOKOnly, vbExclamation, "Almbro");
        QCOMPARE(f.Step(), 0);
    }

    // Export goes 0, 1, 3, 4 and back; Finish is on, and the default, on the last step only.
    void exportSkipsTheResourceStepBothWays()
    {
        f.UseDatabaseWithABooking();
        testenv::Click(f.ui->optExport);
        QCOMPARE(f.ui->lblValdTyp->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        for (int step : {0, 1, 3}) {
            QCOMPARE(f.Step(), step);
            QCOMPARE(f.Shown(), step);
            QVERIFY(!f.ui->cmdNav[4]->isEnabled() && f.ui->cmdNav[3]->isDefault());
            f.Next();
        }
        QCOMPARE(f.ui->lstOutLook->count(), 3);
        QCOMPARE(f.Step(), 4);
        QVERIFY(f.ui->cmdNav[4]->isEnabled() && f.ui->cmdNav[4]->isDefault());
        QVERIFY(!f.ui->cmdNav[3]->isDefault());
        for (int step : {3, 1, 0}) {
            f.Previous();
            QCOMPARE(f.Step(), step);
        }
    }

    void importEntryChecks()
    {
        testenv::Click(f.ui->optImport);
        QCOMPARE(f.ui->lblValdTyp->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        f.UseNewDatabase();
        f.AddAppointment(QDateTime(QDate::currentDate(), QTime(8, 0)), QStringLiteral("Möte"));
        f.Next();
        QCOMPARE(f.Step(), 1);

        // Nothing ticked: the resource step is not entered.
        f.Next();
        QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2191"), vbOKOnly, 0, "Almbro");
        QCOMPARE(f.Step(), 1);

        f.ui->lvVisa->Item(1)->SetChecked(true);
        f.Next();
        QCOMPARE(f.Step(), 2);

        // No resource chosen and "update existing" cleared.
        f.Next();
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2189"), vbOKOnly, 0, "Almbro");
        QCOMPARE(f.Step(), 2);

        f.AddResource(QStringLiteral("Anna Berg"), 7);
        f.ui->lstResurser->setCurrentRow(0);
        f.ui->lblStatusKoll->setText(T("R2256"));
        f.Next();
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2192"), vbOKOnly, vbExclamation, "Almbro");
        QCOMPARE(f.Step(), 2);

        f.ui->lblStatusKoll->setText(QStringLiteral("Bokad"));
        f.Next();
        QCOMPARE(f.Step(), 3);
        f.Next();
        QCOMPARE(f.Step(), 4);
        QVERIFY(f.ui->cmdNav[4]->isEnabled() && f.ui->cmdNav[4]->isDefault());
        QVERIFY(!f.ui->cmdNav[3]->isEnabled());

        // Coming back from step 4 without a resource is refused too.
        f.ui->lstResurser->clearSelection();
        f.ui->lstResurser->setCurrentRow(-1);
        f.Previous();
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2189"), vbOKOnly, 0, "Almbro");
        QCOMPARE(f.Step(), 4);

        // With "update existing" ticked no resource is needed.
        f.ui->chkAnvändNyckel->setChecked(true);
        f.Previous();
        QCOMPARE(f.Step(), 3);
        QVERIFY(!f.ui->cmdNav[4]->isEnabled());
        f.Previous();
        QCOMPARE(f.Step(), 2);
    }

    void checkOk_data()
    {
        QTest::addColumn<bool>("import");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("resource");
        QTest::addColumn<bool>("mapping");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("result");
        const QString export_ = T("R2187") + "\r\n" + T("R2210");
        const QString import_ = T("R2188") + "\r\n" + T("R2210");
        const QString noMapping = T("R2242") + "\r\n" + T("R2211");
        QTest::newRow("export, nothing ticked") << false << false << false << true << 0 << export_ << false;
        QTest::newRow("import, nothing ticked") << true << false << true << true << 0 << import_ << false;
        QTest::newRow("import, no resource") << true << true << false << true << 0 << T("R2186") << false;
        QTest::newRow("no mapping, No goes on") << false << true << false << false << int(vbNo) << noMapping << true;
        QTest::newRow("all there") << false << true << false << true << 0 << QString() << true;
    }
    void checkOk()
    {
        QFETCH(bool, import);
        QFETCH(bool, ticked);
        QFETCH(bool, resource);
        QFETCH(bool, mapping);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, result);
        QRadioButton* direction = import ? f.ui->optImport : f.ui->optExport;
        testenv::Click(direction);
        f.AddRow(QStringLiteral("k1"), ticked);
        if (resource) {
            f.AddResource(QStringLiteral("Bil 1"), 3);
            f.ui->lstResurser->setCurrentRow(0);
        }
        if (mapping)
            f.AddMapping(0, 0);
        if (answer)
            f.boxes->Answer(answer);
        QCOMPARE(f.wizard->CheckOk(), result);
        if (!message.isEmpty()) {
            QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
            ALMBRO_EXPECT_BOX(*f.boxes, message, answer ? vbYesNo : vbOKOnly, answer ? vbQuestion : 0, "Almbro");
        }
    }

    void finishWithoutMappingsYesStaysOnTheLastStep()
    {
        f.ToMappingStep();
        f.Next();
        f.boxes->Answer(vbYes);
        testenv::Click(f.ui->cmdNav[4]);
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2242") + "\r\n" + T("R2211"), vbYesNo, vbQuestion, "Almbro");
        QCOMPARE(f.Step(), 4);
        QVERIFY(f.wizard->isVisible());
    }

    void closingAsksFirst()
    {
        frmWizard* w = f.wizard;
        const QString question = T("R2167") + " " + T("R2307") + "?";
        f.boxes->Answer(vbNo);
        f.ui->cmdNav[1]->click();
        QCOMPARE(f.boxes->Boxes().value(0).defaultAnswer, int(vbNo));
        ALMBRO_EXPECT_BOX(*f.boxes, question, vbYesNo, vbQuestion, "Almbro");
        QVERIFY(w->isVisible());
        QCOMPARE(f.ended, -1);

        f.boxes->Answer(vbYes);
        w->close();
        ALMBRO_EXPECT_BOX(*f.boxes, question, vbYesNo, vbQuestion, "Almbro");
        QCOMPARE(f.ended, 0);
        QVERIFY(!goTexter); // released with the wizard
    }

    void columnSets_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<QStringList>("headers");
        QTest::newRow("import on 5000 twips")
            << 1 << 5000 << QList<int>{950, 950, 990, 990, 990, 0, 0}
            << QStringList{T("R2252"), T("R6327"), T("R2234"), T("R2298"), T("R2267"), "Nyckel1", "Nyckel2"};
        QTest::newRow("export on 4000 twips") << 4 << 4000 << QList<int>{1000, 880, 910, 910}
                                              << QStringList{T("R0035"), T("R0257"), T("R0558"), T("R6411")};
        // W / 4 = 1000.5 rounds to even: 1000.
        QTest::newRow("export, half rounds to even") << 4 << 4002 << QList<int>{1000, 880, 910, 910}
                                                     << QStringList{T("R0035"), T("R0257"), T("R0558"), T("R6411")};
        QTest::newRow("any other set: no columns") << 2 << 4000 << QList<int>{} << QStringList{};
    }
    void columnSets()
    {
        QFETCH(int, set);
        QFETCH(int, width);
        QFETCH(QList<int>, widths);
        QFETCH(QStringList, headers);
        vb::ListView* list = f.ui->lvVisa;
        f.AddRow(QStringLiteral("k9"));
        list->SetWidthTwips(width);
        f.wizard->MakeColumns(set);
        QCOMPARE(list->Count(), 0);
        QCOMPARE(list->ColumnCount(), int(widths.size()));
        for (int i = 0; i < widths.size(); ++i) {
            QCOMPARE(list->ColumnWidthTwips(i), widths[i]);
            QCOMPARE(list->ColumnText(i), headers[i]);
        }
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardSteps)
#include "test_wizard_steps.moc"
