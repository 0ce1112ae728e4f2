// Profiles saved from and listed in the wizard, and the database location.
#include "WizardFixture.h"
#include "platform/Ini.h"
#include "support/Gui.h"
#include "wizard/PlanumFields.h"
#include "wizard/frmSokvag.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace vb;
using testenv::T;

namespace {
QByteArray IniBytes()
{
    QFile file(gsIniFil);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void WriteIni(const QByteArray& bytes)
{
    QFile file(gsIniFil);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Answers the next file dialog: picks path, or cancels when path is empty. typed, when given,
// stands in the path dialog's own field as if typed there before the file dialog was cancelled;
// filters, when given, gets the dialog's name filters.
// Until the dialog is there, each try schedules the next one (a function that held itself
// would never be freed).
void AnswerFileDialog(const QString& path, const QString& typed = QString(), QStringList* filters = nullptr,
                      int delayMs = 10)
{
    QTimer::singleShot(delayMs, [path, typed, filters] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            AnswerFileDialog(path, typed, filters);
            return;
        }
        if (filters)
            *filters = dialog->nameFilters();
        if (path.isEmpty()) {
            if (!typed.isEmpty())
                dialog->parentWidget()->findChild<QLineEdit*>(QStringLiteral("txtSökväg"))->setText(typed);
            static_cast<QDialog*>(dialog)->done(QDialog::Rejected);
        } else {
            // Typed into the dialog's file name field and confirmed, as a person would.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
            if (dialog->isVisible())
                AnswerFileDialog(path, typed, filters, 20); // not taken yet: once more
        }
    });
}

QStringList Entries(QComboBox* combo)
{
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}
} // namespace

class TestWizardProfiles : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    // A folder of database files (empty ones do: the path is what counts), the first named in
    // Planum.ini; the wizard started on it, with a resource list a change of database empties.
    QString StartOnDatabaseFolder(const QString& name, const QStringList& files)
    {
        QString folder = testenv::Root() + QLatin1Char('/') + name;
        QDir().mkpath(folder);
        for (const QString& file : files)
            QFile(folder + QLatin1Char('/') + file).open(QIODevice::WriteOnly);
        WriteIni("[System]\nDataBas1=" + (folder + QLatin1Char('/') + files.first()).toUtf8() + "\n");
        f.Start();
        f.ui->cboResurser->addItem(QStringLiteral("Alla"), -99);
        return folder;
    }

private slots:
    void initTestCase() { testenv::StartProgram(); } // the texts of the data tables
    void init()
    {
        testenv::StartProgram();
        QFile::remove(gsIniFil);
    }
    void cleanup()
    {
        if (f.boxes)
            ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
    }

    void profileTextForGivenChoices()
    {
        WriteIni("[System]\nLang=EN\nDataBas1=/data/kund.db\n");
        f.Start();
        frmWizard* w = f.wizard;
        QCOMPARE(gsDataBas, QStringLiteral("/data/kund.db"));
        QCOMPARE(f.ui->txtDB->text(), QStringLiteral("/data/kund.db"));
        QCOMPARE(f.ui->txtDB->toolTip(), QStringLiteral("/data/kund.db"));
        testenv::Click(f.ui->optExport);
        f.ui->cboResurser->addItem(QStringLiteral("Alla"), -99);
        f.ui->cboResurser->addItem(QStringLiteral("Anna Berg"), 12);
        f.ui->cboResurser->setCurrentIndex(1);
        f.ui->chkPlanumBokningar->setChecked(true);
        f.AddMapping(1, 0);
        f.AddMapping(11, 2);
        QString name = QStringLiteral("Kund1");
        w->SparaProfil(name);
        const QByteArray expected = "[System]\nLang=EN\nDataBas1=/data/kund.db\n\n[Kund1]\n"
                                    "Values=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                                    "cboResurser=12;DataBas=/data/kund.db;chkPlanumBokningar=1;Koppling1=" +
                                    T("R0038").toUtf8() + "," + T("R2234").toUtf8() +
                                    ";Koppling2=" + T("R0048").toUtf8() + "," + T("R2267").toUtf8() + "\n";
        QCOMPARE(IniBytes(), expected);

        // Saved again under the same name (another letter case): one section, the new text.
        f.ui->lvKopplingar->ClearItems();
        f.ui->chkPlanumBokningar->setChecked(false);
        f.ui->cboResurser->setCurrentIndex(-1);
        name = QStringLiteral("KUND1");
        w->SparaProfil(name);
        QCOMPARE(IniBytes(), QByteArray("[System]\nLang=EN\nDataBas1=/data/kund.db\n\n[Kund1]\n"
                                        "Values=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                                        "DataBas=/data/kund.db;chkPlanumBokningar=0\n"));
    }

    void listsProfilesButNeverSystem()
    {
        WriteIni("[Kund1]\nValues=a\n[System]\nLang=EN\n[Bilar]\nValues=b\n[ ]\n[system2]\nValues=c\n");
        f.Start();
        QCOMPARE(Entries(f.ui->cboProfiler[0]), (QStringList{"Kund1", "Bilar", "system2"}));
        QCOMPARE(Entries(f.ui->cboProfiler[1]), (QStringList{"Kund1", "Bilar", "system2"}));
        QCOMPARE(f.ui->cboProfiler[0]->currentIndex(), -1);
        QCOMPARE(f.ui->cboProfiler[1]->currentText(), QString());
        // Saving as "system" writes into the reserved section, which stays unlisted.
        QString name = QStringLiteral("system");
        f.wizard->SparaProfil(name);
        f.wizard->FyllProfiler();
        QCOMPARE(Entries(f.ui->cboProfiler[0]), (QStringList{"Kund1", "Bilar", "system2"}));
    }

    void deleteAsksFirst()
    {
        WriteIni("[Kund1]\nValues=a\n[Bilar]\nValues=b\n");
        f.Start();
        testenv::Pick(f.ui->cboProfiler[0], 1);
        const QByteArray before = IniBytes();
        f.boxes->Answer(vbNo);
        testenv::Click(f.ui->cmdProfilerTaBort);
        ALMBRO_EXPECT_BOX(*f.boxes, T("R6321").arg(QStringLiteral("Bilar")), vbYesNo, vbQuestion, "Almbro");
        QCOMPARE(IniBytes(), before);
        QCOMPARE(Entries(f.ui->cboProfiler[0]), (QStringList{"Kund1", "Bilar"}));
        QCOMPARE(f.ui->cboProfiler[0]->currentText(), QStringLiteral("Bilar"));

        f.boxes->Answer(vbYes);
        testenv::Click(f.ui->cmdProfilerTaBort);
        ALMBRO_EXPECT_BOX(*f.boxes, T("R6321").arg(QStringLiteral("Bilar")), vbYesNo, vbQuestion, "Almbro");
        QCOMPARE(IniBytes(), QByteArray("[Kund1]\nValues=a\n"));
        QCOMPARE(Entries(f.ui->cboProfiler[0]), (QStringList{"Kund1"}));
        QCOMPARE(Entries(f.ui->cboProfiler[1]), (QStringList{"Kund1"}));
    }

    void deleteWithoutAProfile()
    {
        WriteIni("[Kund1]\nValues=a\n");
        f.Start();
        testenv::Click(f.ui->cmdProfilerTaBort);
        QCOMPARE(f.boxes->Boxes().value(0).beepsBefore, 1);
        ALMBRO_EXPECT_BOX(*f.boxes, T("R1944"), vbOKOnly, vbExclamation, "Almbro");
        QCOMPARE(IniBytes(), QByteArray("[Kund1]\nValues=a\n"));
    }

    void applyingAProfileSetsWhatItNames()
    {
        WriteIni("[Kund1]\nValues=optImport=True;optKalender=True;optNotering=False;optUppgifter=False;cboResurser=12;"
                 "lstResurser=7;DataBas=/data/kund1.db;Status=3;chkPlanumBokningar=1;Koppling1=Kundnamn," +
                 T("R2234").toUtf8() + ";Koppling2=Notering," + T("R2267").toUtf8() + "\n");
        f.Start();
        testenv::Pick(f.ui->cboProfiler[0], 0);
        QCOMPARE(f.ui->cboProfiler[1]->currentText(), QStringLiteral("Kund1"));
        QVERIFY(f.ui->optImport->isChecked());
        QCOMPARE(f.ui->lblValdTyp->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(f.ui->optKalender->isChecked());
        QCOMPARE(f.ui->lblValdTyp->text(), T("R1011"));
        QCOMPARE(gsDataBas, QStringLiteral("/data/kund1.db"));
        QCOMPARE(f.ui->txtDB->text(), gsDataBas);
        QCOMPARE(glLstResurser, 7);
        QCOMPARE(glStatus, 3);
        QVERIFY(f.ui->chkPlanumBokningar->isChecked());
        QCOMPARE(f.ui->lstFält->count(), 11); // the import's fields
        QCOMPARE(f.ui->lstOutLook->count(), 3);
        QCOMPARE(f.ui->lvKopplingar->Count(), 2);
        // The fields go by their booking field names and show the names of the language in use.
        QCOMPARE(PlanumFältNamn(f.ui->lvKopplingar->Item(1)), QStringLiteral("Kundnamn"));
        QCOMPARE(f.ui->lvKopplingar->Item(1)->SubItem(1), QStringLiteral("Customer name"));
        QCOMPARE(f.ui->lvKopplingar->Item(1)->SubItem(2), T("R2234"));
        QCOMPARE(PlanumFältNamn(f.ui->lvKopplingar->Item(2)), QStringLiteral("Notering"));
        QCOMPARE(f.ui->lvKopplingar->Item(2)->SubItem(1), QStringLiteral("Note"));
        QCOMPARE(f.ui->lvKopplingar->Item(2)->SubItem(2), T("R2267"));
        QCOMPARE(f.ui->lvKopplingar->Item(2)->Key(), QStringLiteral("k1"));
    }

    void fieldsAbsentLeaveControlsAsTheyWere()
    {
        WriteIni("[Full]\nValues=optImport=False;optKalender=False;optNotering=True;optUppgifter=False;lstResurser=7;"
                 "DataBas=/data/a.db;Status=3;chkPlanumBokningar=1\n"
                 "[Bare]\nValues=DataBas=/data/b.db\n");
        f.Start();
        testenv::Pick(f.ui->cboProfiler[0], 0);
        QVERIFY(f.ui->optNotering->isChecked());
        testenv::Pick(f.ui->cboProfiler[0], 1);
        QCOMPARE(gsDataBas, QStringLiteral("/data/b.db"));
        QVERIFY(f.ui->optExport->isChecked()); // without "optImport=True" the direction is export
        QVERIFY(f.ui->optNotering->isChecked());
        QCOMPARE(glLstResurser, 7);
        QCOMPARE(glStatus, 3);
        QVERIFY(f.ui->chkPlanumBokningar->isChecked());
        QCOMPARE(f.ui->lvKopplingar->Count(), 0);
        QCOMPARE(f.ui->cboProfiler[1]->currentText(), QStringLiteral("Bare"));
    }

    void onlyAsManyMappingsAsFieldRows()
    {
        // Twelve mappings, but an import offers eleven Planum fields: the first eleven come back.
        QByteArray values = "optImport=True;optKalender=True;optNotering=False;optUppgifter=False;DataBas=/d.db;"
                            "chkPlanumBokningar=0";
        for (int n = 1; n <= 12; ++n)
            values += ";Koppling" + QByteArray::number(n) + "=Telefon," + T("R2298").toUtf8();
        WriteIni("[Many]\nValues=" + values + "\n");
        f.Start();
        testenv::Pick(f.ui->cboProfiler[0], 0);
        QCOMPARE(f.ui->lstFält->count(), 11);
        QCOMPARE(f.ui->lvKopplingar->Count(), 11);
    }

    void unattendedDateRange_data()
    {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<int>("daysBack"); // -1: the interactive range, one day forward
        QTest::newRow("days") << "minprofil d5" << 5;
        QTest::newRow("weeks") << "minprofil w2" << 14;
        QTest::newRow("no count: 5") << "minprofil d" << 5;
        QTest::newRow("count not a number: 5") << "minprofil wx" << 35;
        QTest::newRow("another letter") << "minprofil x3" << -1;
        QTest::newRow("days past a century: a century") << "minprofil d99999999999" << 36525;
        QTest::newRow("weeks past a century: a century") << "minprofil w999999999" << 5218 * 7;
        QTest::newRow("a negative count: none") << "minprofil d-3" << 0;
        QTest::newRow("no blank") << "minprofil" << -1;
    }
    void unattendedDateRange()
    {
        QFETCH(QString, arg);
        QFETCH(int, daysBack);
        f.Start();
        gbAuto = true;
        gsAutoArg = arg;
        vb::MsgBoxRecorder boxes;
        vb::SetEndHandler([](int) {});
        frmWizard w; // loaded, not shown: the unattended walk starts only when it is shown
        const testenv::WizardUi ui(&w);
        gbAuto = false;
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime hour(now.date(), QTime(now.time().hour(), 0));
        if (daysBack < 0) {
            QCOMPARE(ui.dtpStartTid->dateTime(), hour);
            QCOMPARE(ui.dtpSlutTid->dateTime(), hour.addDays(1));
        } else {
            QCOMPARE(ui.dtpSlutTid->dateTime(), hour);
            QCOMPARE(ui.dtpStartTid->dateTime(), hour.addDays(-daysBack));
        }
        vb::SetEndHandler({});
        ALMBRO_EXPECT_NO_MORE_BOXES(boxes);
    }

    void aProfileSavedInOneLanguageRunsInTheOther_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("applied");
        QTest::newRow("English, then Swedish") << QStringLiteral("EN") << QStringLiteral("SV");
        QTest::newRow("Swedish, then English") << QStringLiteral("SV") << QStringLiteral("EN");
    }
    void aProfileSavedInOneLanguageRunsInTheOther()
    {
        QFETCH(QString, saved);
        QFETCH(QString, applied);
        f.Start(saved);
        testenv::Click(f.ui->optExport);
        testenv::Click(f.ui->optKalender);
        f.AddMapping(1, 1); // the customer's name to the subject
        QString name = QStringLiteral("Kund1");
        f.wizard->SparaProfil(name);
        QVERIFY2(IniBytes().contains("Koppling1=Kundnamn,"), IniBytes().constData());
        f.Stop();

        f.Start(applied);
        testenv::Pick(f.ui->cboProfiler[0], 0);
        QCOMPARE(f.ui->lvKopplingar->Count(), 1);
        QCOMPARE(PlanumFältNamn(f.ui->lvKopplingar->Item(1)), QStringLiteral("Kundnamn"));
        QCOMPARE(f.ui->lvKopplingar->Item(1)->SubItem(1), VisatFältNamn(QStringLiteral("Kundnamn")));
        QCOMPARE(f.ui->lvKopplingar->Item(1)->SubItem(2), T("R2298"));
    }

    void calendarThatCannotBeOpened_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("message");
        QTest::newRow("English")
            << "EN"
            << "Error no: 429 (Cannot connect to the calendar!) in procedure Form_Load in Form frmWizard";
        QTest::newRow("Swedish")
            << "SV"
            << "Error no: 429 (Kan inte skapa kontakt med Outlook!) in procedure Form_Load in Form "
               "frmWizard";
    }
    void calendarThatCannotBeOpened()
    {
        QFETCH(QString, lang);
        QFETCH(QString, message);
        testenv::StartProgram(lang);
        // No other wizard: a calendar already open in the process would simply be joined.
        // Not iCalendar: the store refuses it, the program says so and ends; the file stays.
        const QString bad = testenv::Root() + QStringLiteral("/broken.ics");
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no calendar\n");
        file.close();
        qputenv("ALMBRO_CALENDAR", bad.toUtf8());
        vb::MsgBoxRecorder boxes;
        int ended = -1;
        vb::SetEndHandler([&](int status) { ended = status; });
        {
            frmWizard w;
            qunsetenv("ALMBRO_CALENDAR");
            ALMBRO_EXPECT_BOX(boxes, message, vbOKOnly, 0, "Almbro");
            QCOMPARE(ended, 5);
        }
        vb::SetEndHandler({});
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("this is no calendar\n"));
        ALMBRO_EXPECT_NO_MORE_BOXES(boxes);
    }

    void configuredPathIsTrimmed()
    {
        WriteIni("[System]\nDataBas1=   /data/with blanks/kund.db   \n");
        f.Start();
        QCOMPARE(gsDataBas, QStringLiteral("/data/with blanks/kund.db"));
        QCOMPARE(f.ui->txtDB->text(), gsDataBas);
    }

    void databaseDialog_data()
    {
        QTest::addColumn<QString>("pick");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("changes");
        QTest::newRow("another file") << "other.db" << QString() << true;
        QTest::newRow("same file") << "current.db" << QString() << false;
        QTest::newRow("only the letter case differs") << QString() << "CURRENT.db" << true;
        QTest::newRow("cancelled") << QString() << QString() << false;
    }
    void databaseDialog()
    {
        QFETCH(QString, pick);
        QFETCH(QString, typed);
        QFETCH(bool, changes);
        const QString folder = StartOnDatabaseFolder(QStringLiteral("dbs"), {"current.db", "other.db", "CURRENT.db"});
        const QString current = folder + QStringLiteral("/current.db");
        QStringList filters;
        AnswerFileDialog(pick.isEmpty() ? QString() : folder + QLatin1Char('/') + pick,
                         typed.isEmpty() ? QString() : folder + QLatin1Char('/') + typed, &filters);
        f.ui->cmdDB->click();
        // The dialog offers the database files by their usual endings, and all files.
        QCOMPARE(filters.size(), 2);
        QVERIFY2(filters[0].endsWith(QStringLiteral(" (*.db *.sqlite *.mdb)")), qPrintable(filters[0]));
        QVERIFY2(filters[1].endsWith(QStringLiteral(" (*)")), qPrintable(filters[1]));
        const QString expected = changes ? folder + QLatin1Char('/') + pick + typed : current;
        QCOMPARE(gsDataBas, expected);
        QCOMPARE(f.ui->txtDB->text(), expected);
        QCOMPARE(f.ui->txtDB->toolTip(), expected);
        QCOMPARE(f.ui->cboResurser->count(), changes ? 0 : 1);
        QVERIFY(!f.wizard->findChild<frmSokvag*>()); // unloaded after every use
    }

    // The path dialog opened without "Bläddra" waits for its own buttons.
    void pathDialogButtons_data()
    {
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("tag");
        QTest::newRow("OK") << "cmdOk" << "" << "Ok";
        QTest::newRow("Cancel") << "cmdAvbryt" << "" << "";
        QTest::newRow("browse, then OK") << "cmdBläddra,cmdOk" << "picked.db" << "Ok";
    }
    void pathDialogButtons()
    {
        QFETCH(QString, buttons);
        QFETCH(QString, picked);
        QFETCH(QString, tag);
        WriteIni("[System]\nDataBas1=/data/kund.db\n");
        f.Start();
        const QString path = picked.isEmpty() ? QStringLiteral("/data/kund.db") : testenv::Root() + '/' + picked;
        if (!picked.isEmpty()) {
            QFile(path).open(QIODevice::WriteOnly);
            AnswerFileDialog(path);
        }
        frmSokvag dialog(f.wizard);
        dialog.show();
        for (const QString& name : buttons.split(QLatin1Char(',')))
            testenv::Click(testenv::Find<QPushButton>(&dialog, name));
        QCOMPARE(dialog.txtSökväg->text(), path);
        QCOMPARE(dialog.Tag(), tag);
        QVERIFY(!dialog.isVisible());
    }

    // A path or a server location typed or pasted into the database box is taken when the
    // box is left, as a pick in the file dialog is; a file must exist.
    void typedLocation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("changes");
        QTest::newRow("another file") << "{dir}/other.db" << true;
        QTest::newRow("a server database") << "postgresql://desk@db.example.org:5432/planum?sslmode=require" << true;
        QTest::newRow("pasted with blanks around it") << "  postgres:///planum?host=/run/planum  " << true;
        QTest::newRow("a file that is not there") << "{dir}/saknas.db" << false;
        QTest::newRow("a folder") << "{dir}" << false;
        QTest::newRow("the same file") << "{dir}/current.db" << false;
    }
    void typedLocation()
    {
        QFETCH(QString, typed);
        QFETCH(bool, changes);
        const QString folder = StartOnDatabaseFolder(QStringLiteral("typed"), {"current.db", "other.db"});
        typed.replace(QStringLiteral("{dir}"), folder);
        const QString current = folder + QStringLiteral("/current.db");
        f.ui->txtDB->setFocus();
        f.ui->txtDB->selectAll();
        QTest::keyClicks(f.ui->txtDB, typed);
        QTest::keyClick(f.ui->txtDB, Qt::Key_Tab); // leaves the box
        const bool refused = !changes && typed.trimmed() != current;
        if (refused)
            ALMBRO_EXPECT_BOX(*f.boxes, T("R0722"), vbOKOnly, vbExclamation, T("R2307"));
        const QString expected = changes ? typed.trimmed() : current;
        QCOMPARE(gsDataBas, expected);
        QCOMPARE(f.ui->txtDB->text(), expected);
        QCOMPARE(f.ui->txtDB->toolTip(), expected);
        QCOMPARE(f.ui->cboResurser->count(), changes ? 0 : 1);
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardProfiles)
#include "test_wizard_profiles.moc"
