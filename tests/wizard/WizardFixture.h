#pragma once
// A loaded wizard on its own temporary home, with every message box recorded.
#include "booking/BulkWriter.h"
#include "booking/DBFunk.h"
#include "platform/ListView.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "support/BoxAssert.h"
#include "support/Gui.h"
#include "support/ProgramFixture.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QStackedWidget>

namespace testenv {

// Opens a test's own database; one that does not open ends the test program, saying why.
inline void OpenTestDatabase(booking::DBFunk& db, const QString& path)
{
    if (db.ÖppnaDatabas(path, 0, 0) != 1)
        qFatal("%s does not open: %s", qPrintable(path), qPrintable(db.SenasteFel()));
}

// The wizard's controls, found by their object names; control arrays by their indexes.
struct WizardUi {
    explicit WizardUi(const QWidget* w)
    {
        const auto find = [w]<class T>(T*& control, const QString& name) { control = Find<T>(w, name); };
        for (int i = 0; i <= 4; ++i)
            find(fraStep[i], QStringLiteral("fraStep_%1").arg(i));
        for (int i = 1; i <= 4; ++i)
            find(cmdNav[i], QStringLiteral("cmdNav_%1").arg(i));
        for (int i = 0; i <= 1; ++i) {
            find(cboProfiler[i], QStringLiteral("cboProfiler_%1").arg(i));
            find(cmdAlla[i], QStringLiteral("cmdAlla_%1").arg(i));
        }
#define ALMBRO_FIND(name) find(name, QStringLiteral(#name))
        ALMBRO_FIND(optImport), ALMBRO_FIND(optExport), ALMBRO_FIND(optKalender), ALMBRO_FIND(optNotering);
        ALMBRO_FIND(optUppgifter), ALMBRO_FIND(chkPlanumBokningar), ALMBRO_FIND(chkOverLapp);
        ALMBRO_FIND(chkAnvändNyckel), ALMBRO_FIND(txtDB), ALMBRO_FIND(cmdDB), ALMBRO_FIND(cmdProfilerTaBort);
        ALMBRO_FIND(cmdLäggTill), ALMBRO_FIND(cmdTaBort), ALMBRO_FIND(cmdTaBortAlla), ALMBRO_FIND(dtpStartTid);
        ALMBRO_FIND(dtpSlutTid), ALMBRO_FIND(cboResurser), ALMBRO_FIND(lvVisa), ALMBRO_FIND(lvwStatus);
        ALMBRO_FIND(lvKopplingar), ALMBRO_FIND(lstResurser), ALMBRO_FIND(lstFält), ALMBRO_FIND(lstOutLook);
        ALMBRO_FIND(lblValdTyp), ALMBRO_FIND(lblStatusKoll), ALMBRO_FIND(imgFrånPlanum), ALMBRO_FIND(imgTillPlanum);
        ALMBRO_FIND(lblPlan), ALMBRO_FIND(stepArea), ALMBRO_FIND(picNav);
#undef ALMBRO_FIND
    }
    QGroupBox* fraStep[5] = {};
    QPushButton* cmdNav[5] = {}; // 1 Cancel, 2 Previous, 3 Next, 4 Finish
    QComboBox* cboProfiler[2] = {};
    QPushButton* cmdAlla[2] = {}; // 0 clear all, 1 tick all
    QRadioButton *optImport, *optExport, *optKalender, *optNotering, *optUppgifter;
    QCheckBox *chkPlanumBokningar, *chkOverLapp, *chkAnvändNyckel;
    QLineEdit* txtDB;
    QPushButton *cmdDB, *cmdProfilerTaBort, *cmdLäggTill, *cmdTaBort, *cmdTaBortAlla;
    QDateTimeEdit *dtpStartTid, *dtpSlutTid;
    QComboBox* cboResurser;
    vb::ListView *lvVisa, *lvwStatus, *lvKopplingar;
    QListWidget *lstResurser, *lstFält, *lstOutLook;
    QLabel *lblValdTyp, *lblStatusKoll, *imgFrånPlanum, *imgTillPlanum, *lblPlan;
    QStackedWidget* stepArea;
    QWidget* picNav;
};

class WizardFixture {
public:
    void Start(const QString& lang = QStringLiteral("EN"))
    {
        StartProgram(lang);
        ended = -1;
        vb::SetEndHandler([this](int status) { ended = status; });
        boxes = std::make_unique<vb::MsgBoxRecorder>();
        wizard = new frmWizard;
        wizard->show();
        QApplication::processEvents();
        ui = std::make_unique<WizardUi>(wizard);
    }
    void Stop()
    {
        delete wizard.data();
        ui.reset();
        boxes.reset();
        vb::SetEndHandler({});
    }

    // A ticked row in the item list, as the item list would give it.
    vb::ListItem* AddRow(const QString& key, bool ticked = true)
    {
        vb::ListItem* row = ui->lvVisa->AddItem(-1, key, key);
        row->SetChecked(ticked);
        return row;
    }
    void AddResource(const QString& name, int id)
    {
        auto* item = new QListWidgetItem(name, ui->lstResurser);
        item->setData(Qt::UserRole, id);
    }
    // A new, empty booking database (default statuses), made the one in use.
    QString UseNewDatabase(const QString& name = QStringLiteral("planum.db"))
    {
        const QString path = Root() + QLatin1Char('/') + name;
        QFile::remove(path);
        booking::DBFunk::SkapaDatabas(path);
        gsDataBas = path;
        ui->txtDB->setText(path);
        return path;
    }

    // A new database holding one booking today, so that an export lists something.
    QString UseDatabaseWithABooking()
    {
        const QString path = UseNewDatabase();
        booking::DBFunk db;
        OpenTestDatabase(db, path);
        booking::BulkWriter writer(db);
        booking::DBPost post;
        post.PersonID(writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Lund")));
        post.StartTid(QDateTime(QDate::currentDate(), QTime(8, 0)));
        post.SlutTid(QDateTime(QDate::currentDate(), QTime(9, 0)));
        writer.AddBooking(post);
        writer.Commit();
        return path;
    }
    // An appointment in the wizard's calendar; made by an export when it carries a booking number.
    void AddAppointment(const QDateTime& start, const QString& subject, const QString& number = QString())
    {
        AppointmentRec rec;
        rec.Start = vb::FormatShortDateTime(start);
        rec.End = vb::FormatShortDateTime(start.addSecs(3600));
        rec.Subject = subject;
        rec.BillingInformation = number;
        QVERIFY(wizard->Kalender()->NewAppointment(rec));
    }
    // An export of that booking, ticked and brought to the mapping step by Next.
    void ToMappingStep()
    {
        UseDatabaseWithABooking();
        Click(ui->optExport);
        Next();
        Click(ui->cmdAlla[1]);
        Next();
        QCOMPARE(Step(), 3);
    }
    // A mapping of two field list rows, added as Add adds it but without the mapping step shown.
    void AddMapping(int planumRow, int calendarRow)
    {
        wizard->OutLookFält();
        ui->lstFält->setCurrentRow(planumRow);
        ui->lstOutLook->setCurrentRow(calendarRow);
        wizard->cmdLäggTill_Click();
    }
    void Next() { Click(ui->cmdNav[3]); }
    void Previous() { Click(ui->cmdNav[2]); }

    // The step shown: the one frame the wizard keeps enabled.
    int Step() const
    {
        for (int i = 0; i <= 4; ++i)
            if (ui->fraStep[i]->isEnabled())
                return i;
        return -1;
    }
    int Shown() const { return ui->stepArea->currentIndex(); }

    QPointer<frmWizard> wizard;
    std::unique_ptr<WizardUi> ui;
    std::unique_ptr<vb::MsgBoxRecorder> boxes;
    int ended = -1;
};

} // namespace testenv
