#pragma once
// The wizard: the program's one working window, five steps and a navigation panel.
// Sources are split by concern: frmWizard.cpp (loading, closing, keys), WizardSteps.cpp
// (steps, navigation, checks, direction), WizardMapping.cpp (field mapping), WizardDatabase.cpp
// (database location), WizardProfiles.cpp (profiles), WizardList.cpp (item and status lists,
// transfer).
#include "outlook/COutLook.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class clsListView;
class frmSokvag;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace Ui {
class frmWizard;
}

namespace vb {
class ListItem;
class ListView;
} // namespace vb
namespace booking {
class DBFunk;
class DBPost;
class DBProgram;
} // namespace booking

// moc reads only ASCII names, hence the alias of the date-window interface.
using IDatumFonster = IDatumFönster;

class TransferProgress;
class frmWizard : public QWidget, public IDatumFonster {
    Q_OBJECT
public:
    explicit frmWizard(QWidget* parent = nullptr);
    ~frmWizard() override;
    Q_DISABLE_COPY_MOVE(frmWizard)

    // The window of the calendar search: the two date pickers.
    QDate StartTid() const override;
    QDate SlutTid() const override;

    // What the rest of the program calls. Everything a person does goes through the controls,
    // which are reached from outside by their object names only.

    // The item list: fills lvVisa for the chosen direction and range; the status list.
    void FyllLista();
    void FyllStatus(clsListView* oLvw);
    // Gives lvVisa the column set for what is about to be listed (1 import, 4 export) and empties it.
    void MakeColumns(int set);
    // Whether the transfer may start (asks about an empty mapping list).
    bool CheckOk();
    // The configured database path, which also becomes gsDataBas.
    static QString DBSökväg();
    // Fills lstOutLook for the chosen kind of item.
    void OutLookFält();

    // Profiles: the two profile boxes filled from the settings file; the choices saved by name.
    void FyllProfiler();
    void SparaProfil(QString& ProfileName);

    // The add button and "update existing booking" may be pressed by the program itself; that
    // does what a click does.
    void cmdLäggTill_Click();
    void chkAnvändNyckel_Click();

    // Booking field values
    static QString SättDelVärde(const QString& fält, const booking::DBPost& post);
    void EgnaVal(booking::DBPost& post, int row);
    QString FältVärde(int row, const QString& rubrik) const;
    static qint32 PlanumNyckel(vb::ListItem* row);

    // The transfer and the finish dialog
    bool Utför();
    // The plan of the transfer Utför would run now: the same decision for every item, with
    // nothing written anywhere (no message box either). Counts() and PlanRader() tell it.
    bool Planera();
    // What the last run or plan did (or would do) with the items it took in hand.
    struct Räkning {
        int nya = 0, ändrade = 0, oförändrade = 0, avvisade = 0;
    };
    const Räkning& Counts() const { return m_räkning; }
    // The counts as one line in the language in use.
    QString RäkningText() const;
    // The last plan, one line per item: what would be done with it and why.
    const QStringList& PlanRader() const { return m_planRader; }
    bool ÄrPlan() const { return m_plan; }
    // How the last transfer run ended (an unattended run's exit status says it).
    enum class TransferOutcome { NotRun, CannotOpen, Busy, Completed, Stopped, Error };
    // The items the last transfer run took in hand but did not do, each as "what: why".
    const QStringList& EjKlara() const { return m_ejKlara; }
    // What the last run left alone on purpose and the user should know (copies of appointments).
    const QStringList& Anmärkningar() const { return m_anmärkningar; }
    // The calendar the wizard reads and writes, through its one adapter.
    COutLook* Kalender() const { return oOutLook.get(); }

    // How the program ends when the wizard closes (an unattended run tells its outcome).
    void SetEndStatus(int status) { m_endStatus = status; }
    int EndStatus() const { return m_endStatus; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class frmSokvag; // the path dialog starts from the path the wizard shows

    // The generated form; the controls below are its widgets under their own names, control
    // arrays as arrays of pointers.
    std::unique_ptr<Ui::frmWizard> ui;
    QGroupBox* fraStep[5];
    QPushButton* cmdNav[5];    // 1 Cancel, 2 Previous, 3 Next, 4 Finish
    QComboBox* cboProfiler[2]; // 0 start step, 1 finish step
    QPushButton* cmdAlla[2];   // 0 clear all, 1 tick all
    QLabel* lblStep[6];
    QLabel* lblDiv[2];
    QRadioButton *optImport, *optExport, *optKalender, *optNotering, *optUppgifter;
    QCheckBox *chkPlanumBokningar, *chkOverLapp, *chkAnvändNyckel;
    QLineEdit* txtDB;
    QPushButton *cmdDB, *cmdProfilerTaBort, *cmdLäggTill, *cmdTaBort, *cmdTaBortAlla;
    QDateTimeEdit *dtpStartTid, *dtpSlutTid;
    QComboBox* cboResurser;
    vb::ListView *lvVisa, *lvwStatus, *lvKopplingar;
    QListWidget *lstResurser, *lstFält, *lstOutLook;
    QLabel *lblValdTyp, *lblStatusKoll, *imgFrånPlanum, *imgTillPlanum;

    // Form state
    short miAktuelltSteg = 0;
    bool mbUpptagen = false;
    bool mbKanSlutföra = false;
    std::unique_ptr<COutLook> oOutLook;
    std::unique_ptr<clsListView> moStatusLista;
    QString msProfil;
    std::unique_ptr<booking::DBFunk> goDBFunk; // the lists' connection, replaced at every fill
    vb::ListItem* mItem = nullptr;             // the row last added to the item list

    // Loading, activation, closing
    void Form_Load();
    void Form_Activate();
    void SättRubrik(short step);

    // Steps and navigation
    void SetStep(short NewStep, short Direction);
    void SetNavBtns(short Step);
    void cmdNav_Click(int Index);
    void optExport_Click();
    void optImport_Click();
    void optKalender_Click();
    void optNotering_Click();
    void optUppgifter_Click();
    // The direction as the colour of lblValdTyp says it.
    QColor ValdTypFärg() const;
    bool ValdTypRöd() const;
    bool ValdTypBlå() const;

    // Field mapping
    void PlanumFält(bool bImport);
    void SättListView();
    void lstFält_Click();
    void lstOutLook_Click();
    void cmdTaBort_Click();
    void cmdTaBortAlla_Click();
    void lvKopplingar_ColumnClick(int column);
    void lvKopplingar_ItemClick(vb::ListItem* Item);

    // Database location
    void txtDB_Change();
    // A path or a postgresql:// location typed or pasted into txtDB, taken when the box is
    // left or Enter is pressed; a file path must name a file, as the file dialog demands.
    void txtDB_Validate();
    void cmdDB_Click();
    // Makes path the database of the rest of the run when it differs from the shown one.
    void BytDatabas(const QString& path);
    frmSokvag* SökvägDialog(); // frmSökväg, made on first use

    // Profiles
    void cboProfiler_Click(int Index);
    void cmdProfilerTaBort_Click();

    // Item list, selection and status list
    void cboResurser_Click();
    void cmdAlla_Click(int Index);
    void lvVisa_ColumnClick(int column);
    void lvwStatus_ItemClick(vb::ListItem* Item);

    bool VisaAvslutning(); // shows frmAvslutning; true when chkSlut was ticked
    bool HasTickedItem() const;
    void SetValdTypFärg(const QColor& colour);
    void connectListSignals();
    void RunUnattended();
    int UnattendedStatus() const;
    void LogUnattendedRun() const;
    void FyllExportLista();
    void FyllImportLista();
    static bool ÄrÖverförd(const AppointmentRec& rec);
    void UtförExport(booking::DBFunk& db);
    bool UtförImport(booking::DBFunk& db);
    // The rows a transfer handles: the ticked ones, or every row.
    int AntalAttHantera(bool allRows) const;
    // After a run the person stopped: one line that says how far it came.
    void Stoppad(const TransferProgress& progress);
    void EjKlar(const QString& vad, const QString& varför);
    // moc cannot read enumerators with Swedish letters and never needs these.
#ifndef Q_MOC_RUN
    enum class Utfallsslag { Ny, Ändras, Oförändrad, Avvisas };
#else
    enum class Utfallsslag;
#endif
    // Counts what was (or, in a plan, would be) done with one item, and in a plan says it.
    void Utfall(Utfallsslag slag, const QString& vad, const QString& detalj);
    static QString MötesFältNamn(COutLook::Fält fält);
    // The finish step's line that says what Finish will do.
    void VisaPlan();
    // An unattended "/plan" run: the plan on standard output, then the end of the program.
    void VisaUnattendedPlan();
    QString ImportPostNamn(int row) const;

    short m_nextSerial = 0;
    QString m_currentMappingKey;
    bool m_firstActivationDone = false;
    bool m_closeWithoutQuestion = false;
    bool m_closed = false;
    int m_endStatus = 0;
    QPointer<frmSokvag> m_sökväg;
    bool m_listStopped = false;
    TransferOutcome m_transferOutcome = TransferOutcome::NotRun;
    int m_done = 0;
    int m_handled = 0;
    QStringList m_ejKlara;
    bool m_plan = false;
    Räkning m_räkning;
    QStringList m_planRader;
    QStringList m_anmärkningar; // what was left alone on purpose (copies of an appointment)
    QStringList m_profilFel; // the mappings of the applied profile that name no field
};

// The one wizard of the program, made on first use.
frmWizard* TheWizard();
void ForgetWizard(); // for tests: the next TheWizard() makes a new one
